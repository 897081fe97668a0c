#!/usr/bin/env bash
# Idle cost of the window program: wake-ups per second and resident memory
# of a maximised 1600 x 1000 window on a virtual X display, with no meter
# attached (an empty device listing), after it settled. A wake-up is one
# return of the event loop from its wait (its blocking poll, seen with
# strace); the context switches of all threads are shown too.
#
# With --recording the program records instead: it starts the simulated
# meter and a run of one sample a second (--simulate --run 1,10000), and the
# same figures are taken while the samples come in.
# Usage: bench/idle.sh [--recording] [PROGRAM] [SECONDS]
#        (default: build/src/zb740, 20 s)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=idle
if [ "${1:-}" = "--recording" ]; then
  mode=recording
  shift
fi
program=${1:-$root/build/src/zb740}
seconds=${2:-20}
extra=()
[ "$mode" = recording ] && extra=(--simulate --run 1,10000)
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/sys/class/tty"

# The wake-ups of a process are its context switches: each time one of its
# threads went to sleep and was woken again.
switches() {
  local total=0
  for t in /proc/"$1"/task/*/status; do
    local v n
    v=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$t")
    n=$(awk '/^nonvoluntary_ctxt_switches/ {print $2}' "$t")
    total=$((total + v + n))
  done
  echo "$total"
}

xvfb-run -a -s "-screen 0 1600x1000x24" \
  "$program" --settings-dir "$work/ZB740" --config "$work/none.ini" --sysfs-root "$work/sys" "${extra[@]}" \
  >/dev/null 2>&1 &
runner=$!
# The program is the runner's grandchild: find it by its executable.
exe=$(readlink -f "$program")
pid=""
for _ in $(seq 50); do
  for p in $(pgrep -f -- "--settings-dir $work/ZB740" || true); do
    [ "$(readlink -f /proc/"$p"/exe 2>/dev/null)" = "$exe" ] && pid=$p
  done
  [ -n "$pid" ] && break
  sleep 0.2
done
[ -n "${pid:-}" ] || { echo "the program did not start" >&2; exit 1; }
sleep 5 # settle: first paints, fonts, pictures (and the run's start)
# Each thread's switches by its name, to see which thread wakes.
by_thread() {
  for t in /proc/"$1"/task/*; do
    awk -v tid="${t##*/}" -v name="$(cat "$t/comm" 2>/dev/null)" \
      '/^voluntary_ctxt_switches/ {v = $2} /^nonvoluntary_ctxt_switches/ {n = $2}
       END {print tid "\t" name "\t" v + n "\t" n}' "$t/status" 2>/dev/null || true
  done
}
before=$(switches "$pid")
by_thread "$pid" >"$work/threads.before"
sleep "$seconds"
after=$(switches "$pid")
by_thread "$pid" >"$work/threads.after"
# The main thread's polls that really waited (more than a millisecond): the
# event loop also polls without waiting after each wake, and for the X
# connection's room to write.
timeout "$seconds" strace -T -p "$pid" -e trace=poll,ppoll -o "$work/polls" >/dev/null 2>&1 || true
waits=$(awk -F'<' '/poll\(/ && $NF + 0 > 0.001 {n++} END {print n + 0}' "$work/polls")
rss=$(awk '/^VmRSS/ {print $2}' /proc/"$pid"/status)
echo "program: $program ($mode)"
echo "event-loop wake-ups per second: $(awk -v w="$waits" -v s="$seconds" 'BEGIN {printf "%.1f", w / s}')"
echo "context switches per second (all threads): $(awk -v a="$before" -v b="$after" -v s="$seconds" 'BEGIN {printf "%.1f", (b - a) / s}')"
# Per thread name (threads that came and went in between count from zero),
# with the part that was preemption (it grows with the machine's load, not
# with what the program does).
awk -F'\t' -v s="$seconds" 'NR == FNR {b[$1] = $3; bn[$1] = $4; next}
  {d[$2] += $3 - b[$1]; p[$2] += $4 - bn[$1]}
  END {for (n in d) printf "  %s: %.1f/s (preempted %.1f/s)\n", n, d[n] / s, p[n] / s}' \
  "$work/threads.before" "$work/threads.after" | sort
echo "resident memory: $(awk -v k="$rss" 'BEGIN {printf "%.1f", k / 1024}') MB"
kill "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true

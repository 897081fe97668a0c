#!/usr/bin/env bash
# First paint of the window program against a plain Qt main window of the
# same size: the time from the launch of the process to the end of its first
# paint, for both programs launched alternately on one virtual X display
# (1600 x 1000, as bench/idle.sh), many runs each, medians.
#
# Both are measured the same way and unchanged: the clock
# (bench/firstpaint/PaintClock.cpp) is preloaded into each process, notes
# when the first paint pass has returned to the event loop and ends the
# process. The plain window (bench/firstpaint/PlainWindow.cpp) is opened at
# the size the program's main window had at its first paint.
# Usage: bench/firstpaint.sh [BUILD_DIR] [RUNS] [PROGRAM]
#   (default: build, 40, the build's src/zb740)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-40}
program=${3:-$build/src/zb740}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sys/class/tty"

xvfb-run -a -s "-screen 0 1600x1000x24" python3 - "$build" "$work" "$runs" "$program" <<'PY'
import os, statistics, subprocess, sys, time
build, work, runs, zb740 = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
clock = os.path.join(build, "bench/firstpaint/libfirstpaint_clock.so")
out = os.path.join(work, "paint")

again = 0  # launches that ended without a paint and were run once more

def launch(cmd):
    global again
    # Now and then a launch ends without having painted: it is run again,
    # at most twice, and counted, so that one such launch does not end the
    # whole measurement.
    for attempt in range(3):
        if os.path.exists(out):
            os.remove(out)
        env = dict(os.environ, LD_PRELOAD=clock, FIRSTPAINT_OUT=out)
        env["FIRSTPAINT_T0_NS"] = str(time.monotonic_ns())
        subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        if os.path.exists(out):
            with open(out) as f:
                ns, w, h = f.read().split()
            return int(ns) / 1e6, int(w), int(h)
        again += 1
    sys.exit(f"firstpaint: {cmd[0]} ended three times without painting")

def program(k):
    # A fresh settings folder each time: the first start's window.
    folder = os.path.join(work, f"settings{k}")
    return [zb740, "--settings-dir", folder, "--config", os.path.join(work, "none.ini"),
            "--sysfs-root", os.path.join(work, "sys")]

# The program's window size, and one warm-up of each (the page cache).
_, w, h = launch(program(0))
plain = [os.path.join(build, "bench/firstpaint/firstpaint_plain"), str(w), str(h)]
launch(plain)
times = {"program": [], "plain": []}
for k in range(runs):
    # Alternate which goes first, so neither always follows the other.
    order = [("program", program(k + 1)), ("plain", plain)]
    if k % 2:
        order.reverse()
    for name, cmd in order:
        times[name].append(launch(cmd)[0])
p, q = statistics.median(times["program"]), statistics.median(times["plain"])
print(f"window size:            {w} x {h}")
print(f"program, first paint:   {p:.1f} ms (median of {runs})")
print(f"plain main window:      {q:.1f} ms (median of {runs})")
print(f"ratio:                  {p / q:.2f}")
if again:
    print(f"launches run again:     {again} (they ended without painting)")
PY

#!/usr/bin/env bash
# Resident memory of the program idle and with the logger window holding 100
# full data sets (10010 samples each), under Xvfb: the window program is
# started twice, once without files and once with 100 files on its command
# line, and VmRSS is read from /proc once it has settled. The difference is
# the sets' samples (their bytes, all resident once the sets are full) and
# the window's own share: everything else the window and its loads cost.
# Each measure also shows the resident memory by kind (anonymous: heap and
# images; shared memory: the windows' pictures handed to the X server; file:
# code and fonts).
# Usage: bench/logger_rss.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
program=$build/src/zb740
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 100 data files of 10010 samples, in the data file's byte layout.
python3 - "$work" <<'PY'
import math, struct, sys
folder = sys.argv[1]
n = 10010
for k in range(100):
    out = bytearray(b"\x06KM4471") + struct.pack("<i", n)
    for i in range(n):
        air = 22 + 6 * math.sin(i / n * 6.283 + k)
        rh = 55 - 15 * math.sin(i / n * 6.283 + 0.4 + k)
        out += struct.pack("<5f", air, air - 4, air - 9, air + 8, rh)
    out += b"\x00" + struct.pack("<7i", 2026, 12, 7, 23, 45, 55, 1) + b"\x01C" + struct.pack("<2i", 10, 0)
    open(f"{folder}/set{k:03}.AsmDat", "wb").write(out)
PY

measure() {
  local label=$1; shift
  xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
    "$0" --settings-dir "$1/settings" --config "$1/none.ini" --sysfs-root "$1/sys" "${@:3}" 2>/dev/null &
    pid=$!
    prev=0
    # Settled: the same resident size two seconds apart.
    for i in $(seq 1 30); do
      sleep 2
      rss=$(awk "/^VmRSS/ {print \$2}" /proc/$pid/status)
      [ "$rss" = "$prev" ] && break
      prev=$rss
    done
    echo "$2 $rss"
    awk "/^(Rss|Anonymous|Shared_Clean|Shared_Dirty|Private_Clean|Private_Dirty):/ {printf \"  %s %s kB\", \$1, \$2} END {print \"\"}" /proc/$pid/smaps_rollup >&2
    grep -E "^(RssAnon|RssFile|RssShmem)" /proc/$pid/status | tr -s " \t" " " | tr "\n" " " >&2; echo >&2
    kill $pid; wait $pid 2>/dev/null || true
  ' "$program" "$work" "$label" "$@"
}

idle=$(measure idle | awk '{print $2}')
loaded=$(measure loaded "$work"/set*.AsmDat | awk '{print $2}')
mb() { awk -v k="$1" 'BEGIN {printf "%.1f MB (%d kB)", k / 1024, k}'; }
# Samples of 100 full sets, four bytes a value, five values a sample.
samples=$((100 * 10010 * 5 * 4 / 1024))
echo "idle:                $(mb "$idle")"
echo "100 sets loaded:     $(mb "$loaded")"
echo "difference:          $(mb $((loaded - idle)))"
echo "  the sets' samples: $(mb "$samples")"
echo "  the window's own:  $(mb $((loaded - idle - samples)))"

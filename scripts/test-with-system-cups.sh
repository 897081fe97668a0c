#!/usr/bin/env bash
# Runs the built test suite again as on a desktop whose print system is
# running with a default queue: the machine's own cupsd (started here when
# none runs) and a cups-pdf queue set as the default. No test may print to
# it, see it or be disturbed by it. What this script started or added it
# removes again. Needs root (it changes the machine's print system) and a
# build made by scripts/test.sh.
# Usage: scripts/test-with-system-cups.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [ "$(id -u)" -ne 0 ]; then
  echo "test-with-system-cups: needs root to start the system's cupsd and add a queue" >&2
  exit 1
fi
queue=ZB740_System_Default
started=""
previous=""
cleanup() {
  lpadmin -x "$queue" 2>/dev/null || true
  if [ -n "$previous" ]; then lpadmin -d "$previous" 2>/dev/null || true; fi
  if [ -n "$started" ]; then
    kill "$started" 2>/dev/null || true
    wait "$started" 2>/dev/null || true
  fi
}
trap cleanup EXIT
if ! lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
  /usr/sbin/cupsd -f &
  started=$!
  for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q "scheduler is running" && break; sleep 0.2; done
fi
previous=$(lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')
lpadmin -p "$queue" -v cups-pdf:/ -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null
lpadmin -d "$queue"
echo "System scheduler running; default queue: $(lpstat -d)"
cd "$build"
env -u CUPS_SERVER QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 300

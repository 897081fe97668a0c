#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program. With no CP210x
# bridge attached it starts the simulated meter and connects to it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
"$root/scripts/build.sh" "$root/build"
bridge=""
for tty in /sys/class/tty/ttyUSB*; do
  [ -e "$tty/device/driver" ] || continue
  case "$(readlink "$tty/device/driver")" in *cp210x) bridge=yes ;; esac
done
if [ -n "$bridge" ]; then
  exec "$root/build/src/zb740" "$@"
else
  echo "No CP210x bridge found: starting with the simulated meter."
  exec "$root/build/src/zb740" --simulate "$@"
fi

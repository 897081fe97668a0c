#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh"
"$root/scripts/build.sh" "$root/build"
cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 300

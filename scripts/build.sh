#!/usr/bin/env bash
# Configures and builds the program, its tools, tests and benchmark.
# Usage: scripts/build.sh [BUILD_DIR]   (default: build)
# ZB740_WERROR=ON in the environment makes every warning an error (CI).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
export CCACHE_DIR=${CCACHE_DIR:-$root/.cache/ccache}
export CCACHE_BASEDIR=$root
options=()
if [ -n "${ZB740_WERROR:-}" ]; then
  options+=("-DZB740_WERROR=$ZB740_WERROR")
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
elif [ ${#options[@]} -gt 0 ]; then
  cmake "$build" "${options[@]}" >/dev/null
fi
cmake --build "$build" -j2

#!/usr/bin/env bash
# Configures and builds the program, its tools, tests and benchmark.
# Usage: scripts/build.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
export CCACHE_DIR=${CCACHE_DIR:-$root/.cache/ccache}
export CCACHE_BASEDIR=$root
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2

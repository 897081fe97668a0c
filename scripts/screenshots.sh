#!/usr/bin/env bash
# Draws the pictures of docs/ that show the program's windows: the main
# window recording with limit lines (limits.png), the logger window sized
# larger than its default (logger-resized.png) and the main window in a dark
# theme (dark.png). The windows are the program's own, drawn on Qt's
# offscreen platform by the helper tools/screenshots (built with the rest);
# nothing of the user's settings is read or written.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" -j2 --target zb740-screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/zb740-screenshots" "$root/docs"

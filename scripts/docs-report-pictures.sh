#!/usr/bin/env bash
# Renders docs/report-full.png: a run recorded from the simulated meter,
# written as the full test report by zb740-cli report and rasterised by
# pdftoppm. Usage: scripts/docs-report-pictures.sh [BUILD_DIR]
# (default build/). Records for about 90 seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli="$build/tools/zb740-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cli" record --simulate --interval 1 --count 90 -o "$work/Chamber3.AsmDat" >/dev/null
"$cli" report "$work/Chamber3.AsmDat" -o "$work/report.pdf" --layout full \
  --curves AIR,WB,DP,RH --operator "A. Tester" \
  --note "Climate chamber 3, door closed, meter on the middle shelf." \
  --limit air:15..30 --limit rh:40..60 --limit dp:5..15
pdftoppm -r 150 -png -singlefile "$work/report.pdf" "$work/report-full"
cp "$work/report-full.png" "$root/docs/report-full.png"
"$cli" verify "$work/report.pdf" "$work/Chamber3.AsmDat"
echo "docs/report-full.png written"

#!/usr/bin/env bash
# Whole-process cost of zb740-cli's text commands against their floors, run
# interleaved (each round runs every program once, in turn), RUNS rounds;
# medians in milliseconds and the ratio of each pair:
#   zb740-cli --version                 vs  iconv --version, and a plain Qt
#                                           Core program (QCoreApplication,
#                                           one line: bench/cli/plain_qt.cpp)
#   zb740-cli info FILE                 vs  the same
#   zb740-cli export FILE --format tsv  vs  iconv -f UTF-8 -t UTF-16LE of the
#     -o OUT (10000 samples)                 same text (the export's bytes
#                                            as UTF-8), into a file
# The 10000-sample file is saved through the program's own Save path
# (bench/cli/make_run.cpp). Times are wall clock from the shell's clock
# ($EPOCHREALTIME) around each fork and exec, the same for every program.
# The files lie in a new folder under TMPDIR (default /tmp): export syncs
# its file and folder to the disk as every save does, iconv does not, so on
# a disk the ratio includes the disk's flushes; TMPDIR=/dev/shm leaves them
# out (a sync on tmpfs costs nothing).
# Usage: bench/cli.sh [BUILD_DIR] [RUNS]   (default: build, 200 runs)
# ZB740_CLI=PROGRAM measures another zb740-cli (an older build, say);
# ZB740_CLI_BEFORE=PROGRAM measures one more beside it, in the same rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${2:-200}
cli=${ZB740_CLI:-$build/tools/zb740-cli}
before=${ZB740_CLI_BEFORE:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/cli/zb740_bench_run" "$work/run.AsmDat" 10000
"$cli" export "$work/run.AsmDat" --format tsv -o "$work/check.csv"
iconv -f UTF-16 -t UTF-8 "$work/check.csv" >"$work/text.txt"

# last: microseconds the command took; its output goes nowhere.
time_us() {
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local t1=$EPOCHREALTIME
  last=$(( 10#${t1//[.,]/} - 10#${t0//[.,]/} ))
}

names=(cli_version iconv_version plain_qt cli_info cli_export iconv_text)
[ -n "$before" ] && names+=(before_version before_info before_export)
declare -A samples
for name in "${names[@]}"; do samples[$name]=""; done
run_one() {
  case $1 in
    cli_version) time_us "$cli" --version ;;
    iconv_version) time_us iconv --version ;;
    plain_qt) time_us "$build/bench/cli/zb740_bench_plain_qt" ;;
    cli_info) time_us "$cli" info "$work/run.AsmDat" ;;
    cli_export) time_us "$cli" export "$work/run.AsmDat" --format tsv -o "$work/out.csv" ;;
    iconv_text) time_us iconv -f UTF-8 -t UTF-16LE "$work/text.txt" -o "$work/out.txt" ;;
    before_version) time_us "$before" --version ;;
    before_info) time_us "$before" info "$work/run.AsmDat" ;;
    before_export) time_us "$before" export "$work/run.AsmDat" --format tsv -o "$work/out.csv" ;;
  esac
  samples[$1]+="$last "
}

# A few rounds to warm the caches, then the measured ones.
for _ in 1 2 3 4 5; do
  for name in "${names[@]}"; do run_one "$name"; done
  for name in "${names[@]}"; do samples[$name]=""; done
done
for ((i = 0; i < runs; ++i)); do
  for name in "${names[@]}"; do run_one "$name"; done
done

median() { tr ' ' '\n' <<<"${samples[$1]}" | grep . | sort -n | awk '{v[NR] = $1} END {
  m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f", m / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

declare -A ms
for name in "${names[@]}"; do ms[$name]=$(median "$name"); done
echo "zb740-cli: $cli; files in $work; $runs interleaved runs each; medians; load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-44s %9s %8s %12s\n' "command" "median ms" "ratio" "vs plain Qt"
printf '%-44s %9s\n' "iconv --version" "${ms[iconv_version]}"
printf '%-44s %9s %8s\n' "plain Qt Core program" "${ms[plain_qt]}" "$(ratio "${ms[plain_qt]}" "${ms[iconv_version]}")"
printf '%-44s %9s %8s %12s\n' "zb740-cli --version" "${ms[cli_version]}" "$(ratio "${ms[cli_version]}" "${ms[iconv_version]}")" \
  "$(ratio "${ms[cli_version]}" "${ms[plain_qt]}")"
printf '%-44s %9s %8s %12s\n' "zb740-cli info (10000 samples)" "${ms[cli_info]}" "$(ratio "${ms[cli_info]}" "${ms[iconv_version]}")" \
  "$(ratio "${ms[cli_info]}" "${ms[plain_qt]}")"
printf '%-44s %9s\n' "iconv -f UTF-8 -t UTF-16LE (the same text)" "${ms[iconv_text]}"
printf '%-44s %9s %8s   (target <= 2.5)\n' "zb740-cli export --format tsv (10000 samples)" "${ms[cli_export]}" \
  "$(ratio "${ms[cli_export]}" "${ms[iconv_text]}")"
if [ -n "$before" ]; then
  echo "before: $before"
  printf '%-44s %9s %8s %12s\n' "before: zb740-cli --version" "${ms[before_version]}" \
    "$(ratio "${ms[before_version]}" "${ms[iconv_version]}")" "$(ratio "${ms[before_version]}" "${ms[plain_qt]}")"
  printf '%-44s %9s %8s %12s\n' "before: zb740-cli info" "${ms[before_info]}" \
    "$(ratio "${ms[before_info]}" "${ms[iconv_version]}")" "$(ratio "${ms[before_info]}" "${ms[plain_qt]}")"
  printf '%-44s %9s %8s\n' "before: zb740-cli export --format tsv" "${ms[before_export]}" \
    "$(ratio "${ms[before_export]}" "${ms[iconv_text]}")"
fi

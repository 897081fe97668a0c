#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang, ASan and UBSan in their
# own build folder and runs each one, one after the other, for SECONDS.
# Exits non-zero on any finding (crash, sanitizer report, leak, timeout,
# broken check); the input that caused it is kept in the build folder's
# artifacts/. Prints the executions of each harness.
# A harness's own libFuzzer flags (such as -max_len) go in
# fuzz/fuzz_<name>.options, separated by blanks.
# Usage: scripts/fuzz.sh SECONDS [HARNESS...]   (default: every fuzz_*.cpp)
# ZB740_WERROR=ON in the environment makes every warning an error (CI).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: scripts/fuzz.sh SECONDS [HARNESS...]}
shift
build=${ZB740_FUZZ_BUILD:-$root/build-fuzz}
export CCACHE_DIR=${CCACHE_DIR:-$root/.cache/ccache}
export CCACHE_BASEDIR=$root

werror=()
if [ -n "${ZB740_WERROR:-}" ]; then
  werror+=("-DZB740_WERROR=$ZB740_WERROR")
fi
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++-14 -DZB740_FUZZ=ON "${werror[@]}"
elif [ ${#werror[@]} -gt 0 ]; then
  cmake "$build" "${werror[@]}" >/dev/null
fi
cmake --build "$build" -j2

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for f in "$root"/fuzz/fuzz_*.cpp; do
    n=$(basename "$f" .cpp)
    names+=("${n#fuzz_}")
  done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
# Known leaks of system libraries (fontconfig, under the drawing harness).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/fuzz/lsan.supp:print_suppressions=0}
mkdir -p "$build/artifacts" "$build/corpus"
summary=()
failed=0
for name in "${names[@]}"; do
  harness="$build/fuzz/fuzz_$name"
  seeds="$root/fuzz/corpus/$name"
  work="$build/corpus/$name"   # grows between runs; the seeds stay as they are
  log="$build/fuzz_$name.log"
  options=()
  if [ -f "$root/fuzz/fuzz_$name.options" ]; then
    read -r -a options < "$root/fuzz/fuzz_$name.options"
  fi
  mkdir -p "$work"
  echo "== fuzz_$name for ${seconds}s ${options[*]:-}"
  status=0
  "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${options[@]}" \
             -artifact_prefix="$build/artifacts/$name-" "$work" "$seeds" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 60 "$log"
    summary+=("fuzz_$name: FINDING after ${runs:-?} executions (exit $status), see $log and $build/artifacts/")
  else
    summary+=("fuzz_$name: ${runs:-?} executions in ${seconds}s, no findings")
  fi
done
printf '%s\n' "${summary[@]}"
exit $failed

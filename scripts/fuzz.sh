#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) and runs each one, starting
# from its committed seed corpus; new inputs go to a work corpus inside the build folder.
#   scripts/fuzz.sh [SECONDS [TARGET...]]  each target (or the named ones) for SECONDS
#                                          (default 20)
#   KADRO_FUZZ_RUNS=N scripts/fuzz.sh    each target for N executions instead
# Prints the executions of every target; exits non-zero on the first crash or sanitizer
# report (the input is kept under build-fuzz/artifacts/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
build=${KADRO_FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKADRO_FUZZ=ON -DKADRO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)"
mkdir -p "$build/artifacts"
limit=(-max_total_time="$seconds")
if [ -n "${KADRO_FUZZ_RUNS:-}" ]; then
  limit=(-runs="$KADRO_FUZZ_RUNS")
fi
for seeds in fuzz/corpus/*/; do
  name=$(basename "$seeds")
  if [ ${#targets[@]} -gt 0 ] && [[ " ${targets[*]} " != *" $name "* ]]; then
    continue
  fi
  work="$build/corpus/$name"
  mkdir -p "$work"
  log="$build/fuzz-$name.log"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/fuzz_$name" "${limit[@]}" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$work" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FUZZ FAILED: $name (log $log)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $name: $runs executions, no crash"
done

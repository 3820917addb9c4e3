#!/usr/bin/env bash
# The test command: installs what the tests need, configures, builds and runs every test.
#   scripts/test.sh [BUILD_DIR] [extra cmake arguments...]
# KADRO_CTEST_ARGS adds arguments to ctest (CI uses it to pick the concurrency label).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
bash scripts/install-deps.sh
cmake -S . -B "$build" "$@"
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${KADRO_CTEST_ARGS:-}

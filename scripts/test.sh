#!/usr/bin/env bash
# Installs what is missing, builds Brindle twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds, then runs each fuzz target
# for 30 seconds as a smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DBRINDLE_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan-libraries.supp" \
  run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_SANITIZE=ON
scripts/fuzz.sh 30
echo "All tests passed."

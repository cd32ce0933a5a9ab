#!/usr/bin/env bash
# The mutation campaign (see scripts/mutate.py and fuzz/README.md): builds brindle-cli with
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs `recover --deleted` on mutants of
# tool-made FAT12/16/32 and exFAT images, one at a time, at low priority.
# Usage: scripts/mutate.sh [MUTANTS [SEED]]   (defaults: 3000 mutants, seed 14)
# Failing mutants and their messages are kept in build/mutate-findings; the figures of the run
# are written to build/mutate-summary.json. Exits non-zero when any mutant failed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
build=build/sanitize
cmake -S . -B "$build" -DBRINDLE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DBRINDLE_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target brindle-cli

rm -rf build/mutate-findings
exec nice python3 scripts/mutate.py --cli "$build/cli/brindle-cli" --mutants "${1:-3000}" --seed "${2:-14}" \
  --keep build/mutate-findings --summary build/mutate-summary.json

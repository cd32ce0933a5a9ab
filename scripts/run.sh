#!/usr/bin/env bash
# Installs what is missing, builds Brindle and starts it. The window is not built yet: this
# builds the command-line companion and shows its help.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_TESTS=OFF
cmake --build build/release -j "$(nproc)"
if [ -x build/release/cli/brindle-cli ]; then
  exec build/release/cli/brindle-cli "${@:---help}"
fi
echo "There is nothing to start yet: the window is not built."

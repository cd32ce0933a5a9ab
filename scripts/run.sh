#!/usr/bin/env bash
# Installs what is missing, builds Brindle and starts its window:
#
#   scripts/run.sh [IMAGE] [--sector-size N]
#
# Without IMAGE the window offers the drives of this machine; build/release/sample.img is a
# small FAT image to try it on. Without a display it says how to get one.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRINDLE_TESTS=OFF
cmake --build build/release -j "$(nproc)" --target brindle brindle-cli brindle_sample_image

brindle=build/release/app/brindle
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<MESSAGE
Brindle is built, but there is no display to show its window on (neither DISPLAY nor
WAYLAND_DISPLAY is set). Either
  - run this from a desktop session, or
  - start it under a virtual X display (apt-get install xvfb):
      xvfb-run -a scripts/run.sh build/release/sample.img
  - or use the command-line companion, which needs no display:
      build/release/cli/brindle-cli ls -r build/release/sample.img
      build/release/cli/brindle-cli --help
MESSAGE
  exit 1
fi
exec "$brindle" "$@"

#!/usr/bin/env bash
# Shows the browser frame on a source under Xvfb and takes a screenshot of the screen, for
# looking at the window without a display.
#
#   scripts/frame-screenshot.sh SOURCE OUT.png [N:/DIR/NAME [PAGE]]
#
# The entry is selected as clicks in the tree would; PAGE is 0 (information), 1 (preview) or
# 2 (hex). Needs xvfb and imagemagick (scripts/install-deps.sh test installs them).
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 2 ] || { echo "usage: $0 SOURCE OUT.png [ENTRY [PAGE]]" >&2; exit 2; }
source=$(realpath "$1")
out=$(realpath -m "$2")
args=("$source")
[ $# -ge 3 ] && args+=(--select "$3")
[ $# -ge 4 ] && args+=(--page "$4")

scripts/install-deps.sh test
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j 2 --target brindle-frame-demo >/dev/null

# The demo runs until the screenshot is taken; no message box is left waiting.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  out=$1; shift
  "$@" & demo=$!
  sleep 3
  import -window root "$out"
  kill "$demo"
' screenshot "$out" build/release/tests/brindle-frame-demo "${args[@]}"
echo "$out"

#!/usr/bin/env bash
# Screenshots of the gallery page under Xvfb, in Chinese and in English, of a camera card that
# was quick-formatted (mkfs.fat over it) after its pictures were taken: its lost-and-found scan
# finds them by their content, one of them with text written over its middle.
#
#   scripts/gallery-screenshots.sh [OUTDIR]     (default: build/shots)
#
#   gallery-LL.png          the card's volume on the gallery page after the scan
#   gallery-LL-whole.png    the same with only the whole pictures shown
#
# Needs xvfb, imagemagick, mtools, dosfstools and a CJK font (scripts/install-deps.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/shots}")
mkdir -p "$out"
cmake --build build/release -j 2 --target brindle-app-demo >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
card=$work/card.img
mkfs.fat -F 16 -s 8 -n CAMERA -C "$card" $((64 * 1024)) >/dev/null
mkdir -p "$work/DCIM/100CAM"
i=0
for source in rose: logo: wizard: granite: netscape: plasma:fractal plasma:red-yellow gradient:navy-orange; do
  i=$((i + 1))
  convert -seed $i -size 800x600 "$source" -resize 800x600\! -quality 90 "$work/DCIM/100CAM/IMG_000$i.JPG"
done
convert -size 400x300 plasma:green-blue "$work/DCIM/100CAM/SCAN0001.PNG"
MTOOLS_SKIP_CHECK=1 mcopy -s -i "$card" "$work/DCIM" ::/
# Text over the middle of the third picture, as a file written after the format would leave it.
python3 - "$card" "$work/DCIM/100CAM/IMG_0003.JPG" <<'PY'
import sys
card, picture = open(sys.argv[1], 'r+b'), open(sys.argv[2], 'rb').read()
data = card.read()
at = data.find(picture[:4096]) + len(picture) // 2 // 4096 * 4096
card.seek(at)
card.write((b'Notes written after the card was formatted. ' * 400)[:16384])
PY
mkfs.fat -F 16 -s 8 -n CAMERA "$card" >/dev/null  # the quick format

demo=build/release/tests/brindle-app-demo
for lang in zh en; do
  locale=zh_CN.UTF-8
  [ "$lang" = en ] && locale=en_US.UTF-8
  for filter in "" whole; do
    name=gallery-$lang${filter:+-$filter}.png
    LANG=$locale LANGUAGE= LC_ALL= LC_MESSAGES= xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
      "$1" --open "$2" --select "1:/../Lost and found" --select "1:/.." --page 2 ${4:+--whole-only} &
      program=$!
      sleep 5
      import -window root "$3"
      kill $program; wait $program 2>/dev/null || true' _ "$demo" "$card" "$out/$name" "$filter"
    echo "$out/$name"
  done
done

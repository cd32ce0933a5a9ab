#!/usr/bin/env bash
# Renders brindle.svg as the PNG the window shows as its icon (Qt reads SVG only with an extra
# module). Run it after changing the SVG; needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
convert -background none -density 384 brindle.svg -resize 128x128 -depth 8 -strip brindle.png

#!/usr/bin/env bash
# Renders the SVG icons as the PNGs the window uses (Qt reads SVG only with an extra module):
# the program's icon at 128 pixels, the drive list's icons at 48 and 96 pixels. Run it after
# changing an SVG; needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
render() {  # render SVG SIZE PNG
  convert -background none -density 768 "$1" -resize "$2x$2" -depth 8 -strip "$3"
}
render brindle.svg 128 brindle.png
for svg in drives/*.svg; do
  render "$svg" 48 "${svg%.svg}.png"
  render "$svg" 96 "${svg%.svg}@2x.png"
done

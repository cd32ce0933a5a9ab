#!/usr/bin/env bash
# Makes the small pictures the sample image holds, with ImageMagick's built-in images and
# gradients. They are committed beside this script, so that building needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
convert rose: -resize 200% -quality 85 -strip rose.jpg
convert -size 160x120 gradient:'#ffb347-#6a2c70' -fill '#fff3b0' -draw 'circle 80,78 80,52' \
  -fill '#2b1b3d' -draw 'rectangle 0,96 160,120' -strip sunset.png
convert wizard: -resize 25% -strip wizard.gif
convert logo: -resize 30% -quality 80 -strip holiday.jpg

#!/bin/sh
# Remakes logo.jpg, the 140 x 88 picture shown in the main window at start: a blue gradient, a
# microphone drawn from primitives, the name and a tagline. Needs ImageMagick 6 and DejaVu fonts.
set -eu
cd "$(dirname "$0")"
convert -size 140x88 -define gradient:angle=135 gradient:'#17396b-#3d8fd9' \
  -fill none -stroke '#ffffff30' -strokewidth 1 -draw 'arc -40,66 180,150 200,340' \
  -stroke none -fill white -draw 'roundrectangle 15,20 27,44 6,6' \
  -fill '#17396b' -draw 'rectangle 18,26 24,27' -draw 'rectangle 18,31 24,32' \
  -draw 'rectangle 18,36 24,37' \
  -fill none -stroke white -strokewidth 2 -draw 'arc 10,28 32,50 0,180' \
  -draw 'line 21,50 21,56' -draw 'line 15,56 27,56' \
  -stroke none -font DejaVu-Sans-Bold -pointsize 22 -fill white -annotate +38+48 'Orvane' \
  -font DejaVu-Sans -pointsize 9 -fill '#d6e6f7' -annotate +39+66 'write · read · record' \
  -strip -sampling-factor 4:2:0 -quality 90 logo.jpg

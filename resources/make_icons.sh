#!/bin/bash
# Draws the program's icon: a glass prism on a dark tile, a white beam entering
# from the left and leaving as a fan of coloured rays, the picture the program
# paints of a voice. Run once after changing the drawing; the PNGs are kept in
# the repository so that building never needs ImageMagick.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
convert=/usr/bin/convert
master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT

"$convert" -size 256x256 gradient:'#1d2a4a-#0b1020' \
  -fill white -draw 'polygon 0,168 0,186 98,124 93,110' \
  -fill '#ff2a2a' -draw 'polygon 168,118 171,122 256,58 256,90' \
  -fill '#ff9a1f' -draw 'polygon 169,121 172,125 256,90 256,122' \
  -fill '#ffe51f' -draw 'polygon 170,124 173,128 256,122 256,154' \
  -fill '#35e04a' -draw 'polygon 171,127 174,131 256,154 256,186' \
  -fill '#2f7dff' -draw 'polygon 172,130 175,134 256,186 256,218' \
  -fill '#9b3cff' -draw 'polygon 173,133 176,137 256,218 256,250' \
  -fill 'rgba(200,225,255,0.30)' -stroke '#eaf4ff' -strokewidth 9 \
  -draw 'polygon 128,30 36,208 220,208' \
  -stroke none -fill 'rgba(255,255,255,0.6)' -draw 'polygon 95,113 97,125 173,135 170,119' \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 4,4 251,251 44,44' \) \
  -compose DstIn -composite \
  "$master"

for size in 256 128 48 32 16; do
  "$convert" "$master" -filter Lanczos -resize ${size}x${size} -strip \
    "PNG32:$here/vocalume-$size.png"
done

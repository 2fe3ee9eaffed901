#!/usr/bin/env bash
# Draws the window's artwork with ImageMagick; run by hand when it is to change, and commit
# the results. Both pictures are ours: a grid with the product's name, and a small badge.
set -euo pipefail
cd "$(dirname "$0")"

# Background: 276 x 345, light grid, the name across the top above the first step label (y 76).
convert -size 276x345 xc:'#f3f6f9' \
    -fill none -stroke '#d5dee8' -strokewidth 1 \
    -draw "$(for x in $(seq 5 12 275); do printf 'line %d,0 %d,344 ' "$x" "$x"; done)" \
    -draw "$(for y in $(seq 5 12 344); do printf 'line 0,%d 275,%d ' "$y" "$y"; done)" \
    -stroke none -fill '#1f4e79' -draw 'rectangle 0,0 275,62' \
    -fill '#f5a623' -draw 'rectangle 0,62 275,65' \
    -font DejaVu-Sans-Bold -pointsize 30 -fill white -gravity north -annotate +0+12 'QV Morvik 2' \
    -strip -quality 90 -sampling-factor 4:2:0 background.jpg

# Window icon: 32 x 32, the badge in the background's colours.
convert -size 32x32 xc:none \
    -fill '#1f4e79' -draw 'roundrectangle 0,0 31,31 6,6' \
    -fill '#f5a623' -draw 'rectangle 3,24 28,26' \
    -font DejaVu-Sans-Bold -pointsize 15 -fill white -gravity center -annotate +0-3 'M2' \
    -strip PNG32:icon.png

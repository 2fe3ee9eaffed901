#!/usr/bin/env bash
# Draws the window's artwork with ImageMagick; run by hand when it is to change, and commit
# the results. The pictures are ours: a grid with the product's name, and a small badge drawn at
# every size it is needed in (window, desktop, Windows icon).
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

# The badge at SIZE pixels: the window icon, and each size of the Windows icon.
Badge() { # SIZE FILE
    local size=$1 f
    f=$(awk -v s="$1" 'BEGIN { print s / 32 }')
    S() { awk -v f="$f" -v v="$1" 'BEGIN { printf "%.1f", v * f }'; }
    convert -size "${size}x${size}" xc:none \
        -fill '#1f4e79' -draw "roundrectangle 0,0 $(S 31.99),$(S 31.99) $(S 6),$(S 6)" \
        -fill '#f5a623' -draw "rectangle $(S 3),$(S 24) $(S 28.99),$(S 26.99)" \
        -font DejaVu-Sans-Bold -pointsize "$(S 15)" -fill white -gravity center \
        -annotate "+0-$(S 3)" 'M2' \
        -strip "PNG32:$2"
}

# Window icon: 32 x 32, the badge in the background's colours.
Badge 32 icon.png

# The desktop's icon in the hicolor theme's sizes, each drawn at its size.
mkdir -p icons
for size in 16 22 24 32 48 64 128 256; do Badge "$size" "icons/morvik2-update-$size.png"; done

# The Windows program's icon: 16, 32, 48 and 256 pixels in one file, each drawn at its size.
work=$(mktemp -d)
for size in 16 32 48 256; do Badge "$size" "$work/$size.png"; done
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" icon.ico
rm -rf "$work"

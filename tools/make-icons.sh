#!/usr/bin/env bash
# Draws the program icon (a kanji tile with a pen stroke) at every size the
# desktop and the windows use. Needs ImageMagick and fonts-ipafont-mincho.
# The PNGs are committed; run this only to change the icon.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
font=$(fc-match -f '%{file}' 'IPAMincho')
for size in 16 32 48 64 128 256; do
    s=$((size * 4))                     # draw large, then scale down smoothly
    r=$((s / 6)); pad=$((s / 32))
    convert -size ${s}x${s} xc:none \
        -fill '#1f3a68' -draw "roundrectangle $pad,$pad $((s - pad - 1)),$((s - pad - 1)) $r,$r" \
        -fill '#fff6e0' -font "$font" -pointsize $((s * 72 / 100)) -gravity center \
        -annotate +0+$((s / 40)) '字' \
        -stroke '#e8452c' -strokewidth $((s / 16 + 1)) -fill none \
        -draw "line $((s * 62 / 100)),$((s * 86 / 100)) $((s * 86 / 100)),$((s * 62 / 100))" \
        -resize ${size}x${size} -colors 16 -strip PNG32:taruvo-$size.png
done

#!/usr/bin/env bash
# Takes a screenshot of a program in a real X window under Xvfb, with a
# window manager so that captions show.
#   tools/screenshot.sh OUT.png [WxH] [WAIT_SECONDS] -- COMMAND [ARGS...]
# The screen is cropped to the area the windows cover. Needs xvfb, openbox,
# ImageMagick and x11-utils (installed here when missing).
set -euo pipefail
out=$1; shift
geometry=1280x800; wait=3
[[ $# -gt 0 && $1 != -- ]] && { geometry=$1; shift; }
[[ $# -gt 0 && $1 != -- ]] && { wait=$1; shift; }
[[ ${1:-} == -- ]] && shift

need=()
for p in xvfb openbox imagemagick x11-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 "${geometry}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $wm $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY=$display "$@" &
app=$!
sleep "$wait"
DISPLAY=$display import -window root "$out"
# Crop to what is not background.
convert "$out" -trim +repage -bordercolor black -border 8 "$out"
echo "screenshot: $out"

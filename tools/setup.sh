#!/usr/bin/env bash
# Installs what Taruvo needs to build, run and test on Debian, only where it
# is missing, without asking anything. Fails loudly when something is still
# missing afterwards.
set -euo pipefail

packages=(
    g++ cmake make pkg-config
    qt6-base-dev qt6-multimedia-dev
    libzinnia-dev tegaki-zinnia-japanese python3-kanjidraw libopencv-dnn-dev
    fonts-ipafont-mincho fonts-ipafont-gothic
    xvfb xauth
    clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    log=$(mktemp)
    export DEBIAN_FRONTEND=noninteractive
    if ! { "${sudo[@]}" apt-get update -q && \
           "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 30 "$log"
        echo "setup: installing packages failed (see above)" >&2
        exit 1
    fi
    rm -f "$log"
fi

# What the program and the tests rely on, checked by what they use.
fail=0
fc-list IPAMincho | grep -q . || { echo "setup: the Japanese Mincho font (fonts-ipafont-mincho) is missing" >&2; fail=1; }
fc-list IPAGothic | grep -q . || { echo "setup: the Japanese Gothic font (fonts-ipafont-gothic) is missing" >&2; fail=1; }
[ -r /usr/share/tegaki/models/zinnia/handwriting-ja.model ] || {
    echo "setup: the handwriting model (tegaki-zinnia-japanese) is missing" >&2; fail=1; }
[ -r /usr/lib/python3/dist-packages/kanjidraw/data.json ] || {
    echo "setup: the stroke templates (python3-kanjidraw) are missing" >&2; fail=1; }
exit $fail

#!/usr/bin/env bash
# Makes docs/feedback.png: both player windows under Xvfb, player 1 with
# built-in series 0 and player 2 with series 1, showing item 0 (correct,
# won), 1 (wrong, lost) and 2 (neutral, draw) from top to bottom.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
out="$root/docs/feedback.png"

"$root/tools/setup.sh"
log="$build/build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
       && cmake --build "$build" -j 2 --target feedback_shot; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "feedback-screenshot: build failed" >&2
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for item in 0 1 2; do
    "$root/tools/screenshot.sh" "$tmp/$item.png" 1280x800 4 -- "$build/feedback_shot" "$item" >/dev/null
done
convert "$tmp/0.png" "$tmp/1.png" "$tmp/2.png" -append -strip "$out"
echo "feedback-screenshot: $out"

#!/usr/bin/env bash
# Recognition benchmark: builds taruvo-recognize (release) and measures it on
# the KanjiVG-derived strokes of the jōyō kanji. Arguments go to run.py
# (e.g. --limit 4 for a quick run, --conditions clean,corner).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-bench"

# The strokes (python3-kanjidraw) and the jōyō grades (kanjidic).
need=()
for p in python3 python3-kanjidraw kanjidic; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if ((${#need[@]})); then
    echo "bench: installing ${need[*]}"
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target taruvo-recognize -j 2 >/dev/null
exec python3 "$root/bench/recognition/run.py" --tool "$build/taruvo-recognize" "$@"

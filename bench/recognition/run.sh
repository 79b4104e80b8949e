#!/usr/bin/env bash
# Recognition benchmark: builds taruvo-recognize (release) and measures it on
# independent ink (fetched once with npm into build-bench/cache), or with
# --source kanjivg on the KanjiVG strokes. Arguments go to run.py (e.g.
# --limit 4 for a quick run, --split dev, --conditions clean,joined).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-bench"

# The KanjiVG strokes (python3-kanjidraw), the grades (kanjidic), numpy for
# tune.py and npm for the independent ink.
need=()
for p in python3 python3-kanjidraw python3-numpy kanjidic; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
# A Node.js from elsewhere brings its own npm, which Debian's would conflict with.
command -v npm >/dev/null || need+=(npm)
if ((${#need[@]})); then
    echo "bench: installing ${need[*]}"
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo -n)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q >/dev/null
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target taruvo-recognize -j 2 >/dev/null
exec /usr/bin/python3 "$root/bench/recognition/run.py" --tool "$build/taruvo-recognize" "$@"

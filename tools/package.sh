#!/usr/bin/env bash
# Sets up a Debian machine where needed, builds Taruvo for release in
# build-release/ and makes its Debian package there; prints the package's
# path. Install it with: sudo apt install ./build-release/taruvo_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/tools/setup.sh"

log="$build/build.log"
mkdir -p "$build"
rm -f "$build"/taruvo_*.deb
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
       && cmake --build "$build" -j "$jobs" --target package; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "package: build failed" >&2
    exit 1
fi
debs=("$build"/taruvo_*.deb)
[ -f "${debs[0]}" ] || { tail -n 20 "$log"; echo "package: no package made" >&2; exit 1; }
echo "package: ${debs[0]#"$root/"}"

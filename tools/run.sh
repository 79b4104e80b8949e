#!/usr/bin/env bash
# Sets up a fresh Debian machine where needed, builds Taruvo and starts it
# with the bundled word lists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/tools/setup.sh"

log="$build/build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
       && cmake --build "$build" -j "$jobs" --target taruvo; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "run: build failed" >&2
    exit 1
fi
exec "$build/taruvo" "$@"

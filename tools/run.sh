#!/usr/bin/env bash
# Sets up a fresh Debian machine where needed, builds Taruvo and starts it
# with the bundled word lists.
#   tools/run.sh [ARGS...]           the game (console and player windows)
#   tools/run.sh --host [ARGS...]    the class host, in the terminal
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)
program=taruvo
if [ "${1:-}" = --host ]; then
    program=taruvo-host
    shift
fi

bash "$root/tools/setup.sh"

log="$build/build.log"
mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
       && cmake --build "$build" -j "$jobs" --target "$program"; } >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "run: build failed" >&2
    exit 1
fi
exec "$build/$program" "$@"

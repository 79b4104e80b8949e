#!/usr/bin/env bash
# Sets up a fresh Debian machine where needed, builds Taruvo with its tests
# (sanitizers on, warnings as errors) and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-test"
jobs=$(nproc 2>/dev/null || echo 2)

bash "$root/tools/setup.sh"

log="$build/build.log"
mkdir -p "$build"
echo "test: configuring and building in build-test/ (log: build-test/build.log)"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTARUVO_SANITIZE=ON -DTARUVO_WERROR=ON \
       && cmake --build "$build" -j "$jobs"; } >"$log" 2>&1; then
    grep -E 'error|Error|warning' "$log" | head -n 40 || tail -n 40 "$log"
    echo "test: build failed" >&2
    exit 1
fi

cd "$build"
exec ctest --output-on-failure -j "$jobs"

#!/usr/bin/env bash
# Builds the word-list fuzz target with clang and runs it.
#   tools/fuzz.sh [SECONDS]     (default 300; the tests run it for a few)
# Findings are written to build-fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
build=${TARUVO_FUZZ_BUILD:-$root/build-fuzz}
mkdir -p "$build/findings" "$build/corpus"
if ! { CXX=clang++ cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       && cmake --build "$build" -j "$(nproc)"; } >"$build/build.log" 2>&1; then
    tail -n 30 "$build/build.log"
    echo "fuzz: build failed" >&2
    exit 1
fi
# Seeds: the bundled lists.
cp -n "$root"/data/words/*.txt "$build/corpus/" 2>/dev/null || true
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_wordlist" -max_total_time="$seconds" -max_len=65536 \
    -artifact_prefix="$build/findings/" "$build/corpus" 2>"$build/fuzz.log" || {
    tail -n 40 "$build/fuzz.log"; echo "fuzz: a finding (see $build/findings)" >&2; exit 1; }
echo "fuzz: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$build/fuzz.log" | tail -1), no findings"

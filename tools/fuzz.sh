#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs one of them.
#   tools/fuzz.sh [SECONDS] [TARGET]   (default 300 seconds; the tests run each
#   for a few). TARGET: wordlist (the default), seatmessage, dictionary,
#   zinniamodel, streamchecks, hostmessage, templates or settings.
# Findings are written to build-fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
target=${2:-wordlist}
build=${TARUVO_FUZZ_BUILD:-$root/build-fuzz}
case $target in
    wordlist) corpus=$build/corpus; extra=() ;;
    seatmessage) corpus=$build/corpus-seatmessage; extra=(-dict="$root/fuzz/seatmessage.dict") ;;
    dictionary) corpus=$build/corpus-dictionary; extra=() ;;
    zinniamodel) corpus=$build/corpus-zinniamodel; extra=() ;;
    streamchecks) corpus=$build/corpus-streamchecks; extra=() ;;
    hostmessage) corpus=$build/corpus-hostmessage; extra=(-dict="$root/fuzz/hostmessage.dict") ;;
    templates) corpus=$build/corpus-templates; extra=(-dict="$root/fuzz/templates.dict") ;;
    settings) corpus=$build/corpus-settings; extra=() ;;
    *) echo "fuzz: no target $target" >&2; exit 2 ;;
esac
mkdir -p "$build/findings" "$corpus"
if ! { CXX=clang++ cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       && cmake --build "$build" -j "$(nproc)"; } >"$build/build.log" 2>&1; then
    tail -n 30 "$build/build.log"
    echo "fuzz: build failed" >&2
    exit 1
fi
# Seeds: the bundled lists, pieces of the dictionary, a page's messages, a
# client's bytes, templates or settings files.
if [ "$target" = wordlist ]; then
    cp -n "$root"/data/words/*.txt "$corpus/" 2>/dev/null || true
elif [ "$target" = dictionary ]; then
    [ -e "$corpus/head" ] || head -c 4000 "$root/data/dictionary/words-ja.tsv" >"$corpus/head"
    [ -e "$corpus/tail" ] || tail -c 4000 "$root/data/dictionary/words-ja.tsv" >"$corpus/tail"
else
    cp -n "$root"/fuzz/seeds/$target/* "$corpus/" 2>/dev/null || true
    # The shipped settings file besides the odd ones.
    [ "$target" != settings ] || cp -n "$root/data/Taruvo.ini" "$corpus/"
fi
log=$build/fuzz-$target.log
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz_$target" -max_total_time="$seconds" -max_len=65536 "${extra[@]}" \
    -artifact_prefix="$build/findings/" "$corpus" 2>"$log" || {
    tail -n 40 "$log"; echo "fuzz: a finding (see $build/findings)" >&2; exit 1; }
echo "fuzz $target: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | tail -1), no findings"

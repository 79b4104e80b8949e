#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that the installed
# program is whole: configuration and word lists beside the executable, a
# link on the PATH, desktop entry, icons and the ink model; then starts it through the link
# and ends it the way a session does (SIGTERM), which must exit cleanly.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install: $*" >&2; exit 1; }
app="$prefix/lib/taruvo"
[ -x "$app/taruvo" ] || fail "no executable in lib/taruvo"
[ -f "$app/Taruvo.ini" ] || fail "no Taruvo.ini beside the executable"
[ -d "$app/words" ] || fail "no word-list folder beside the executable"
[ -L "$prefix/bin/taruvo" ] || fail "bin/taruvo is not a link"
[ "$(readlink -f "$prefix/bin/taruvo")" = "$(readlink -f "$app/taruvo")" ] || fail "bin/taruvo points elsewhere"
[ -f "$prefix/share/applications/taruvo.desktop" ] || fail "no desktop entry"
for size in 16 32 48 256; do
    [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/taruvo.png" ] || fail "no ${size}px icon"
done
for f in ink-ja.onnx ink-ja.json words-ja.tsv; do
    [ -f "$prefix/share/taruvo/$f" ] || fail "no $f in share/taruvo"
done
grep -q '^Exec=taruvo' "$prefix/share/applications/taruvo.desktop" || fail "desktop entry does not start taruvo"

# Started through the link from another folder, it must come up, find its
# ink model and stay up until told to stop.
cd /
log="$prefix/log"
QT_QPA_PLATFORM=offscreen "$prefix/bin/taruvo" 2>"$log" &
pid=$!
sleep 2
kill -0 $pid 2>/dev/null || fail "the installed program did not stay up"
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status -eq 0 ] || fail "the installed program ended with status $status on SIGTERM"
if grep -q "ink model is off" "$log"; then
    cat "$log" >&2
    fail "the installed program did not find its ink model"
fi
echo "install: complete"

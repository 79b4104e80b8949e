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
for f in ink-ja.onnx ink-ja.json ink-ja-longhand.onnx ink-ja-longhand.json words-ja.tsv; do
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
if grep -qE "ink model is off|reading with the ink models at .* only" "$log"; then
    cat "$log" >&2
    fail "the installed program did not find its ink models"
fi

# The class host, through its link: up with a state folder of its own, the
# word lists beside it and the teacher key made, and ending cleanly on
# SIGTERM.
[ -L "$prefix/bin/taruvo-host" ] || fail "bin/taruvo-host is not a link"
[ -f "$prefix/lib/systemd/system/taruvo-host.service" ] || fail "no service unit for the class host"
# The host's log is printed with a failure; each start has a log of its
# own, made before it starts, so that one start's lines are never read as
# another's.
fail_log() { cat "$hostlog" >&2 || true; fail "$@"; }
start_host() {
    hostlog="$prefix/$1.log"
    : >"$hostlog"
    "$prefix/bin/taruvo-host" --state-dir "$prefix/$1" --address 127.0.0.1 --port 0 >"$hostlog" 2>&1 &
    pid=$!
}
stop_host() {
    kill -TERM $pid
    local status=0
    wait $pid || status=$?
    [ $status -eq 0 ] || fail_log "$1 ended with status $status"
}
start_host hoststate
for ((i = 0; i < 100; i++)); do
    grep -q '^Teacher: http://127.0.0.1:' "$hostlog" && break
    kill -0 $pid 2>/dev/null || fail_log "the installed class host ended by itself"
    sleep 0.1
done
grep -q '^Teacher: http://127.0.0.1:' "$hostlog" || fail_log "the installed class host does not say where it is"
grep -q '^Teacher key' "$hostlog" || fail "the installed class host made no teacher key"
grep -q "^Word lists from $prefix/lib/taruvo/words;" "$hostlog" || fail "the installed class host looks for word lists elsewhere"
[ -f "$prefix/hoststate/results.db" ] || fail "the installed class host keeps no results"
stop_host "the installed class host, on SIGTERM,"
# Stopped while it starts (the key is said before the models load): it
# still ends cleanly, once it is up.
start_host hoststate2
for ((i = 0; i < 200; i++)); do
    grep -q '^Teacher key' "$hostlog" && break
    sleep 0.05
done
stop_host "the class host stopped while starting"
grep -q '^taruvo-host ended' "$hostlog" || fail_log "the class host stopped while starting did not end its way"
echo "install: complete"

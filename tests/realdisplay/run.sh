#!/usr/bin/env bash
# Runs a test program in real X windows as a desktop has them: an X server
# (Xvfb, 1280 x 800), the openbox window manager and an accessibility bus
# with screen-reader support switched on.
#   tests/realdisplay/run.sh PROGRAM [ARGS...]
set -euo pipefail
for tool in Xvfb openbox dbus-run-session /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "realdisplay: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "realdisplay: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# The windows come once the window manager has started, as on a desktop.
openbox --startup "touch $work/wm-ready" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 300); do [ -e "$work/wm-ready" ] && break; sleep 0.1; done
[ -e "$work/wm-ready" ] || { echo "realdisplay: openbox did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_RUNTIME_DIR="$work"
dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    launcher=$!
    set +e
    "$@"
    status=$?
    kill $launcher 2>/dev/null
    exit $status' realdisplay "$@" 2> >(grep -v "dbus-daemon\[" >&2)

#!/usr/bin/env bash
# Proves the README's commands on a machine with nothing installed: a
# throw-away Debian 12 root (debootstrap's smallest variant, kept pristine in
# a cache folder and copied for each run) gets a clean clone of this
# repository's HEAD; inside it, as CI runs (root, CI=true, no standard
# input), .ci/run (tools/test.sh), then tools/run.sh offscreen until the game
# is up. With --package, tools/package.sh runs there too, its package is
# checked, and `apt-get install ./taruvo_*.deb` into a second fresh root must
# bring in all that the installed program needs to start.
#   tools/fresh-check.sh [--package] [--skip-tests]
#   tools/fresh-check.sh --mirror    only prints the mirror it would use
# Needs root. Cache: $TARUVO_FRESH_CACHE (default ~/.cache/taruvo-fresh).
# The Debian mirror is this machine's own, as apt reads it from its sources
# (/etc/apt/sources.list, sources.list.d/*.list and *.sources).
# Uncommitted changes are not checked: the clone is of HEAD.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARUVO_FRESH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/taruvo-fresh}
package=0 tests=1 only_mirror=0
for a in "$@"; do
    case $a in
    --package) package=1 ;;
    --skip-tests) tests=0 ;;
    --mirror) only_mirror=1 ;;
    *) echo "usage: tools/fresh-check.sh [--package] [--skip-tests] | --mirror" >&2; exit 2 ;;
    esac
done
say() { printf 'fresh-check: %s\n' "$*"; }
die() { printf 'fresh-check: %s\n' "$*" >&2; exit 1; }

# The machine's Debian archive and security archive, as apt itself reads its
# sources: enabled deb entries of component main, parsed by apt, so that
# one-line and deb822 files, options, comments and disabled entries count as
# they count for apt. A Debian archive serves every release: an entry of
# Debian 12 is taken first, else one of another Debian release. Without a
# security archive the fresh roots get none, as said.
debian_suite='^(bookworm|trixie|forky|bullseye|buster|sid|stable|testing|unstable|oldstable|oldoldstable)'
archive= security=
read_mirror() {
    local sources
    command -v apt-get >/dev/null || die "no apt-get: cannot read this machine's Debian mirror"
    sources=$(apt-get indextargets --no-release-info --format '$(RELEASE) $(COMPONENT) $(REPO_URI)' \
        'Created-By: Packages' 2>/dev/null | sort -u) || die "apt-get cannot read this machine's apt sources"
    pick() {
        awk -v want="$1" -v pattern="$2" '
            $2 == "main" && $1 == want { print $3; found = 1; exit }
            $2 == "main" && $1 ~ pattern && other == "" { other = $3 }
            END { if (!found && other != "") print other }' <<<"$sources"
    }
    archive=$(pick bookworm "$debian_suite(-updates)?\$")
    security=$(pick bookworm-security "$debian_suite-security\$")
    archive=${archive%/} security=${security%/}
    [ -n "$archive" ] || die "no Debian archive in this machine's apt sources (a deb entry of component main" \
        "in /etc/apt/sources.list, /etc/apt/sources.list.d/*.list or *.sources)"
}
read_mirror
if ((only_mirror)); then
    printf 'archive %s\nsecurity %s\n' "$archive" "${security:-none}"
    exit 0
fi
[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot, mount)"
[ -n "$security" ] || say "note: no security archive in this machine's apt sources; the fresh roots get none"
elapsed() { local s=$((SECONDS - $1)); printf '%dm%02ds' $((s / 60)) $((s % 60)); }
start=$SECONDS
mkdir -p "$cache/logs" "$cache/archives/partial"

if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap </dev/null >/dev/null ||
        die "cannot install debootstrap"
fi
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    say "note: uncommitted changes are not part of the check"
rev=$(git -C "$repo" rev-parse HEAD)

# --- Roots and mounts -----------------------------------------------------
mounts=()
unmount_all() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null || true
    done
    mounts=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM
mounted_under() { awk -v d="$1" '$5 == d || index($5, d "/") == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; }
bind() { mount "$@" && mounts+=("${!#}"); }

base="$cache/bookworm"
if [ ! -f "$base/.complete" ]; then
    say "making a Debian 12 root with debootstrap (once; kept in $base)"
    mounted_under "$base.tmp" && die "$base.tmp has mounts"
    rm -rf --one-file-system "$base.tmp"
    # An https mirror needs the certificates inside the root too.
    include=()
    [[ $archive == https:* || $security == https:* ]] && include=(--include=ca-certificates)
    debootstrap --variant=minbase "${include[@]}" bookworm "$base.tmp" "$archive" >"$cache/logs/debootstrap.log" 2>&1 ||
        { tail -n 20 "$cache/logs/debootstrap.log"; die "debootstrap failed"; }
    touch "$base.tmp/.complete"
    mv "$base.tmp" "$base"
fi

# new_root NAME: a copy of the pristine root, with the machine's name servers
# and its mirror as they are now.
new_root() {
    local r="$cache/$1"
    mounted_under "$r" && die "$r still has mounts; unmount them first"
    rm -rf --one-file-system "$r"
    cp -a "$base" "$r"
    cp -L /etc/resolv.conf "$r/etc/resolv.conf"
    {
        echo "deb $archive bookworm main"
        echo "deb $archive bookworm-updates main"
        [ -z "$security" ] || echo "deb $security bookworm-security main"
    } >"$r/etc/apt/sources.list"
}

# Each line of output with the time since the step began.
stamp() {
    local t0=$SECONDS line
    while IFS= read -r line; do printf '[%s] %s\n' "$(elapsed "$t0")" "$line"; done
}

# inside ROOT COMMAND: runs a bash command in ROOT as CI does: root, CI=true,
# a clean environment, no standard input. Downloaded packages are kept in
# the cache across runs; nothing else is.
inside() {
    local r=$1 status=0
    bind -t proc proc "$r/proc"
    bind -t sysfs sys "$r/sys"
    bind --bind /dev "$r/dev"
    bind --bind /dev/pts "$r/dev/pts"
    bind -t tmpfs shm "$r/dev/shm"
    bind --bind "$cache/archives" "$r/var/cache/apt/archives"
    chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 CI=true TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "$2" </dev/null 2>&1 | stamp || status=$?
    unmount_all
    return $status
}

# The game counts as started when the process is the program itself (run.sh
# execs it after a good build), is still up after 5 s, logged nothing about a
# missing model, templates or font, and ends with status 0 on SIGTERM. Then
# the program is started once more under strace, which must show it reading
# the Zinnia model, the ink model and the stroke templates (opened on the
# recognition thread; the ink model and the templates are not kept mapped).
cat >"$cache/started.sh" <<'EOF'
# started.sh PROGRAM LOG COMMAND...: starts COMMAND, waits up to 40 min for PROGRAM.
program=$1 log=$2; shift 2
# up PID: waits until PID runs PROGRAM and has stayed up 5 s.
up() {
    local pid=$1 i
    for ((i = 0; i < 2400; i++)); do
        [ "$(readlink "/proc/$pid/exe")" = "$program" ] && break
        kill -0 "$pid" 2>/dev/null || { tail -n 20 "$log"; echo "ended before the program ran"; return 1; }
        sleep 1
    done
    [ "$(readlink "/proc/$pid/exe")" = "$program" ] || { echo "the program never ran"; return 1; }
    sleep 5
    kill -0 "$pid" 2>/dev/null || { tail -n 20 "$log"; echo "the program ended by itself"; return 1; }
}
QT_QPA_PLATFORM=offscreen "$@" >"$log" 2>&1 &
pid=$!
up $pid || exit 1
kill -TERM $pid
status=0; wait $pid || status=$?
[ $status -eq 0 ] || { tail -n 20 "$log"; echo "status $status on SIGTERM"; exit 1; }
if grep -Ei 'is off|no Japanese font|missing' "$log"; then echo "the program says something is missing"; exit 1; fi
command -v strace >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends strace </dev/null >/dev/null
QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=openat -o /tmp/opened.trace "$program" >"$log" 2>&1 &
tracer=$!
# The trace's lines start with the process's id (an installed root has no pgrep).
child=
for ((i = 0; i < 60; i++)); do
    child=$(head -n 1 /tmp/opened.trace 2>/dev/null | cut -d ' ' -f 1)
    [ -n "$child" ] && [ "$(readlink "/proc/$child/exe")" = "$program" ] && break
    sleep 1
done
sleep 5
if [ -n "$child" ]; then kill -TERM "$child"; else kill -TERM $tracer; fi 2>/dev/null
wait $tracer
for f in handwriting-ja.model ink-ja.onnx ink-ja-longhand.onnx kanjidraw/data.json; do
    grep -qE "\"[^\"]*$f\", O_RDONLY.*= [0-9]+$" /tmp/opened.trace || { echo "the program did not read $f"; exit 1; }
done
echo "up 5 s, nothing missing, status 0 on SIGTERM; read the Zinnia model, both ink models and the templates"
EOF

# --- The README's commands from a clean clone -------------------------------
t=$SECONDS
new_root machine
r="$cache/machine"
git clone -q --no-checkout "$repo" "$r/src/taruvo"
git -C "$r/src/taruvo" checkout -q "$rev"
cp "$cache/started.sh" "$r/tmp/started.sh"
say "fresh root with a clone of ${rev:0:12} ready ($(elapsed $t))"

if ((tests)); then
    t=$SECONDS
    if inside "$r" 'cd /src/taruvo && bash .ci/run' >"$cache/logs/test.log" 2>&1; then
        say "tools/test.sh passed in $(elapsed $t):"
        grep -E '\] (test|setup):|tests passed|tests failed|Total Test time' "$cache/logs/test.log" | sed 's/^/    /'
    else
        tail -n 40 "$cache/logs/test.log"
        die "tools/test.sh failed after $(elapsed $t) (log: $cache/logs/test.log)"
    fi
fi

t=$SECONDS
if inside "$r" 'cd /src/taruvo && bash /tmp/started.sh /src/taruvo/build/taruvo /tmp/run.log bash tools/run.sh' \
    >"$cache/logs/run.log" 2>&1; then
    say "tools/run.sh: the game started in $(elapsed $t): $(tail -n 1 "$cache/logs/run.log")"
else
    cat "$cache/logs/run.log"
    die "tools/run.sh: the game did not start (log: $cache/logs/run.log)"
fi

# --- The package, installed with apt where nothing else is ----------------
if ((package)); then
    t=$SECONDS
    inside "$r" 'cd /src/taruvo && bash tools/package.sh && bash tests/install/check_package.sh build-release build-release/taruvo_*.deb' \
        >"$cache/logs/package.log" 2>&1 || { tail -n 30 "$cache/logs/package.log"; die "the package failed (log: $cache/logs/package.log)"; }
    debs=("$r"/src/taruvo/build-release/taruvo_*.deb)
    say "made and checked ${debs[0]##*/} in $(elapsed $t)"
    sed -n 's/^.*package: .* complete; /    /p' "$cache/logs/package.log"

    t=$SECONDS
    new_root installed
    r2="$cache/installed"
    cp "${debs[0]}" "$cache/started.sh" "$r2/tmp/"
    inside "$r2" "apt-get update -q >/dev/null && \
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends /tmp/${debs[0]##*/} >/tmp/apt.log 2>&1 \
            || { tail -n 30 /tmp/apt.log; exit 1; }
        echo \"installed: \$(grep -c '^Setting up' /tmp/apt.log) packages\"
        cd / && bash /tmp/started.sh /usr/lib/taruvo/taruvo /tmp/taruvo.log taruvo" \
        >"$cache/logs/install.log" 2>&1 || { cat "$cache/logs/install.log"; die "the installed package did not start (log: $cache/logs/install.log)"; }
    say "apt-get install --no-install-recommends ./${debs[0]##*/} into a fresh root, then taruvo, in $(elapsed $t):"
    sed 's/^/    /' "$cache/logs/install.log"
fi
say "all done in $(elapsed $start)"

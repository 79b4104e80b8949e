#!/usr/bin/env bash
# Checks that tools/fresh-check.sh takes its Debian mirror from apt's sources
# as apt reads them: one-line and deb822 files, entries that apt skips
# skipped, and a clear failure when there is none. Each case is a planted
# apt configuration (APT_CONFIG), so this machine's own does not matter.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# check NAME EXPECTED_STATUS EXPECTED: runs the mirror reading on $work/NAME
# (a folder with sources.list and sources.list.d/); EXPECTED is the whole
# output when it succeeds, a pattern of the message when it fails.
check() {
    local etc="$work/$1" out status=0
    mkdir -p "$etc/sources.list.d" "$etc/apt.conf.d" "$etc/preferences.d"
    printf 'Dir::Etc "%s/";\n' "$etc" >"$etc/apt.conf"
    out=$(APT_CONFIG="$etc/apt.conf" bash "$src/tools/fresh-check.sh" --mirror 2>&1) || status=$?
    local right=0
    if [ "$status" -eq "$2" ]; then
        if [ "$2" -eq 0 ]; then [ "$out" = "$3" ] && right=1; else grep -qE "$3" <<<"$out" && right=1; fi
    fi
    if ((!right)); then
        printf 'mirror-check: %s: status %s, said:\n%s\nwanted status %s and:\n%s\n' "$1" "$status" "$out" "$2" "$3" >&2
        failed=1
    else
        echo "mirror-check: $1: ok"
    fi
}

for name in oneline deb822 none skipped trixie foreign; do mkdir -p "$work/$name/sources.list.d"; done
cat >"$work/oneline/sources.list" <<'EOF'
# deb http://commented.invalid/debian bookworm main
deb-src http://sources.invalid/debian bookworm main
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://one.invalid/debian bookworm main contrib
deb http://one.invalid/debian-security bookworm-security main
EOF
check oneline 0 $'archive http://one.invalid/debian\nsecurity http://one.invalid/debian-security'

cat >"$work/deb822/sources.list.d/debian.sources" <<'EOF'
Types: deb
URIs: http://off.invalid/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb deb-src
URIs: https://two.invalid/debian
Suites: bookworm bookworm-updates
Components: main
EOF
check deb822 0 $'archive https://two.invalid/debian\nsecurity none'

# Files apt does not read, a disabled entry and another vendor's suite.
printf 'deb http://renamed.invalid/debian bookworm main\n' >"$work/skipped/sources.list.d/old.list.disabled"
printf 'Types: deb\nURIs: http://off.invalid/debian\nSuites: bookworm\nComponents: main\nEnabled: no\n' \
    >"$work/skipped/sources.list.d/off.sources"
printf 'deb https://vendor.invalid/linux/debian bookworm stable\n' >"$work/skipped/sources.list"
check skipped 1 "no Debian archive in this machine's apt sources"
check none 1 "no Debian archive in this machine's apt sources"

# Another Debian release's archive serves Debian 12 too.
printf 'deb http://three.invalid/debian trixie main\ndeb http://three.invalid/debian-security trixie-security main\n' \
    >"$work/trixie/sources.list"
check trixie 0 $'archive http://three.invalid/debian\nsecurity http://three.invalid/debian-security'

# Not Debian at all.
printf 'deb http://four.invalid/ubuntu jammy main\n' >"$work/foreign/sources.list"
check foreign 1 "no Debian archive"

exit $failed

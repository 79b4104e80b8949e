#!/usr/bin/env bash
# Checks that tools/setup.sh installs what the build and the scripts use, so
# that a fresh machine gets it too, not only this one where it may have come
# by hand: every file the build's configuration found (CMake packages,
# pkg-config libraries, compilers, tools) and every command the README's
# scripts, CI and the test scripts run must belong to a package that the
# set-up's packages bring in, or that every Debian has.
#   check_setup.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
. "$src/tests/install/owners.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t setup < <(bash "$src/tools/setup.sh" --list)
((${#setup[@]})) || { echo "setup-check: tools/setup.sh --list names no package" >&2; exit 1; }
declare -A brought
while read -r p; do brought[$p]=1; done < <(closure "${setup[@]}")

# What the configuration found, with the cache entry that names it; left
# out are what CMake looks for only in case it is there: CTest's dashboard
# tools, and GLU, EGL and the like, which FindOpenGL seeks beside OpenGL.
grep -E '^[A-Za-z0-9_]+:(PATH|FILEPATH)=/(usr|lib|bin|etc)/' "$build/CMakeCache.txt" |
    grep -Ev '^((BZR|CVS|GIT|HG|P4|SVN)COMMAND|(COVERAGE|MEMORYCHECK)_COMMAND|OPENGL_(glu|egl|EGL|xmesa|gles|GLES)[A-Za-z0-9_]*):' |
    sed -E 's/^([^:]+):[A-Z]+=(.*)$/\2\tthe build (\1)/' >"$work/used"
# What the scripts run.
scripts=("$src"/.ci/run "$src"/tools/{setup,test,run,package,fuzz}.sh)
mapfile -t -O ${#scripts[@]} scripts < <(find "$src/tests" -name '*.sh')
while read -r cmd; do
    if [[ $cmd == /* ]]; then
        [ -x "$cmd" ] || { echo "setup-check: the scripts run $cmd, which is not here" >&2; exit 1; }
        printf '%s\t%s\n' "$cmd" "the scripts ($cmd)" >>"$work/used"
    elif [ "$(type -t "$cmd" || true)" = file ]; then
        printf '%s\t%s\n' "$(type -P "$cmd")" "the scripts ($cmd)" >>"$work/used"
    fi
done < <(/usr/bin/python3 "$src/tests/install/commands.py" "${scripts[@]}")

mapfile -t paths < <(cut -f1 "$work/used" | sort -u)
owners "${paths[@]}" >"$work/owners"
fail=0
while IFS=$'\t' read -r path what; do
    mapfile -t pk < <(owner_of "$path" "$work/owners")
    ((${#pk[@]})) || continue # made on the machine, not by a package
    ok=0
    for p in "${pk[@]}"; do [ -n "${brought[$p]:-}" ] && ok=1; done
    # sudo is what a non-root user needs to run the set-up at all.
    [ "${path##*/}" = sudo ] && ok=1
    ((ok)) || { echo "setup-check: $what uses $path of ${pk[*]}, which tools/setup.sh does not install" >&2; fail=1; }
done < <(sort -u "$work/used")
((fail == 0)) && echo "setup-check: $(sort -u "$work/used" | wc -l) files and commands, all from packages the set-up installs"
exit $fail

#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks it:
#  - it holds exactly what the install rules install, and the program, its
#    Taruvo.ini, the word lists, the desktop entry, the icons and the
#    /usr/bin link in their places;
#  - its Depends name the package of every library the programs link, and
#    the owner of every file listed in cmake/runtime-files.txt;
#  - the packed programs start from their unpacked tree (the console finds
#    the model, the templates and a font; the class host those and Qt's
#    SQLite driver), end cleanly on SIGTERM, and every file of the system
#    they open belongs to a package that its Depends bring in (or that every
#    Debian has);
#  - the class host: its link, its service unit (not enabled), its user,
#    and no GUI library;
#  - only a sanitizer build's package depends on sanitizer runtimes, and
#    such a package says in its version that it is a test build.
#   check_package.sh BUILD_DIR [DEB]   (DEB: check that package instead)
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
work=$(mktemp -d)
app=
cleanup() {
    [ -n "$app" ] && kill -KILL "$app" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package: $*" >&2; exit 1; }
. "$(dirname "$0")/owners.sh"

deb=${2:-}
if [ -z "$deb" ]; then
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" \
        -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1 || { tail -n 20 "$work/cpack.log"; fail "cpack failed"; }
    debs=("$work"/out/*.deb)
    ((${#debs[@]} == 1)) && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages"
    deb=${debs[0]}
fi
dpkg-deb -x "$deb" "$work/root"
field() { dpkg-deb -f "$deb" "$1"; }

# --- Contents -------------------------------------------------------------
DESTDIR="$work/ref" cmake --install "$build" --prefix /usr >/dev/null
list() { (cd "$1" && find . \( -type f -o -type l \) | sort); }
diff <(list "$work/ref") <(list "$work/root") >"$work/contents.diff" ||
    { sed 's/^/  /' "$work/contents.diff" >&2; fail "contents differ from the install rules (< installed only, > packed only)"; }

r=$work/root/usr
[ -x "$r/lib/taruvo/taruvo" ] || fail "no program in /usr/lib/taruvo"
[ -f "$r/lib/taruvo/Taruvo.ini" ] || fail "no Taruvo.ini beside the program"
[ "$(readlink "$r/bin/taruvo")" = ../lib/taruvo/taruvo ] || fail "/usr/bin/taruvo is not a link to ../lib/taruvo/taruvo"
for words in "$src"/data/words/*.txt; do
    cmp -s "$words" "$r/lib/taruvo/words/${words##*/}" || fail "word list ${words##*/} missing or different"
done
cmp -s "$src/data/dictionary/words-ja.tsv" "$r/share/taruvo/words-ja.tsv" || fail "the dictionary of readings is missing or different"
grep -qx 'Exec=taruvo' "$r/share/applications/taruvo.desktop" || fail "no desktop entry starting taruvo"
[ -x "$r/lib/taruvo/taruvo-host" ] || fail "no class host in /usr/lib/taruvo"
[ "$(readlink "$r/bin/taruvo-host")" = ../lib/taruvo/taruvo-host ] || fail "/usr/bin/taruvo-host is not a link to ../lib/taruvo/taruvo-host"
grep -qx 'ExecStart=/usr/bin/taruvo-host --state-dir /var/lib/taruvo' "$r/lib/systemd/system/taruvo-host.service" ||
    fail "no service unit starting the class host"
grep -q '^u taruvo ' "$r/lib/sysusers.d/taruvo-host.conf" || fail "no user for the class host"
dpkg-deb -e "$deb" "$work/control"
grep -q 'systemd-sysusers taruvo-host.conf' "$work/control/postinst" || fail "the package does not make the class host's user"
! grep -q 'systemctl enable' "$work/control/postinst" || fail "the package enables the class host by itself"
! objdump -p "$r/lib/taruvo/taruvo-host" | grep -E 'NEEDED.*(Qt6Gui|Qt6Widgets)' >&2 || fail "the class host links a GUI library"
for size in 16 32 48 64 128 256; do
    [ -s "$r/share/icons/hicolor/${size}x${size}/apps/taruvo.png" ] || fail "no ${size}px icon"
done

# --- Depends --------------------------------------------------------------
depends=$(field Depends)
mapfile -t direct < <(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/:.*//; s/[[:space:]]//g' | grep . | sort -u)
declare -A in_depends
for p in "${direct[@]}"; do in_depends[$p]=1; done
depends_on() { [ -n "${in_depends[$1]:-}" ]; }

sanitize=$(sed -n 's/^TARUVO_SANITIZE:BOOL=//p' "$build/CMakeCache.txt")
sanitizer_runtime='^lib(a|ub|l|t|hwa)san[0-9]*$'
if [ "$sanitize" = ON ]; then
    [[ $(field Version) == *~sanitize* ]] || fail "a sanitizer build's package does not say so in its version"
else
    [[ $(field Version) != *sanitize* ]] || fail "a release package is marked as a sanitizer build"
    ! printf '%s\n' "${direct[@]}" | grep -E "$sanitizer_runtime" >/dev/null || fail "a release package depends on a sanitizer runtime: $depends"
fi

# Every library a packed program links directly is depended on by name.
: >"$work/libs"
while IFS= read -r -d '' f; do
    [[ $(file -b "$f") == ELF* ]] || continue
    objdump -p "$f" | awk '$1 == "NEEDED" { print $2 }' >"$work/needed"
    # The dynamic loader has no "=>": ldd names it by its path alone.
    ldd "$f" | awk '$2 == "=>" && $3 ~ /^\// { print $1 "\t" $3 }
                    $1 ~ /^\// { n = $1; sub(/.*\//, "", n); print n "\t" $1 }' >"$work/resolved"
    while read -r name; do
        path=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$work/resolved")
        [ -n "$path" ] || fail "${f#"$work/root"} links $name, which is not installed"
        printf '%s\t%s\n' "${f#"$work/root"}" "$path" >>"$work/libs"
    done <"$work/needed"
done < <(find "$work/root" -type f -perm -u+x -print0)
[ -s "$work/libs" ] || fail "no program in the package links any library"
owners $(cut -f2 "$work/libs" | sort -u) >"$work/libowners"
while IFS=$'\t' read -r prog lib; do
    mapfile -t pk < <(owner_of "$lib" "$work/libowners")
    ((${#pk[@]})) || fail "$prog links $lib, which no package owns"
    ok=0
    for p in "${pk[@]}"; do depends_on "$p" && ok=1; done
    ((ok)) || fail "$prog links $lib of ${pk[*]}, not in Depends: $depends"
done <"$work/libs"

# Every file of another package that the program opens is listed with its
# owner, and that owner is depended on.
mapfile -t listed < <(grep -v '^[[:space:]]*\(#\|$\)' "$src/cmake/runtime-files.txt" | awk '{ print $1 "\t" $2 }')
owners $(cut -f1 <<<"$(printf '%s\n' "${listed[@]}")") >"$work/fileowners"
for entry in "${listed[@]}"; do
    path=${entry%%$'\t'*} pkg=${entry#*$'\t'}
    owner_of "$path" "$work/fileowners" | grep -xF "$pkg" >/dev/null || fail "$path is listed as $pkg's, but dpkg says: $(owner_of "$path" "$work/fileowners" | xargs)"
    depends_on "$pkg" || fail "$pkg (for $path) is not in Depends: $depends"
done

# --- Start the packed program and see what it opens ------------------------
# Packages that the Depends bring in, and those every Debian has.
declare -A in_closure
while read -r p; do in_closure[$p]=1; done < <(closure "${direct[@]}")

cd "$work"
mapfile -t fonts < <(grep -v '^[[:space:]]*\(#\|$\)' "$src/cmake/runtime-files.txt" | awk 'NF > 2 && $3 !~ /^@/ { print $1 }')
# started NAME WANTED_PATTERN ARGS...: starts the packed program NAME under
# strace until it has read every listed file it opens (the fonts aside,
# and one of those when it shows windows), then ends it with SIGTERM, which
# must end it cleanly; what it opened is in $work/trace-NAME.
started() {
    local name=$1 marker=$2
    shift 2
    local trace="$work/trace-$name" log="$work/$name.log"
    QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 strace -f -qq -z -e trace=open,openat -o "$trace" \
        "$r/lib/taruvo/$name" "$@" >"$log" 2>&1 &
    tracer=$!
    app=
    local wanted
    mapfile -t wanted < <(grep -v '^[[:space:]]*\(#\|$\)' "$src/cmake/runtime-files.txt" |
        awk -v m="$marker" 'NF <= 2 || $3 == m { print $1 }')
    local seen=0 i path
    for ((i = 0; i < 200 && !seen; i++)); do
        sleep 0.1
        [ -n "$app" ] || read -r app _ <"/proc/$tracer/task/$tracer/children" || true
        kill -0 "$tracer" 2>/dev/null || { cat "$log" >&2; fail "the packed $name ended by itself"; }
        seen=1
        for path in "${wanted[@]}"; do grep -qF "\"$path\"" "$trace" || seen=0; done
        if [ "$marker" = fonts ]; then grep -qFf <(printf '"%s"\n' "${fonts[@]}") "$trace" || seen=0; fi
    done
    ((seen)) || { cat "$log" >&2; fail "the packed $name did not open ${wanted[*]} within 20 s"; }
    sleep 0.5
    # What is mapped is what is in use; a plugin Qt only looked into is not.
    awk '$6 ~ /^\// { print $6 }' "/proc/$app/maps" | sort -u | xargs -r readlink -f >>"$work/mapped"
    kill -TERM $app
    local status=0
    wait "$tracer" || status=$?
    app=
    [ $status -eq 0 ] || { cat "$log" >&2; fail "the packed $name ended with status $status on SIGTERM"; }
    ! grep -Ei 'is off|no Japanese font|not kept' "$log" >&2 || fail "the packed $name says something is missing"
}
: >"$work/mapped"
started taruvo fonts
# The class host: its state in a folder of its own, on a free port.
started taruvo-host @taruvo-host --state-dir "$work/hoststate" --address 127.0.0.1 --port 0 --words "$r/lib/taruvo/words"
cat "$work"/trace-* >"$work/trace"

# Left out: what the C library, fontconfig, OpenSSL and Qt look through on
# any machine (locales, character sets, configuration), which others'
# packages may add to without the program needing it.
grep -o '"/[^"]*"' "$work/trace" | tr -d '"' | sort -u |
    grep -Ev "^(/proc|/sys|/dev|/run|/tmp|/var|/etc|${HOME:-/nonexistent}|$work)(/|$)" |
    grep -Ev '^/usr/(share/locale|lib/locale|share/fontconfig|lib/[^/]+/gconv|lib/ssl)/' >"$work/opened" || true
elf() { [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]; }
# A library is judged by the file mapped, not the name it was asked for: Qt
# asks for OpenSSL by its bare name, which on a build machine is the -dev
# package's link to the very library the run-time package holds.
mapfile -t opened < <(while read -r p; do
    [ -f "$p" ] || continue
    if elf "$p"; then
        grep -qxF "$(readlink -f "$p")" "$work/mapped" || continue
        readlink -f "$p"
    else
        echo "$p"
    fi
done <"$work/opened" | sort -u)
owners "${opened[@]}" >"$work/openowners"
for path in "${opened[@]}"; do
    mapfile -t pk < <(owner_of "$path" "$work/openowners")
    ((${#pk[@]})) || continue # caches and files made on the machine
    ok=0
    for p in "${pk[@]}"; do [ -n "${in_closure[$p]:-}" ] && ok=1; done
    ((ok)) || fail "the program opened $path of ${pk[*]}, which its Depends do not bring in"
done
echo "package: ${deb##*/} complete; Depends: $depends"

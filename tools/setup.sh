#!/usr/bin/env bash
# Installs what Taruvo needs to build, run, test and package on Debian 12,
# only where it is missing and without asking anything, then checks that
# every need is really met. Fails loudly, naming what is missing.
# Runs as root or with password-less sudo; quiet when all is there.
#   tools/setup.sh [--list]    (--list: print the packages and stop)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Each package with what proves it usable:
#   cmd:NAME      a command on the PATH
#   file:GLOB     a readable file (a glob, for the architecture's folder)
#   pc:MODULE     a pkg-config module
#   gcc-rt:LIB    a runtime library g++ links (the sanitizers)
#   clang-rt:LIB  a clang runtime archive (libFuzzer, the sanitizers)
needs=(
    g++                 cmd:g++
    make                cmd:make
    cmake               cmd:cmake
    pkg-config          cmd:pkg-config
    qt6-base-dev        file:/usr/lib/*/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake
    qt6-base-dev        file:/usr/lib/*/cmake/Qt6Test/Qt6TestConfig.cmake
    # Printing the review and saving it as PDF.
    qt6-base-dev        file:/usr/lib/*/cmake/Qt6PrintSupport/Qt6PrintSupportConfig.cmake
    libqt6printsupport6 file:/usr/lib/*/libQt6PrintSupport.so.6
    qt6-multimedia-dev  file:/usr/lib/*/cmake/Qt6Multimedia/Qt6MultimediaConfig.cmake
    qt6-websockets-dev  file:/usr/lib/*/cmake/Qt6WebSockets/Qt6WebSocketsConfig.cmake
    qt6-httpserver-dev  file:/usr/lib/*/cmake/Qt6HttpServer/Qt6HttpServerConfig.cmake
    libzinnia-dev       pc:zinnia
    libopencv-dnn-dev   file:/usr/include/opencv4/opencv2/dnn.hpp
    libqrencode-dev     pc:libqrencode
    fontconfig          cmd:fc-list
    # Sanitizer build (tools/test.sh): the runtimes g++ links.
    g++                 gcc-rt:libasan.so
    g++                 gcc-rt:libubsan.so
    # The fuzz test: clang with libFuzzer and its sanitizers.
    clang               cmd:clang++
    libclang-rt-14-dev  clang-rt:fuzzer
    libclang-rt-14-dev  clang-rt:asan
    libclang-rt-14-dev  clang-rt:ubsan_standalone
    # The browser seat's test: headless Chromium driven by its driver.
    chromium            cmd:chromium
    chromium-driver     cmd:chromedriver
    # The class host's results on PostgreSQL: its tests start a server of
    # their own with these programs.
    postgresql          file:/usr/lib/postgresql/*/bin/initdb
    postgresql          file:/usr/lib/postgresql/*/bin/pg_ctl
    # Several class hosts behind one proxy: the district test starts its own.
    haproxy             cmd:haproxy
    # The review's PDFs read back by the window test.
    poppler-utils       cmd:pdftotext
    poppler-utils       cmd:pdftoppm
    # The package and its test: CPack's DEB generator reads libraries with
    # file and dpkg-shlibdeps; the test traces what the program opens.
    dpkg-dev            cmd:dpkg-shlibdeps
    file                cmd:file
    strace              cmd:strace
    # The install checks read the scripts with Debian's Python.
    python3             file:/usr/bin/python3
    # Screenshots and real windows: the real-display test runs the windows
    # under a window manager with an accessibility bus.
    xvfb                cmd:Xvfb
    xauth               cmd:xauth
    openbox             cmd:openbox
    dbus-daemon         cmd:dbus-run-session
    at-spi2-core        file:/usr/libexec/at-spi-bus-launcher
)

# What the installed program opens from other packages: the model, the
# templates, the fonts (shared with the package's Depends).
runtime_files=()
while read -r path pkg family; do
    [[ -z $path || $path == \#* ]] && continue
    needs+=("$pkg" "file:$path")
    # A third word is a font's family, or @PROGRAM for a file only that program opens.
    [[ -n $family && $family != @* ]] && needs+=("$pkg" "font:$family")
    runtime_files+=("$path")
done <"$root/cmake/runtime-files.txt"

packages=()
for ((i = 0; i < ${#needs[@]}; i += 2)); do
    [[ " ${packages[*]} " == *" ${needs[i]} "* ]] || packages+=("${needs[i]}")
done

if [[ ${1:-} == --list ]]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

# One query for all; a package not known to dpkg at all counts as missing.
installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
    grep -qx "ii  $p" <<<"$installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "setup: not root and no sudo: cannot install ${missing[*]}" >&2; exit 1; }
        sudo=(sudo -n)
    fi
    log=$(mktemp)
    if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
           "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
               "${missing[@]}"; } </dev/null >"$log" 2>&1; then
        tail -n 30 "$log"
        echo "setup: installing packages failed (see above): ${missing[*]}" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
fi

# Each need checked by what uses it, not by the package database alone.
met() {
    local kind=${1%%:*} what=${1#*:}
    case $kind in
    cmd) command -v "$what" >/dev/null ;;
    file) compgen -G "$what" >/dev/null && [ -r "$(compgen -G "$what" | head -n 1)" ] ;;
    pc) pkg-config --exists "$what" ;;
    font) fc-list "$what" family | tr ',' '\n' | grep -qxF "$what" ;;
    gcc-rt) local f; f=$(g++ -print-file-name="$what") && [ "$f" != "$what" ] && [ -e "$(readlink -f "$f")" ] ;;
    clang-rt) compgen -G "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.$what-$(uname -m).a" >/dev/null ;;
    *) echo "setup: unknown kind of need '$1'" >&2; return 1 ;;
    esac
}
fail=0
for ((i = 0; i < ${#needs[@]}; i += 2)); do
    met "${needs[i + 1]}" || { echo "setup: missing ${needs[i + 1]} (package ${needs[i]})" >&2; fail=1; }
done
((fail == 0)) || echo "setup: the needs above are still missing after installing; see tools/setup.sh" >&2
exit $fail

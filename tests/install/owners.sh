# Sourced by the install checks: which Debian packages own files.
# dpkg knows a file by the path its package ships, which may lie on either
# side of the /usr merge or behind a link (alternatives), so each path is
# looked up in all those spellings.

# owners PATH...: prints "PATH<TAB>PACKAGE[, PACKAGE...]" for each spelling
# dpkg knows, in one dpkg call.
owners() {
    local p variants=()
    for p in "$@"; do
        variants+=("$p" "$(readlink -f "$p")")
    done
    for p in "${variants[@]}"; do
        case $p in /usr/*) variants+=("${p#/usr}") ;; *) variants+=("/usr$p") ;; esac
    done
    dpkg -S "${variants[@]}" 2>/dev/null | grep -v '^diversion by' |
        sed -E 's/^(.*): (\/.*)$/\2\t\1/; s/:[a-z0-9_]+(,|\t|$)/\1/g' | sort -u || true
}

# owner_of PATH TABLE: the packages owning PATH in a table made by owners,
# one a line; those of the file a link leads to only when no package owns
# the link itself (as with alternatives).
owner_of() {
    local q found
    for q in "$1" "$(readlink -f "$1")"; do
        found=$(awk -F'\t' -v a="$q" -v b="${q#/usr}" -v c="/usr$q" '$1 == a || $1 == b || $1 == c { print $2 }' "$2" |
            tr ',' '\n' | tr -d ' ' | sort -u)
        [ -n "$found" ] && { echo "$found"; return; }
    done
    return 0
}

# closure PACKAGE...: the packages these bring in through Depends and
# Pre-Depends (every alternative, every provider of a virtual package such
# as python3:any), and those every Debian has (required or essential), one a
# line.
closure() {
    {
        apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
            --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null | grep -v '^[[:space:]<]'
        dpkg-query -W -f='${Package} ${Priority} ${Essential}\n' | awk '$2 == "required" || $3 == "yes" { print $1 }'
    } | sed 's/:.*//' | sort -u
}

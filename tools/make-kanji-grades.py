#!/usr/bin/env python3
# Makes src/recognition/kanjigrades.cpp from Debian's kanjidic: the kanji of
# each school year (KANJIDIC grades 1 to 6) and the other jōyō kanji
# (grade 8), so that the program knows them without kanjidic installed.
#   tools/make-kanji-grades.py
import os
import re
import subprocess

KANJIDIC = "/usr/share/edict/kanjidic"
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../src/recognition/kanjigrades.cpp")


def main():
    if not os.path.exists(KANJIDIC):
        sudo = [] if os.geteuid() == 0 else ["sudo", "-n"]
        subprocess.run(sudo + ["apt-get", "install", "-y", "-q", "kanjidic"], check=True,
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), stdout=subprocess.DEVNULL)
    with open(KANJIDIC, "rb") as fh:
        text = fh.read().decode("euc_jp", errors="replace")
    years = {}
    for line in text.splitlines()[1:]:
        m = re.search(r" G(\d+) ", line)
        if m and int(m.group(1)) <= 8:
            years[line.split(" ", 1)[0]] = min(int(m.group(1)), 7)
    rows = []
    for ch in sorted(years, key=ord):
        rows.append("    {0x%04X, %d}," % (ord(ch), years[ch]))
    with open(OUT, "w", encoding="utf-8") as out:
        out.write("// SPDX-License-Identifier: GPL-3.0-or-later\n"
                  "// Made by tools/make-kanji-grades.py from KANJIDIC (EDRDG, CC BY-SA 4.0): do not edit.\n"
                  "#include \"recognition/kanjigrades.h\"\n\n"
                  "#include <QList>\n\n#include <algorithm>\n#include <iterator>\n\n"
                  "namespace {\n\n"
                  "struct Entry\n{\n    char32_t code;\n    int year;\n};\n\n"
                  "// Sorted by code. %d kanji.\n"
                  "const Entry Years[] = {\n%s\n};\n\n"
                  "} // namespace\n\n"
                  "int kanjiSchoolYear(const QString &text)\n{\n"
                  "    const QList<uint> ucs = text.toUcs4();\n"
                  "    if (ucs.size() != 1)\n        return 0;\n"
                  "    const char32_t c = ucs.first();\n"
                  "    const auto at = std::lower_bound(std::begin(Years), std::end(Years), c,\n"
                  "                                     [](const Entry &e, char32_t v) { return e.code < v; });\n"
                  "    return at != std::end(Years) && at->code == c ? at->year : 0;\n}\n"
                  % (len(rows), "\n".join(rows)))
    print("%s: %d kanji" % (os.path.normpath(OUT), len(rows)))


if __name__ == "__main__":
    main()

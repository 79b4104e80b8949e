# SPDX-License-Identifier: GPL-3.0-or-later
# What the model is trained to read: every jōyō kanji (KANJIDIC grades 1 to
# 8) and every character of the bundled word lists, with their KanjiVG
# strokes as Debian's python3-kanjidraw ships them; with the name kanji
# (grades 9 and 10, jinmeiyō) too for the longhand recipe, since names and
# many teachers' lists use them.
import glob
import json
import os
import re

STROKES = "/usr/lib/python3/dist-packages/kanjidraw/data.json"
KANJIDIC = "/usr/share/edict/kanjidic"
ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))


def grades():
    """Character -> KANJIDIC grade (1-6 school years, 8 other jōyō, 9-10 name kanji)."""
    with open(KANJIDIC, "rb") as fh:
        text = fh.read().decode("euc_jp", errors="replace")
    out = {}
    for line in text.splitlines()[1:]:
        m = re.search(r" G(\d+) ", line)
        if m:
            out[line.split(" ", 1)[0]] = int(m.group(1))
    return out


def word_list_characters():
    chars = set()
    for path in glob.glob(os.path.join(ROOT, "data/words/*.txt")):
        try:
            with open(path, encoding="utf-8-sig") as fh:
                text = fh.read()
        except UnicodeDecodeError:
            continue  # the Shift_JIS copy of a list holds nothing new
        for line in text.splitlines():
            word = line.strip()
            if len(word) == 2:
                chars.update(word)
    return chars


def strokes():
    with open(STROKES, encoding="utf-8") as fh:
        raw = json.load(fh)
    out = {}
    for group in raw.values():
        for ch, chords in group.items():
            out.setdefault(ch, chords)
    return out


def classes(names=False):
    """The sorted class list and the strokes of each class; `names` adds the
    name kanji."""
    data = strokes()
    top = 10 if names else 8
    wanted = {c for c, g in grades().items() if g <= top} | word_list_characters()
    missing = sorted(c for c in wanted if c not in data)
    if missing:
        raise SystemExit("no KanjiVG strokes for " + "".join(missing))
    names = sorted(wanted)
    return names, [data[c] for c in names]


if __name__ == "__main__":
    import sys
    names, _ = classes("--names" in sys.argv)
    print(len(names), "classes")

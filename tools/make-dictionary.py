#!/usr/bin/env python3
# Makes data/dictionary/words-ja.tsv, the readings and meanings the game's
# review shows: every two-kanji word that EDICT marks common ("(P)"), which
# covers the bundled word lists and every word the list builder may choose.
# For each word: its common readings in kana and the first sense of its
# first common entry in English, cut short. Lines go from the most to the
# least common word by IPAdic's word cost (the lowest cost of the word's
# entries other than proper names: a cost learnt from a corpus, lower for a
# more frequent word);
# words IPAdic lacks go last, by KANJIDIC's newspaper frequency of their
# rarer kanji.
#   tools/make-dictionary.py [OUTPUT_FILE]     (default: data/dictionary/words-ja.tsv)
import glob
import os
import re
import subprocess
import sys

EDICT = "/usr/share/edict/edict"
KANJIDIC = "/usr/share/edict/kanjidic"
IPADIC = "/usr/share/mecab/dic/ipadic"
PACKAGES = ("edict", "kanjidic", "mecab-ipadic")

MAX_READINGS = 3
MAX_MEANING = 60  # characters
# Meanings chosen by hand where EDICT's first sense also lists a term of
# technical documents that would only puzzle a child in the review.
MEANINGS = {
    "指定": "designation; assignment; appointment",
    "明示": "elucidation; explicit statement",
    "明記": "clear writing",
}


def ensure_packages():
    missing = [p for p in PACKAGES
               if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
                                 text=True).stdout.find("install ok installed") < 0]
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo", "-n"]
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(sudo + ["apt-get", "install", "-y", "-q"] + missing, check=True, env=env,
                       stdout=subprocess.DEVNULL)


def is_kanji(c):
    return 0x4E00 <= ord(c) <= 0x9FFF


def is_kana(text):
    return text != "" and all(0x3041 <= ord(c) <= 0x30FF for c in text)


TAG = re.compile(r"^\s*(\([^)]*\)|\{[^}]*\})\s*")


def glosses_of_first_sense(fields):
    """The glosses of the first sense; fields are an entry's /-separated parts."""
    out = []
    for i, field in enumerate(fields):
        if field == "(P)" or field.startswith("EntL"):
            break
        text = field
        new_sense = False
        while True:
            m = TAG.match(text)
            if not m:
                break
            if re.fullmatch(r"\((\d+)\)", m.group(1)) and m.group(1) != "(1)":
                new_sense = True
            text = text[m.end():]
        if new_sense and out:
            break
        text = re.sub(r"\s*\([^)]*\)\s*$", "", text).strip()
        if text:
            out.append(text)
    return out


def short_meaning(glosses):
    meaning = ""
    for g in glosses:
        candidate = g if not meaning else meaning + "; " + g
        if len(candidate) > MAX_MEANING:
            break
        meaning = candidate
    if not meaning and glosses:
        meaning = glosses[0][:MAX_MEANING - 1].rstrip() + "…"
    return meaning.replace("\t", " ")


def common_words():
    """{word: (readings, meaning)} for every two-kanji head with a common entry."""
    readings, meanings = {}, {}
    with open(EDICT, encoding="euc_jp", errors="replace") as f:
        for line in f:
            if "/(P)/" not in line:
                continue
            m = re.match(r"^(\S+) \[([^\]]+)\] /(.*)/\s*$", line)
            if not m:
                continue
            head, reading, body = m.groups()
            if len(head) != 2 or not all(is_kanji(c) for c in head) or not is_kana(reading):
                continue
            readings.setdefault(head, [])
            if reading not in readings[head]:
                readings[head].append(reading)
            if head not in meanings:
                meanings[head] = short_meaning(glosses_of_first_sense(body.split("/")))
    return {w: (readings[w][:MAX_READINGS], MEANINGS.get(w, meanings.get(w, ""))) for w in readings}


def ipadic_costs():
    costs = {}
    for path in glob.glob(os.path.join(IPADIC, "*.csv")):
        with open(path, encoding="euc_jp", errors="replace") as f:
            for line in f:
                fields = line.split(",")
                # Names of people and places say little of how common the word is.
                if len(fields) > 5 and len(fields[0]) == 2 and fields[5] != "固有名詞":
                    try:
                        cost = int(fields[3])
                    except ValueError:
                        continue
                    costs[fields[0]] = min(cost, costs.get(fields[0], cost))
    return costs


def kanji_frequencies():
    out = {}
    with open(KANJIDIC, encoding="euc_jp", errors="replace") as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.split()
            for field in fields[1:]:
                if field.startswith("F") and field[1:].isdigit():
                    out[fields[0]] = int(field[1:])
    return out


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "data", "dictionary", "words-ja.tsv")
    ensure_packages()
    words = common_words()
    costs, freq = ipadic_costs(), kanji_frequencies()
    unranked = 1 << 30

    def commonness(word):
        rarer_kanji = max(freq.get(c, 9999) for c in word)
        return (costs.get(word, unranked), rarer_kanji, word)

    ordered = sorted(words, key=commonness)
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    with open(out_path, "w", encoding="utf-8", newline="\n") as f:
        f.write("# Readings and meanings of the common two-kanji words, the most common first.\n"
                "# Made by tools/make-dictionary.py: do not edit. From EDICT, the property of the\n"
                "# Electronic Dictionary Research and Development Group, used under the Group's\n"
                "# licence (Creative Commons Attribution-ShareAlike 3.0). Order by the word costs of\n"
                "# IPAdic (Nara Institute of Science and Technology, BSD-style licence) and\n"
                "# KANJIDIC's kanji frequencies.\n"
                "# word TAB readings (kana, comma between) TAB meaning\n")
        for w in ordered:
            r, meaning = words[w]
            f.write(f"{w}\t{','.join(r)}\t{meaning}\n")
    in_ipadic = sum(1 for w in words if w in costs)
    print(f"{os.path.normpath(out_path)}: {len(ordered)} words ({in_ipadic} ranked by IPAdic), "
          f"{os.path.getsize(out_path)} bytes")


if __name__ == "__main__":
    main()

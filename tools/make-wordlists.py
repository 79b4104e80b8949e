#!/usr/bin/env python3
# Makes the bundled word lists from Debian's edict and kanjidic packages:
# common two-kanji compounds (EDICT entries marked "(P)"), one list per
# school stage by the highest school grade of their two kanji (KANJIDIC),
# keeping only words whose kanji the handwriting model can recognise.
# Writes UTF-8 lists, plus one Shift_JIS copy so that encoding keeps working.
#   tools/make-wordlists.py [OUTPUT_FOLDER]      (default: data/words)
import ctypes
import os
import subprocess
import sys

EDICT = "/usr/share/edict/edict"
KANJIDIC = "/usr/share/edict/kanjidic"
MODEL = "/usr/share/tegaki/models/zinnia/handwriting-ja.model"

STAGES = [  # file name, grades allowed, grades of which one must occur
    ("小学1-2年.txt", {1, 2}, {1, 2}),
    ("小学3-4年.txt", {1, 2, 3, 4}, {3, 4}),
    ("小学5-6年.txt", {1, 2, 3, 4, 5, 6}, {5, 6}),
    ("中学以上.txt", {1, 2, 3, 4, 5, 6, 8}, {8}),
]
SJIS_COPY = ("小学1-2年(Shift_JIS).txt", "小学1-2年.txt")


def ensure_packages():
    missing = [p for p in ("edict", "kanjidic", "libzinnia0", "tegaki-zinnia-japanese")
               if subprocess.run(["dpkg-query", "-W", "-f=${Status}", p], capture_output=True,
                                 text=True).stdout.find("install ok installed") < 0]
    if missing:
        sudo = [] if os.geteuid() == 0 else ["sudo", "-n"]
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(sudo + ["apt-get", "install", "-y", "-q"] + missing, check=True, env=env,
                       stdout=subprocess.DEVNULL)


def model_classes():
    lib = ctypes.CDLL("libzinnia.so.0")
    lib.zinnia_recognizer_new.restype = ctypes.c_void_p
    lib.zinnia_recognizer_open.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    lib.zinnia_recognizer_size.argtypes = [ctypes.c_void_p]
    lib.zinnia_recognizer_size.restype = ctypes.c_size_t
    lib.zinnia_recognizer_value.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    lib.zinnia_recognizer_value.restype = ctypes.c_char_p
    recognizer = lib.zinnia_recognizer_new()
    if not lib.zinnia_recognizer_open(recognizer, MODEL.encode()):
        sys.exit("cannot open the handwriting model " + MODEL)
    return {lib.zinnia_recognizer_value(recognizer, i).decode("utf-8")
            for i in range(lib.zinnia_recognizer_size(recognizer))}


def grades():
    out = {}
    with open(KANJIDIC, encoding="euc_jp", errors="replace") as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.split()
            for field in fields[1:]:
                if field.startswith("G") and field[1:].isdigit():
                    out[fields[0]] = int(field[1:])
    return out


def is_kanji(c):
    return 0x4E00 <= ord(c) <= 0x9FFF


def common_compounds():
    seen, words = set(), []
    with open(EDICT, encoding="euc_jp", errors="replace") as f:
        for line in f:
            if "/(P)/" not in line:
                continue
            head = line.split(" ", 1)[0]
            if len(head) == 2 and all(is_kanji(c) for c in head) and head not in seen:
                seen.add(head)
                words.append(head)
    return words


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "words")
    ensure_packages()
    known, grade = model_classes(), grades()
    words = common_compounds()
    for name, allowed, needed in STAGES:
        chosen = sorted(w for w in words
                        if all(c in known and grade.get(c) in allowed for c in w)
                        and any(grade.get(c) in needed for c in w))
        with open(os.path.join(out_dir, name), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(chosen) + "\n")
        print(f"{name}: {len(chosen)} words")
    target, source = SJIS_COPY
    with open(os.path.join(out_dir, source), encoding="utf-8") as f:
        text = f.read()
    with open(os.path.join(out_dir, target), "w", encoding="cp932", newline="\r\n") as f:
        f.write(text)
    print(f"{target}: Shift_JIS copy of {source}")


main()

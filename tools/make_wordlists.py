#!/usr/bin/env python3
"""Makes data/en_words.txt and data/ru_words.txt from the FrequencyWords 50k lists.

Keeps the lines whose word is a plain word of its language, with order and counts unchanged:
  English: one or more of the letters a-z, nothing else;
  Russian: letters а-я or ё, optionally one hyphen-minus with letters on both sides.

Usage: make_wordlists.py [SOURCE_DIR [OUT_DIR]]
  SOURCE_DIR holds en_50k.txt and ru_50k.txt (default: ../shared/wordlists beside the repo);
  OUT_DIR receives the two lists (default: data/ of the repo).
"""
import os
import re
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_SOURCE = os.path.join(os.path.dirname(REPO), "shared", "wordlists")
DEFAULT_OUT = os.path.join(REPO, "data")

EN_WORD = re.compile(r"[a-z]+")
RU_WORD = re.compile(r"[а-яё]+(?:-[а-яё]+)?")

LISTS = [
    ("en_50k.txt", "en_words.txt", EN_WORD),
    ("ru_50k.txt", "ru_words.txt", RU_WORD),
]


def filter_lines(data, pattern):
    out = []
    for line in data.split(b"\n"):
        if not line:
            continue
        text = line.decode("utf-8")
        word, sep, _count = text.partition(" ")
        if sep and pattern.fullmatch(word):
            out.append(line + b"\n")
    return b"".join(out)


def main(argv):
    source = argv[1] if len(argv) > 1 else DEFAULT_SOURCE
    out_dir = argv[2] if len(argv) > 2 else DEFAULT_OUT
    os.makedirs(out_dir, exist_ok=True)
    for src_name, out_name, pattern in LISTS:
        with open(os.path.join(source, src_name), "rb") as f:
            data = f.read()
        result = filter_lines(data, pattern)
        with open(os.path.join(out_dir, out_name), "wb") as f:
            f.write(result)
        lines = result.count(b"\n")
        print(f"{out_name}: {lines} lines, {len(result)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

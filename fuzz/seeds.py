#!/usr/bin/env python3
"""Writes the seed inputs of one fuzz target: the string literals of the test
programs that exercise its engine, and the sample files the tests read.
Usage: seeds.py OUTPUT_DIR TEST_SOURCE_OR_FOLDER..."""
import hashlib
import os
import re
import sys

RAW = re.compile(r'R"([^(\s]{0,16})\((.*?)\)\1"', re.S)
PLAIN = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
ESCAPES = {'n': '\n', 't': '\t', 'r': '\r', '"': '"', '\\': '\\', "'": "'", '0': '\0'}


def unescape(text):
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(0)), text)


def literals(source):
    found = [m.group(2) for m in RAW.finditer(source)]
    rest = RAW.sub('', source)
    # Adjacent literals ("a" "b") are one string.
    for line_group in re.split(r'[;,)]\s*\n', rest):
        pieces = [unescape(m.group(1)) for m in PLAIN.finditer(line_group)]
        if pieces:
            found.append(''.join(pieces))
    return [text for text in found if len(text) >= 2]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for source in sys.argv[2:]:
        paths = [source]
        if os.path.isdir(source):
            paths = [os.path.join(source, n) for n in sorted(os.listdir(source))]
        for path in paths:
            if not os.path.isfile(path):
                continue
            with open(path, encoding='utf-8', errors='replace') as f:
                text = f.read()
            seeds = literals(text) if path.endswith('.cpp') else [text]
            for seed in seeds:
                data = seed.encode('utf-8', errors='replace')
                name = hashlib.sha1(data).hexdigest()
                with open(os.path.join(out, name), 'wb') as f:
                    f.write(data)


main()

#!/usr/bin/env python3
"""Prints the document tree that an HTML5 parser builds from a file, with
whitespace runs in text and attribute values collapsed (except inside pre,
textarea, script and style, whose text is printed exactly), so two files can
be compared for the same document apart from layout whitespace."""
import re
import sys

import html5lib

RAW = {"pre", "textarea", "script", "style"}


def squeeze(text):
    return re.sub(r"\s+", " ", text or "").strip()


def text_line(depth, text, raw):
    value = text if raw else squeeze(text)
    return ("  " * depth + "text " + repr(value)) if value else None


def walk(node, depth, raw, out):
    tag = node.tag
    if not isinstance(tag, str):  # a comment
        out.append("  " * depth + "comment " + repr(node.text))
    else:
        attrs = " ".join(f"{k}={squeeze(v)!r}" for k, v in sorted(node.attrib.items()))
        out.append("  " * depth + "<" + tag + (" " + attrs if attrs else "") + ">")
        inner = raw or tag in RAW
        line = text_line(depth + 1, node.text, inner)
        if line:
            out.append(line)
        for child in node:
            walk(child, depth + 1, inner, out)
    line = text_line(depth, node.tail, raw)
    if line:
        out.append(line)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    root = html5lib.parse(text, treebuilder="etree", namespaceHTMLElements=False)
    out = []
    walk(root, 0, False, out)
    sys.stdout.write("\n".join(out) + "\n")


main()

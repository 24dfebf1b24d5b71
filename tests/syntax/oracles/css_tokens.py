#!/usr/bin/env python3
"""Prints the CSS token stream of a file, one token a line, without
whitespace tokens and without the optional ";" that ends a block, so two
files can be compared for equal content."""
import sys

import tinycss2


def walk(nodes, out):
    for node in nodes:
        kind = node.type
        if kind == "whitespace":
            continue
        if kind == "function":
            out.append("function " + node.lower_name + "(")
            walk(node.arguments, out)
            out.append(")")
        elif kind in ("() block", "[] block", "{} block"):
            out.append(kind[0])
            walk(node.content, out)
            # A declaration block's last ";" is optional; it may be added.
            if kind == "{} block" and out and out[-1] == "literal ';'":
                out.pop()
            out.append(kind[1])
        elif kind == "comment":
            out.append("comment " + repr(node.value))
        else:
            out.append(kind + " " + repr(node.serialize()))


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    out = []
    walk(tinycss2.parse_component_value_list(text, skip_comments=False), out)
    sys.stdout.write("\n".join(out) + "\n")


main()

#!/usr/bin/env python3
# Lists the functions of the given folders (default: the core) that are longer than a limit,
# longest first: "lines  path:line  signature". A function is a definition that starts at the
# left margin (the house style: namespaces are not indented) and ends at the next "}" there;
# member functions defined inside a class body are counted with the class's own braces, so a
# long one shows up as its class. Exit 1 when one is longer than the limit.
#
#   tools/long_functions.py [--limit N] [FOLDER...]
import os, re, sys

args = sys.argv[1:]
limit = 60
if args[:1] == ["--limit"]:
    limit, args = int(args[1]), args[2:]
folders = args or ["foundation", "cache", "importer", "records", "jobs"]
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
skip = re.compile(r"^(namespace|struct|class|enum|union|extern|#|//|template\s*<[^>]*>\s*(struct|class))")
found = []
for folder in folders:
    for base, _, files in os.walk(os.path.join(root, folder)):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(base, name)
            lines = open(path, encoding="utf-8").read().split("\n")
            start = None
            number = 0
            while number < len(lines):
                line = lines[number]
                number += 1
                if start is None:
                    if not line[:1].strip() or skip.match(line) or line.startswith("}"):
                        continue
                    # A signature of up to six lines that ends in "{" before any ";".
                    end = number - 1
                    while end < min(len(lines), number + 5) and \
                            not lines[end].rstrip().endswith(("{", ";")):
                        end += 1
                    if end < len(lines) and lines[end].rstrip().endswith("{") and \
                            not lines[end].rstrip().endswith("= {"):
                        start = (number, line.strip())
                        number = end + 1
                elif line.startswith("}"):
                    length = number - start[0] + 1
                    if length > limit:
                        found.append((length, os.path.relpath(path, root), start[0], start[1]))
                    start = None
for length, path, number, signature in sorted(found, reverse=True):
    print(f"{length:5d}  {path}:{number}  {signature[:80]}")
sys.exit(1 if found else 0)

#!/usr/bin/env python3
# Checks the message catalogue (foundation/messages.inc) against the product's sources:
#   - every text is unique (one sentence, one id), and no id is declared twice;
#   - every id but "none" is used somewhere as Msg::id;
#   - a text that a Status carries takes only %s arguments (status_text fills nothing else);
#     other formats use only the conversions the formatter is called with;
#   - no string literal of the product code outside the catalogue holds a letter beyond ASCII:
#     German sentences have umlauts and "ß" more often than not, so a sentence written into
#     the code instead of the catalogue is caught in most cases.
# Exit 1 with one line per finding.
#
#   catalogue_check.py REPOSITORY_ROOT
import os, re, sys

root = sys.argv[1]
product = ["foundation", "cache", "importer", "records", "jobs", "ui", "cli"]
catalogue = os.path.join(root, "foundation", "messages.inc")
entry = re.compile(r'^KV_MESSAGE\((\w+),\s*"((?:[^"\\]|\\.)*)"\)', re.M)
entries = entry.findall(open(catalogue, encoding="utf-8").read())
findings = []

ids, texts = {}, {}
for name, text in entries:
    if name in ids:
        findings.append(f"id {name} declared twice")
    ids[name] = text
    if text in texts and name != "none":
        findings.append(f"text of {name} repeats {texts[text]}: \"{text}\"")
    texts.setdefault(text, name)

sources = {}
for folder in product:
    for base, _, files in os.walk(os.path.join(root, folder)):
        for file in files:
            if file.endswith((".cpp", ".h")):
                path = os.path.join(base, file)
                sources[os.path.relpath(path, root)] = open(path, encoding="utf-8").read()

used = set()
status_ids = set()
format_ids = set()
for path, code in sources.items():
    used.update(re.findall(r"\bMsg::(\w+)", code))
    # Ids given to status_fail: the message of a Status.
    status_ids.update(re.findall(r"status_fail\([^;]*?Msg::(\w+)", code, re.S))
    # Ids whose text is a printf format: named inside a call of a formatter.
    format_ids.update(re.findall(r"(?:msg_format|format_text)\([^;]*?msg_text\(Msg::(\w+)\)", code, re.S))
for name in sorted(format_ids & set(ids)):
    for conversion in re.findall(r"%[-+ #0]*\d*(?:\.\d+)?(?:ll|l|z)?[a-zA-Z%]", ids[name]):
        if conversion not in ("%s", "%u", "%llu", "%016llx", "%d", "%%"):
            findings.append(f"{name}: unexpected conversion {conversion}")
for name in ids:
    if name != "none" and name not in used:
        findings.append(f"id {name} is never used")
for name in sorted(used - set(ids)):
    findings.append(f"Msg::{name} is used but not in the catalogue")
for name in sorted(status_ids & set(ids)):
    if re.search(r"%(?!s|%)", ids[name]):
        findings.append(f"{name} is a status message but takes more than %s arguments")

def code_part(line):
    # The line without a trailing // comment (a "//" inside a string literal is kept).
    quoted = False
    for i, c in enumerate(line):
        if c == '"' and (i == 0 or line[i - 1] != "\\"):
            quoted = not quoted
        elif not quoted and line.startswith("//", i):
            return line[:i]
    return line

literal = re.compile(r'(?:u8|u|L)?"((?:[^"\\\n]|\\.)*)"')
for path, code in sorted(sources.items()):
    for number, line in enumerate(code.split("\n"), 1):
        for value in literal.findall(code_part(line)):
            if any(ord(c) > 127 for c in value):
                findings.append(f"{path}:{number}: text outside the catalogue: \"{value[:60]}\"")

for finding in findings:
    print(finding)
print(f"{len(ids)} texts, {len(findings)} findings")
sys.exit(1 if findings else 0)

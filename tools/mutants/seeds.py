#!/usr/bin/env python3
# Helper of run.sh (see README.md for the format of seeds.txt):
#   seeds.py SEEDS list [ID...]    id, path and note of the chosen seeds (tab-separated), after
#                                  checking the file's format; exit 1 for an unknown id
#   seeds.py SEEDS show [ID...]    the same in aligned columns
#   seeds.py SEEDS apply ID TREE   replaces the seed's original text in TREE; exit 3, saying
#                                  why, when it does not occur exactly once
#   seeds.py SEEDS stale TREE      the seeds whose original text does not occur exactly once in
#                                  TREE (nothing is built); exit 1 when there is one
#   seeds.py sync ROOT COPY        makes COPY hold the files of ROOT (without build/, .git and
#                                  fuzz-out/), rewriting only the files whose contents differ
import filecmp, os, shutil, sys

SKIP = {"build", ".git", "fuzz-out"}
if sys.argv[1] == "sync":
    root, copy = sys.argv[2:]
    wanted = set()
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if folder != root or d not in SKIP]
        for name in files if folder != root else set(files) - SKIP:
            path = os.path.relpath(os.path.join(folder, name), root)
            source, target = os.path.join(root, path), os.path.join(copy, path)
            wanted.add(path)
            if not os.path.isfile(target) or not filecmp.cmp(source, target, shallow=False):
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copy(source, target)  # contents and mode, with a fresh time stamp
    for folder, _, files in os.walk(copy):
        for path in (os.path.join(folder, name) for name in files):
            if os.path.relpath(path, copy) not in wanted:
                os.remove(path)
    sys.exit(0)

seeds = {}
with open(sys.argv[1], encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        fields = [x.strip() for x in line.split("|||")]
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if len(fields) not in (4, 5) or not all(fields[:3]) or fields[0] in seeds:
            sys.exit(f"{sys.argv[1]}:{number}: expected 'id ||| path ||| original ||| "
                     f"replacement ||| note' with an id of its own")
        seeds[fields[0]] = fields + [""] * (5 - len(fields))
command, args = sys.argv[2], sys.argv[3:]
if command in ("list", "show"):
    for seed in [seeds.get(a) or sys.exit("unknown seed id: " + a) for a in args] or seeds.values():
        print(("{0}\t{1}\t{4}" if command == "list" else "{0:<26} {1:<30} {4}").format(*seed))
elif command == "stale":
    stale = 0
    for seed_id, path, original, _, _ in seeds.values():
        target = os.path.join(args[0], path)
        text = open(target, encoding="utf-8").read() if os.path.isfile(target) else ""
        if text.count(original) != 1:
            print(f"{seed_id}\t{path}\toriginal text occurs {text.count(original)} times")
            stale += 1
    sys.exit(1 if stale else 0)
else:
    _, path, original, replacement, _ = seeds[args[0]]
    target = os.path.join(args[1], path)
    text = open(target, encoding="utf-8", newline="").read() if os.path.isfile(target) else None
    count = -1 if text is None else text.count(original)
    if count != 1:
        print(f"original text occurs {count} times" if count >= 0 else "missing file")
        sys.exit(3)
    with open(target, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(original, replacement))

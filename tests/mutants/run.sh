#!/usr/bin/env bash
# Seeded-fault check of the native test suite: applies each fault of tests/mutants/seeds.txt
# in turn to a copy of the source tree, builds the native test programs and runs the native
# CTest suite (without the MariaDB round trip; importer_schema_dump is included). A seed is
# "caught" when the build or any test fails, "missed" when everything passes (shown as a "known
# gap" when its note says so), and "stale" when its original text no longer occurs exactly once
# in its file.
#
#   tests/mutants/run.sh            every seed
#   tests/mutants/run.sh ID...      only these seeds
#   tests/mutants/run.sh --list     the seeds' ids, files and notes; nothing is built
#
# The real tree is never written: the copy lives in build/mutants/src (synchronised at every
# start, so an interrupted run leaves nothing behind that the next one keeps) and is built in
# build/mutants/build, so only the changed file is recompiled per seed. Logs of every seed go
# to build/mutants/logs; KV_MUTANTS_JOBS sets the build and test parallelism (default 2),
# KV_MUTANTS_LABELS limits the suite to the test programs whose labels match.
# Exit status: 0 when every seed was caught, 1 otherwise, 2 when the
# suite already fails without any seed.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
seeds="$here/seeds.txt"
work="$root/build/mutants"
src="$work/src"
bin="$work/build"
logs="$work/logs"
jobs="${KV_MUTANTS_JOBS:-2}"
# KV_MUTANTS_LABELS: a CTest label regex that limits the suite to some test programs (each
# program's tests carry its name as a label, e.g. "importer_tests|fault_tests").
filter=(-E mariadb)
[ -z "${KV_MUTANTS_LABELS:-}" ] || filter+=(-L "$KV_MUTANTS_LABELS")

# Seed file helper: "list [ID...]" prints id, path and note of the chosen seeds (tab-separated)
# after checking the file's format; "apply ID TREE" replaces the seed's original text in TREE
# (exit 3 with the number of occurrences when it does not occur exactly once); "sync ROOT COPY"
# makes COPY hold the files of ROOT (without build/, .git and fuzz-out/).
seed_tool() {
  python3 - "$seeds" "$@" <<'PY'
import sys

def load(path):
    seeds, seen = [], set()
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = [x.strip() for x in line.split("|||")]
            if len(fields) not in (4, 5) or not fields[0] or not fields[1] or not fields[2]:
                sys.exit(f"{path}:{number}: expected 'id ||| path ||| original ||| replacement"
                         f" ||| note'")
            if fields[0] in seen:
                sys.exit(f"{path}:{number}: duplicate id {fields[0]}")
            seen.add(fields[0])
            seeds.append(fields + [""] * (5 - len(fields)))
    return seeds

command, args = sys.argv[2], sys.argv[3:]
if command == "sync":
    import os, shutil
    root, copy = args
    skip = {"build", ".git", "fuzz-out"}
    wanted = set()
    for folder, dirs, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        if relative == ".":
            dirs[:] = [d for d in dirs if d not in skip]
            files = [f for f in files if f not in skip]
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            wanted.add(path)
            source, target = os.path.join(root, path), os.path.join(copy, path)
            with open(source, "rb") as f:
                data = f.read()
            try:
                with open(target, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(data)
                shutil.copymode(source, target)
    for folder, dirs, files in os.walk(copy):
        for name in files:
            path = os.path.normpath(os.path.join(os.path.relpath(folder, copy), name))
            if path not in wanted:
                os.remove(os.path.join(copy, path))
    sys.exit(0)
seeds = load(sys.argv[1])
by_id = {s[0]: s for s in seeds}
if command == "list":
    unknown = [a for a in args if a not in by_id]
    if unknown:
        sys.exit("unknown seed id: " + ", ".join(unknown))
    for s in ([by_id[a] for a in args] if args else seeds):
        print(f"{s[0]}\t{s[1]}\t{s[4]}")
elif command == "apply":
    seed_id, tree = args
    _, path, original, replacement, _ = by_id[seed_id]
    target = f"{tree}/{path}"
    try:
        with open(target, encoding="utf-8", newline="") as f:
            text = f.read()
    except OSError:
        print("missing file")
        sys.exit(3)
    count = text.count(original)
    if count != 1:
        print(f"original text occurs {count} times")
        sys.exit(3)
    with open(target, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(original, replacement))
PY
}

if [ "${1:-}" = "--list" ]; then
  shift
  seed_tool list "$@" | while IFS=$'\t' read -r id path note; do
    printf '%-26s %-30s %s\n' "$id" "$path" "$note"
  done
  exit 0
fi

selected=$(seed_tool list "$@")

# The copy: only files whose contents differ are rewritten, with a fresh time stamp, so ninja
# rebuilds exactly what differs from the last build (a file left mutated by an interrupted run
# included); files gone from the tree are removed from it.
mkdir -p "$src" "$logs"
seed_tool sync "$root" "$src"

mutated=""
restore() {
  if [ -n "$mutated" ] && [ -f "$root/$mutated" ]; then
    cp "$root/$mutated" "$src/$mutated"
    mutated=""
  fi
}
trap restore EXIT
trap 'exit 130' INT TERM

# build_and_test LOG: builds the copy and runs the suite; sets result to "pass", "build" or
# the names of the failed tests.
build_and_test() {
  local log=$1
  result=pass
  if ! cmake --build "$bin" -j "$jobs" >"$log" 2>&1 </dev/null; then
    result=build
    return
  fi
  if ! ctest --test-dir "$bin" "${filter[@]}" -j "$jobs" --timeout 120 >>"$log" 2>&1 </dev/null; then
    result=$(sed -n '/The following tests FAILED:/,$p' "$log" |
             sed -n 's/^[[:space:]]*[0-9]\{1,\} - \(.*\) (\(.*\))$/\1/p' | tr '\n' ' ')
    result=${result% }
    [ -n "$result" ] || result="ctest failed"
  fi
}

if [ ! -f "$bin/build.ninja" ]; then
  echo "== Configuring build/mutants/build"
  cmake -S "$src" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$logs/configure.log" 2>&1 || {
    cat "$logs/configure.log" >&2
    exit 2
  }
fi

start=$(date +%s)
echo "== Baseline: the suite without any seed"
build_and_test "$logs/baseline.log"
if [ "$result" != pass ]; then
  # One retry of what failed, against a test that only failed from the load of the machine.
  if [ "$result" = build ] || ! ctest --test-dir "$bin" "${filter[@]}" --rerun-failed \
      --timeout 120 >>"$logs/baseline.log" 2>&1; then
    echo "The suite fails without any seed ($result); see $logs/baseline.log" >&2
    exit 2
  fi
fi
tests=$(ctest --test-dir "$bin" "${filter[@]}" -N | sed -n 's/^Total Tests: //p')
echo "   passes: $tests tests, $(($(date +%s) - start)) s"

caught=0
missed=0
stale=0
missed_ids=()
while IFS=$'\t' read -r -u 3 id path note; do
  [ -n "$id" ] || continue
  seed_start=$(date +%s)
  log="$logs/$id.log"
  mutated=$path  # restored from the real tree whatever happens next
  if ! why=$(seed_tool apply "$id" "$src"); then
    restore
    printf '%-26s %-30s %-7s %s\n' "$id" "$path" stale "$why"
    stale=$((stale + 1))
    missed_ids+=("$id")
    continue
  fi
  build_and_test "$log"
  restore
  seconds=$(($(date +%s) - seed_start))
  case "$result" in
    pass)
      gap=""
      [[ "$note" != "known gap:"* ]] || gap="known gap "
      printf '%-26s %-30s %-7s %s(%d s)\n' "$id" "$path" missed "$gap" "$seconds"
      missed=$((missed + 1))
      missed_ids+=("$id")
      ;;
    build)
      printf '%-26s %-30s %-7s by the build (%d s)\n' "$id" "$path" caught "$seconds"
      caught=$((caught + 1))
      ;;
    *)
      read -r -a failed <<<"$result"
      shown="${failed[*]:0:3}"
      [ "${#failed[@]}" -le 3 ] || shown="$shown (+$((${#failed[@]} - 3)) more)"
      printf '%-26s %-30s %-7s by %s (%d s)\n' "$id" "$path" caught "$shown" "$seconds"
      caught=$((caught + 1))
      ;;
  esac
done 3<<<"$selected"

echo "$caught caught, $missed missed, $stale stale"
echo "   ($(($(date +%s) - start)) s in all)"
if [ ${#missed_ids[@]} -ne 0 ]; then
  echo "Not caught: ${missed_ids[*]}"
  exit 1
fi
exit 0

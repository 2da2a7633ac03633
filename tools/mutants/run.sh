#!/usr/bin/env bash
# Seeded-fault check of the native test suite: applies each fault of tools/mutants/seeds.txt
# in turn to a copy of the source tree, builds the native test programs and runs the native
# CTest suite (without the MariaDB round trip). A seed is
# "caught" when the build or any test fails, "missed" when everything passes (shown as a "known
# gap" when its note says so), and "stale" when its original text no longer occurs exactly once
# in its file.
#
#   tools/mutants/run.sh            every seed
#   tools/mutants/run.sh ID...      only these seeds
#   tools/mutants/run.sh --list     the seeds' ids, files and notes; nothing is built
#   tools/mutants/run.sh --stale    the seeds whose original text no longer occurs exactly once
#
# The real tree is never written: the copy lives in build/mutants/src (synchronised at every
# start, so an interrupted run leaves nothing behind that the next one keeps) and is built in
# build/mutants/build, so only the changed file is recompiled per seed. Logs of every seed go
# to build/mutants/logs; KV_MUTANTS_JOBS sets the build and test parallelism (default 2),
# KV_MUTANTS_LABELS limits the suite to the test programs whose labels match.
# Exit status: 0 when every seed was caught, 1 otherwise, 2 when the suite already fails
# without any seed. seeds.py reads seeds.txt, applies a seed and synchronises the copy.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
src="$root/build/mutants/src" bin="$root/build/mutants/build" logs="$root/build/mutants/logs"
jobs="${KV_MUTANTS_JOBS:-2}"
filter=(-E mariadb)
[ -z "${KV_MUTANTS_LABELS:-}" ] || filter+=(-L "$KV_MUTANTS_LABELS")
seeds() { python3 "$here/seeds.py" "$@"; }

[ "${1:-}" != --list ] || { shift; seeds "$here/seeds.txt" show "$@"; exit 0; }
[ "${1:-}" != --stale ] || exec python3 "$here/seeds.py" "$here/seeds.txt" stale "$here/../.."
selected=$(seeds "$here/seeds.txt" list "$@")

# Only files whose contents differ are rewritten, with a fresh time stamp, so ninja rebuilds
# exactly what differs from the last build (a file left mutated by an interrupted run included).
mkdir -p "$src" "$logs"
seeds sync "$root" "$src"
mutated=""
restore() { [ ! -f "$root/$mutated" ] || cp "$root/$mutated" "$src/$mutated"; mutated=""; }
trap restore EXIT
trap 'exit 130' INT TERM

# build_and_test LOG: sets result to "pass", "build" or the names of the failed tests.
build_and_test() {
  result=pass
  cmake --build "$bin" -j "$jobs" >"$1" 2>&1 </dev/null || { result=build; return; }
  ctest --test-dir "$bin" "${filter[@]}" -j "$jobs" --timeout 120 >>"$1" 2>&1 </dev/null && return
  result=$(sed -n '/The following tests FAILED:/,$s/^[[:space:]]*[0-9]\{1,\} - \(.*\) (.*)$/\1/p' \
           "$1" | tr '\n' ' ')
  result=${result% }
  result=${result:-ctest failed}
}

if [ ! -f "$bin/build.ninja" ]; then
  echo "== Configuring build/mutants/build"
  cmake -S "$src" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$logs/configure.log" 2>&1 ||
    { cat "$logs/configure.log" >&2; exit 2; }
fi

start=$(date +%s)
echo "== Baseline: the suite without any seed"
build_and_test "$logs/baseline.log"
# One retry of what failed, against a test that only failed from the load of the machine.
if [ "$result" != pass ] && { [ "$result" = build ] || ! ctest --test-dir "$bin" \
    "${filter[@]}" --rerun-failed --timeout 120 >>"$logs/baseline.log" 2>&1; }; then
  echo "The suite fails without any seed ($result); see $logs/baseline.log" >&2
  exit 2
fi
tests=$(ctest --test-dir "$bin" "${filter[@]}" -N | sed -n 's/^Total Tests: //p')
echo "   passes: $tests tests, $(($(date +%s) - start)) s"

declare -A count=([caught]=0 [missed]=0 [stale]=0)
not_caught=()
while IFS=$'\t' read -r -u 3 id path note; do
  [ -n "$id" ] || continue
  seed_start=$(date +%s)
  mutated=$path  # restored from the real tree whatever happens next
  if ! detail=$(seeds "$here/seeds.txt" apply "$id" "$src"); then
    verdict=stale
  else
    build_and_test "$logs/$id.log"
    read -r -a failed <<<"$result"
    case "$result" in
      pass) verdict=missed detail=""; [[ "$note" != "known gap:"* ]] || detail="known gap" ;;
      build) verdict=caught detail="by the build" ;;
      *) verdict=caught detail="by ${failed[*]:0:3}"
         [ "${#failed[@]}" -le 3 ] || detail+=" (+$((${#failed[@]} - 3)) more)" ;;
    esac
    detail+="${detail:+ }($(($(date +%s) - seed_start)) s)"
  fi
  restore
  printf '%-26s %-30s %-7s %s\n' "$id" "$path" "$verdict" "$detail"
  count[$verdict]=$((count[$verdict] + 1))
  [ "$verdict" = caught ] || not_caught+=("$id")
done 3<<<"$selected"

echo "${count[caught]} caught, ${count[missed]} missed, ${count[stale]} stale"
echo "   ($(($(date +%s) - start)) s in all)"
[ ${#not_caught[@]} -eq 0 ] || { echo "Not caught: ${not_caught[*]}"; exit 1; }

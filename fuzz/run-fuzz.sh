#!/usr/bin/env bash
# Builds the "fuzz" preset and runs libFuzzer targets, each for a given number of seconds.
#
#   fuzz/run-fuzz.sh SECONDS [TARGET...]     (default: every target, one after the other)
#
# Each target starts from its committed seeds in fuzz/corpus/<target> (the import target also
# from the test dumps in tests/data/importer) and grows a work corpus
# in build/fuzz-corpus/<target> (the committed seeds stay small). Findings (crash, leak,
# timeout, out-of-memory inputs) land in build/fuzz-findings/<target>. Prints executions,
# coverage, corpus size and findings per target; exits 1 when a target found something.
# KV_FUZZ_JOBS sets the build's parallelism (default 2).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The largest input each target is given: a whole dump (imports stay at milliseconds), the
# inside of one VALUES tuple, index file sizes + manifest, kind + cap + a value's text, a text
# for the quadratic lexical model.
declare -A max_len=([fuzz_import]=65536 [fuzz_value]=16384 [fuzz_manifest]=65536 [fuzz_text]=8192 [fuzz_lex]=1024)
all=(fuzz_import fuzz_value fuzz_manifest fuzz_text fuzz_lex)
[[ "${1:-}" =~ ^[0-9]+$ ]] ||
  { printf 'usage: fuzz/run-fuzz.sh SECONDS [TARGET...]\ntargets: %s\n' "${all[*]}" >&2; exit 2; }
seconds=$1 && shift
[ $# -gt 0 ] || set -- "${all[@]}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${KV_FUZZ_JOBS:-2}" >/dev/null

# last START NAME: the number after "NAME:" on the last log line that starts with START, or "?"
# (final stats lines start with "stat::", status lines with "#N" and end in final coverage).
last() {
  grep -aE "^$1" "$log" | grep -aoE "$2: *[0-9]+" | tail -1 | grep -oE "[0-9]+$" || echo "?"
}
status=0 summary=()
for target in "$@"; do
  findings="build/fuzz-findings/$target"
  [ -x "build/fuzz/bin/$target" ] || { echo "unknown fuzz target: $target" >&2; exit 2; }
  log="$findings.$$.log"  # one per run (runs of a target may overlap); kept when it found something
  mkdir -p "build/fuzz-corpus/$target" "$findings" && touch "$findings/.start"
  echo "== $target: ${seconds} s"
  extra=()  # the import target also starts from the hand-written test dumps
  [ ! -f "fuzz/$target.dict" ] || extra+=(-dict="fuzz/$target.dict")
  [ "$target" != fuzz_import ] || extra+=(tests/data/importer)
  rc=0
  "build/fuzz/bin/$target" "build/fuzz-corpus/$target" "fuzz/corpus/$target" "${extra[@]}" \
    -max_total_time="$seconds" -max_len="${max_len[$target]:-4096}" -rss_limit_mb=2048 \
    -timeout=10 -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || rc=$?
  found="0"
  if [ "$rc" != 0 ]; then
    status=1
    grep -aE '^(==[0-9]+==ERROR|SUMMARY|fuzz_[a-z]+:)' "$log" | head -5 || true
    grep -aE 'Test unit written to' "$log" || true
    found="$(find "$findings" -maxdepth 1 -type f -regex '.*/\(crash\|leak\|timeout\|oom\)-.*' \
             -newer "$findings/.start" | wc -l) (exit $rc, log $log)"
  fi
  line=$(printf '%-14s executions %-10s (%s/s)  cov %-6s ft %-7s corpus %-6s findings %s' \
         "$target" "$(last stat:: number_of_executed_units)" "$(last stat:: average_exec_per_sec)" \
         "$(last '#[0-9]+' cov)" "$(last '#[0-9]+' ft)" "$(last '#[0-9]+' corp)" "$found")
  echo "$line"
  [ "$rc" != 0 ] || rm -f "$log"
  summary+=("$line")
done

echo "== Fuzzing summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
exit "$status"

#!/usr/bin/env bash
# Builds the "fuzz" preset and runs libFuzzer targets, each for a given number of seconds.
#
#   fuzz/run-fuzz.sh SECONDS [TARGET...]     (default: every target, one after the other)
#
# Each target starts from its committed seeds in fuzz/corpus/<target> (the import target also
# from the test dumps in tests/data) and grows a work corpus
# in build/fuzz-corpus/<target> (the committed seeds stay small). Findings (crash, leak,
# timeout, out-of-memory inputs) land in build/fuzz-findings/<target>. Prints executions,
# coverage, corpus size and findings per target; exits 1 when a target found something.
# KV_FUZZ_JOBS sets the build's parallelism (default 2).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

ALL_TARGETS=(fuzz_import fuzz_value fuzz_manifest fuzz_text)

max_len() {  # the largest input each target is given
  case "$1" in
    fuzz_import) echo 65536 ;;    # a whole dump; imports stay at milliseconds
    fuzz_value) echo 16384 ;;     # the inside of one VALUES tuple
    fuzz_manifest) echo 65536 ;;  # index file sizes + manifest
    fuzz_text) echo 8192 ;;       # kind, cap and a value's text
    *) echo 4096 ;;
  esac
}

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run-fuzz.sh SECONDS [TARGET...]" >&2
  echo "targets: ${ALL_TARGETS[*]}" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${ALL_TARGETS[@]}")

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${KV_FUZZ_JOBS:-2}" >/dev/null

status=0
summary=()
for target in "${targets[@]}"; do
  binary="build/fuzz/bin/$target"
  if [ ! -x "$binary" ]; then
    echo "unknown fuzz target: $target" >&2
    exit 2
  fi
  work="build/fuzz-corpus/$target"
  findings="build/fuzz-findings/$target"
  # One log per run (two runs of a target may overlap); kept only when the run found something.
  log="build/fuzz-findings/$target.$$.log"
  mkdir -p "$work" "$findings"
  touch "$findings/.start"
  echo "== $target: ${seconds} s"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  # The import target also starts from the hand-written test dumps.
  seeds=("fuzz/corpus/$target")
  [ "$target" = fuzz_import ] && seeds+=(tests/data)
  rc=0
  "$binary" "$work" "${seeds[@]}" "${dict[@]}" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1 || rc=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  # The last status line carries the final coverage: "#N ... cov: C ft: F corp: U/S ..."
  cov=$(grep -aE '^#[0-9]+.*cov: ' "$log" | tail -1 | sed -E 's/.*cov: ([0-9]+).*/\1/')
  ft=$(grep -aE '^#[0-9]+.*ft: ' "$log" | tail -1 | sed -E 's/.*ft: ([0-9]+).*/\1/')
  corpus=$(grep -aE '^#[0-9]+.*corp: ' "$log" | tail -1 | sed -E 's/.*corp: ([0-9]+).*/\1/')
  found=$(find "$findings" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' \
          -o -name 'timeout-*' -o -name 'oom-*' \) -newer "$findings/.start" 2>/dev/null | wc -l || true)
  if [ "$rc" != 0 ]; then
    status=1
    grep -aE '^(==[0-9]+==ERROR|SUMMARY|fuzz_[a-z]+:)' "$log" | head -5 || true
    grep -aE 'Test unit written to' "$log" || true
  fi
  line=$(printf '%-14s executions %-10s (%s/s)  cov %-6s ft %-7s corpus %-6s findings %s' \
         "$target" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" \
         "$([ "$rc" = 0 ] && echo 0 || echo "${found:-1} (exit $rc, log $log)")")
  echo "$line"
  [ "$rc" = 0 ] && rm -f "$log"
  summary+=("$line")
done

echo "== Fuzzing summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
exit "$status"

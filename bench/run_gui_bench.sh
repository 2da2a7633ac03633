#!/usr/bin/env bash
# Timings of the desktop window under Wine on a virtual display: start to the first page of a
# cached generated dump (1 GB by default), a page change, and the tree of 65,536 objects.
# Usage: bench/run_gui_bench.sh [SIZE] [RUNS]   (native and windows builds must exist)
# The dumps are generated with kv_dump_generate into the temporary folder when missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
size=${1:-1G}
runs=${2:-5}
tmp=${TMPDIR:-/tmp}
dump=$tmp/kv-bench-$size.sql
objects=$tmp/kv-bench-objects-65536.sql
gen=$here/build/native/bin/kv_dump_generate
[ -f "$dump" ] || "$gen" "$dump" "$size" >/dev/null
[ -f "$objects" ] || "$gen" "$objects" --objects 65536 >/dev/null
cache=$(mktemp -d "$tmp/kv-gui-bench-XXXXXX")
trap 'rm -rf "$cache"; WINEPREFIX=$here/build/windows/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
cat "$dump" "$objects" >/dev/null  # warm page cache
winpath() { echo "Z:${1//\//\\}"; }
LOCALAPPDATA=$(winpath "$cache") WINEPREFIX=$here/build/windows/wineprefix WINEDEBUG=-all \
  xvfb-run -a /usr/lib/wine/wine64 "$here/build/windows/bin/kv_gui_bench.exe" \
  "$(winpath "$dump")" "$(winpath "$objects")" "$runs"

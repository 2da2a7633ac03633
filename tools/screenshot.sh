#!/usr/bin/env bash
# Screenshots of the desktop program as a person sees it: the real korvane-dump-browser.exe
# under Wine in a virtual desktop of 1,600 × 1,000 (so that the window gets its full
# 1,360 × 860 with Wine's frame), driven with real mouse clicks (xdotool), captured with xwd
# and turned into PNGs with ImageMagick.
#
# Wine 8 on Xvfb leaves every top-level window after the first black on the X screen (the
# text window, message boxes, even notepad's dialogs), although Wine itself holds their
# pixels. Pictures with a text window are therefore taken in-process by the GUI test program
# (ui_win32_tests: the window tests that pass through these states save them when
# KV_SCREENSHOT_DIR is set), which reads Wine's own screen.
#
# Writes build/screenshots/*.png:
#   01-empty.png   the empty main window (the program)
#   02-help.png    the help text window over it (in-process)
#   03-data.png    the demo dump opened from the command line: tree, grid, details (the program)
#   04-filter.png  a filter active on the demo (in-process)
#   05-details.png the record details of a hit (in-process)
#   06-busy.png    a long import running: progress bar, "Abbrechen", progress status (in-process)
#   07-details-wrapped.png  the details of a long value, wrapped, line feeds as breaks (in-process)
#   08-dpi144.png  the demo at 150 % (144 DPI) on a 1,920 × 1,080 desktop (the program)
#   09-notes.png   the import notes of the demo with the report on top (in-process)
#   10-search.png  a search over the whole demo from the tree's root: hits of every table (in-process)
# Usage: tools/screenshot.sh [BUILD_DIR]   (default build/windows; run ./kv screenshot)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build/windows}
out=$here/build/screenshots
exe=$build/bin/korvane-dump-browser.exe
[ -f "$exe" ] || { echo "missing $exe (build the windows preset first)" >&2; exit 1; }
mkdir -p "$out"

if [ -z "${KV_SCREENSHOT_INNER:-}" ]; then
  export KV_SCREENSHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1920x1200x24" "$0" "$build"
fi

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
cache=$here/build/screenshot-cache
rm -rf "$cache" && mkdir -p "$cache"
export LOCALAPPDATA="Z:${cache//\//\\}"
wine=/usr/lib/wine/wine64
cleanup() { "${wine%/*}/wineserver" -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# The main window is centred: 1,360 × 860 at (120, 70). Its client area starts below Wine's
# frame and caption; found in the first picture as the first white row and column.
WX=120 WY=70 WW=1360 WH=860 CX=0 CY=0
client_origin() {
  read -r CX CY < <(xwd -root -silent |
    convert xwd:- -crop "${WW}x${WH}+${WX}+${WY}" -depth 8 rgb:- | python3 -c '
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
px = sys.stdin.buffer.read()
white = lambda x, y: px[3 * (y * w + x): 3 * (y * w + x) + 3] == b"\xff\xff\xff"
caption = next(y for y in range(h) if px[3 * (y * w + w // 2) + 2] > px[3 * (y * w + w // 2)] + 60)
y = next(y for y in range(caption, h) if white(w // 2, y) and white(w // 2, y + 1))
x = max(x for x in range(1, 40) if white(x, y + 10) and not white(x - 1, y + 10))
print(x, y)' "$WW" "$WH")
  CX=$((WX + CX)) CY=$((WY + CY))
}
shot() {  # shot NAME SECONDS: the main window with its frame
  sleep "$2"
  xwd -root -silent | convert xwd:- -crop "${WW}x${WH}+${WX}+${WY}" +repage "$out/$1.png"
  echo "$out/$1.png"
}
# Clicks at a point of the client area, in logical units (96 DPI).
click() { xdotool mousemove $((CX + $1)) $((CY + $2)) click 1; }

"$wine" explorer /desktop=KorVane,1600x1000 "$exe" >/dev/null 2>&1 &
# Waits until the window stands with its caption and header (at most 30 s).
for _ in $(seq 1 60); do
  sleep 0.5
  client_origin 2>/dev/null || continue
  [ $((CX - WX)) -lt 12 ] && [ $((CY - WY)) -lt 40 ] && break
done
shot 01-empty 1
cleanup

# The demo dump given on the command line, as a user starts it.
"$wine" explorer /desktop=KorVane,1600x1000 "$exe" "Z:${build//\//\\}\\bin\\samples\\korvane-demo.sql" \
  >/dev/null 2>&1 &
sleep 8
shot 03-data 0
cleanup

# The demo at 150 %: a copy of the prefix with LogPixels 144 (made by cmake/wine-dpi-run),
# the whole 1,920 × 1,080 desktop, where the window starts fitted into the work area.
sh "$here/cmake/wine-dpi-run" 144 "$build/bin/korvane-dump.exe" --help >/dev/null 2>&1 || true
WINEPREFIX=$build/wineprefix-144 "$wine" explorer /desktop=KorVane144,1920x1080 "$exe" \
  "Z:${build//\//\\}\\bin\\samples\\korvane-demo.sql" >/dev/null 2>&1 &
sleep 10
xwd -root -silent | convert xwd:- -crop 1920x1080+0+0 +repage "$out/08-dpi144.png"
echo "$out/08-dpi144.png"
WINEPREFIX=$build/wineprefix-144 "${wine%/*}/wineserver" -k >/dev/null 2>&1 || true

# Pictures with a second top-level window, from the GUI test program.
KV_SCREENSHOT_DIR="Z:${out//\//\\}" "$wine" "$build/bin/ui_win32_tests.exe" \
  --gtest_filter='WorkTest.TextWindowActsModal:WorkTest.ReindexDetailsTabsAndCharset:WorkTest.CancelledOrRefused*:WorkTest.LongValueDetailsWrapped:WorkTest.SearchTheWholeDump*' \
  >/dev/null 2>&1 || true
for bmp in "$out"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  echo "${bmp%.bmp}.png"
done

#!/usr/bin/env bash
# Peak memory of quillet-cli reading a TIFF decompression bomb: a 2 MB Deflate
# file of 16384 x 16384 RGBA pixels of 16 bits in one strip (bench/tiffbomb),
# once alone and four copies with --jobs 4. A measurement, not a test: the
# figures are printed beside the picture's own size and the batch's budget.
#
#   bench/tiff_memory.sh [SIDE]     default 16384
#   BUILD=<build directory>         default: build/ beside this folder
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
SIDE=${1:-16384}
CLI=$BUILD/app/quillet-cli
BOMB=$BUILD/bench/tiffbomb
for f in "$CLI" "$BOMB"; do
  [ -x "$f" ] || { echo "missing $f: build the targets quillet-cli and tiffbomb" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time (Debian package time)" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BOMB" "$WORK/bomb1.tif" "$SIDE"
for i in 2 3 4; do cp "$WORK/bomb1.tif" "$WORK/bomb$i.tif"; done

peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
mb() { echo $(($1 / 1024)); }

picture=$((SIDE * SIDE * 3 / 1024))
budget=$(($(getconf _PHYS_PAGES) / 2 * $(getconf PAGE_SIZE) / 1024))
echo "file: $(($(stat -c %s "$WORK/bomb1.tif") / 1024)) KB, picture: $(mb $picture) MB, batch budget: $(mb $budget) MB"
load=$(peak "$CLI" --width 16 --height 16 "$WORK/bomb1.tif" "$WORK/small.bmp")
echo "reading (result of 16 x 16):   peak $(mb "$load") MB, $(mb $((load - picture))) MB beyond the picture"
one=$(peak "$CLI" "$WORK/bomb1.tif" "$WORK/half.bmp")
echo "defaults (50 %, sharpening):   peak $(mb "$one") MB, $(mb $((one - picture))) MB beyond the picture"
four=$(peak "$CLI" --jobs 4 --output-dir "$WORK" --format bmp "$WORK"/bomb[1-4].tif)
echo "--jobs 4 over four copies:     peak $(mb "$four") MB of the budget's $(mb $budget) MB"

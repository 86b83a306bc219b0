#!/usr/bin/env bash
# Speed and peak memory of quillet-cli against vips, vipsthumbnail,
# ImageMagick and djpeg on one large photo-like JPEG. A measurement, not a test: it prints medians,
# ratios and how they stand against the targets, and always exits 0 once the
# runs are done.
#
#   bench/compare.sh [ROUNDS]      at least 3 rounds (the default)
#   BUILD=<build directory>        default: build/ beside this folder
#
# Cases:
#   (a) 50 %, precise, no sharpening, true colour, to BMP; against
#       vips resize, ImageMagick with a box filter, and djpeg -bmp (the decode floor)
#   (b) 50 %, precise, no sharpening, optimized palette of 252 colours with
#       dithering, to PNG; against ImageMagick -colors 252 with Floyd-Steinberg
#   (c) the defaults (sharpening 50), to JPEG quality 80
#   (d) thumbnail of 600 x 400, (e) of 1500 x 1000: quillet-cli
#       --shrink-on-load, no sharpening, to JPEG quality 75; against
#       vipsthumbnail (libvips-tools), which also decodes at a reduced scale.
#       Then the PSNR of both sizes against quillet-cli's full decode.
set -euo pipefail

. "$(dirname "$0")/peersetup.sh"
BENCH_ROUNDS=${1:-3} bench_setup "imagemagick libvips-tools libjpeg-turbo-progs time" quillet-cli

# The source takes a while to make, so it is kept between runs.
WIDTH=6000
HEIGHT=4000
SRC=$BUILD/bench-data/plasma-${WIDTH}x${HEIGHT}.jpg
if [ ! -f "$SRC" ]; then
  echo "Making $SRC ..." >&2
  mkdir -p "$(dirname "$SRC")"
  convert -seed 1 -size ${WIDTH}x${HEIGHT} plasma:fractal -quality 90 "JPEG:$SRC.part"
  mv "$SRC.part" "$SRC"
fi
DECODED_BYTES=$((WIDTH * HEIGHT * 3))

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

a_quillet=("$CLI" --quiet --stretch-mode precise --sharpen 0 --palette truecolor "$SRC" "$WORK/a_quillet.bmp")
a_vips=(vips resize "$SRC" "$WORK/a_vips.bmp" 0.5)
a_magick=(convert "$SRC" -filter box -resize 50% "$WORK/a_magick.bmp")
a_djpeg=(djpeg -bmp -outfile "$WORK/a_djpeg.bmp" "$SRC")
b_quillet=("$CLI" --quiet --stretch-mode precise --sharpen 0 --palette optimized --bits 8 --optimized-size 252
  "$SRC" "$WORK/b_quillet.png")
b_magick=(convert "$SRC" -filter box -resize 50% -dither FloydSteinberg -colors 252 "$WORK/b_magick.png")
c_quillet=("$CLI" --quiet --jpeg-quality 80 "$SRC" "$WORK/c_quillet.jpg")
THUMB=(--quiet --shrink-on-load --sharpen 0 --jpeg-quality 75)
d_quillet=("$CLI" "${THUMB[@]}" --fit 600x400 "$SRC" "$WORK/d_quillet.jpg")
d_vips=(vipsthumbnail "$SRC" --size 600x400 -o "$WORK/d_vips.jpg[Q=75]")
e_quillet=("$CLI" "${THUMB[@]}" --fit 1500x1000 "$SRC" "$WORK/e_quillet.jpg")
e_vips=(vipsthumbnail "$SRC" --size 1500x1000 -o "$WORK/e_vips.jpg[Q=75]")
CASES=(a_quillet a_vips a_magick a_djpeg b_quillet b_magick c_quillet d_quillet d_vips e_quillet e_vips)

declare -A LABEL=(
  [a_quillet]="(a) quillet-cli" [a_vips]="(a) vips resize" [a_magick]="(a) ImageMagick"
  [a_djpeg]="(a) djpeg -bmp (floor)" [b_quillet]="(b) quillet-cli" [b_magick]="(b) ImageMagick"
  [c_quillet]="(c) quillet-cli" [d_quillet]="(d) quillet-cli" [d_vips]="(d) vipsthumbnail"
  [e_quillet]="(e) quillet-cli" [e_vips]="(e) vipsthumbnail"
)

# One run: wall time in microseconds and peak resident memory in KiB,
# appended to $WORK/<case>.runs.
run_case() {
  local name=$1
  local -n command=$1
  local start end
  start=$(date +%s%N)
  if ! /usr/bin/time -f '%M' -o "$WORK/$name.mem" "${command[@]}" >/dev/null 2>"$WORK/$name.err"; then
    echo "$name failed: ${command[*]}" >&2
    cat "$WORK/$name.err" >&2
    exit 1
  fi
  end=$(date +%s%N)
  echo "$(((end - start) / 1000)) $(tail -n 1 "$WORK/$name.mem")" >>"$WORK/$name.runs"
}

# Alternating: every round runs each case once, starting one case later than
# the round before, so that no case always follows the same one.
for ((round = 0; round < ROUNDS; ++round)); do
  echo "Round $((round + 1)) of $ROUNDS ..." >&2
  for ((i = 0; i < ${#CASES[@]}; ++i)); do
    run_case "${CASES[(i + round) % ${#CASES[@]}]}"
  done
done

# Median of column $2 of file $1.
median() { cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
declare -A SEC MIB
for name in "${CASES[@]}"; do
  SEC[$name]=$(awk -v us="$(median "$WORK/$name.runs" 1)" 'BEGIN { printf "%.3f", us / 1e6 }')
  MIB[$name]=$(awk -v kib="$(median "$WORK/$name.runs" 2)" 'BEGIN { printf "%.1f", kib / 1024 }')
done

echo
echo "Source: ${WIDTH}x${HEIGHT} JPEG, quality 90 ($(du -h "$SRC" | cut -f1)); $ROUNDS rounds; $(nproc) cores"
printf '%-26s %12s %10s %10s %14s\n' "case" "median s" "min s" "max s" "peak MiB (med)"
for name in "${CASES[@]}"; do
  read -r lo hi < <(cut -d' ' -f1 "$WORK/$name.runs" | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.3f %.3f\n", lo / 1e6, hi / 1e6 }')
  printf '%-26s %12s %10s %10s %14s\n' "${LABEL[$name]}" "${SEC[$name]}" "$lo" "$hi" "${MIB[$name]}"
done

# ratio NAME VALUE OPERATOR TARGET
verdict() { awk -v v="$2" -v t="$4" -v op="$3" 'BEGIN { ok = (op == "<=") ? v <= t : (op == "<") ? v < t : v >= t; printf "%-46s %6.2f   target %s %s   %s\n", ARGV[1], v, op, t, ok ? "met" : "MISSED" }' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }
echo
verdict "(a) quillet-cli / vips" "$(ratio "${SEC[a_quillet]}" "${SEC[a_vips]}")" "<=" 1
verdict "(a) quillet-cli / djpeg decode floor" "$(ratio "${SEC[a_quillet]}" "${SEC[a_djpeg]}")" "<=" 1.25
verdict "(b) ImageMagick / quillet-cli (speed-up)" "$(ratio "${SEC[b_magick]}" "${SEC[b_quillet]}")" ">=" 6
verdict "(a) quillet-cli peak / decoded source" \
  "$(awk -v m="${MIB[a_quillet]}" -v d="$DECODED_BYTES" 'BEGIN { printf "%.4f", m * 1048576 / d }')" "<" 1.6
for t in d e; do
  verdict "($t) quillet-cli / vipsthumbnail" "$(ratio "${SEC[${t}_quillet]}" "${SEC[${t}_vips]}")" "<=" 1
  verdict "($t) quillet-cli / vipsthumbnail peak" "$(ratio "${MIB[${t}_quillet]}" "${MIB[${t}_vips]}")" "<=" 1
done
# Losslessly stored, so that only the decode differs.
for box in 600x400 1500x1000; do
  "$CLI" --quiet --sharpen 0 --fit $box "$SRC" "$WORK/full.png"
  "$CLI" --quiet --sharpen 0 --fit $box --shrink-on-load "$SRC" "$WORK/reduced.png"
  psnr=$(compare -metric PSNR "$WORK/reduced.png" "$WORK/full.png" null: 2>&1 || true)
  verdict "PSNR of --shrink-on-load at $box, dB" "$psnr" ">=" 40
done
echo "(decoded source: $DECODED_BYTES bytes; times are wall clock on a shared machine and vary from run to run)"

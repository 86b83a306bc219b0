#!/usr/bin/env bash
# How close quillet-cli's 256-colour optimized palettes come to the pictures,
# with and without --refine-palette, against pngquant and ImageMagick; and
# what the refinement costs on a 24-megapixel photo shrunk to 50 %. A
# measurement, not a test: it prints the figures and how they stand against
# the targets, and exits 0 once the runs are done.
#
#   bench/palette_peers.sh [ROUNDS]   timing rounds, at least 3 (the default)
#   BUILD=<build directory>           default: build/ beside this folder
#
# Quality: the three 800 x 600 pictures of optimizedpalette_bench (a plasma,
# a grainy landscape, shaded spheres), each already shrunk to true colour,
# reduced to 256 colours by every tool; PSNR against the true-colour picture
# by ImageMagick's compare. quillet-cli keeps their size and does not sharpen.
# Speed: the whole command line, 50 %, optimized palette with the defaults
# (252 colours with the system colours, dithering), to PNG.
set -euo pipefail

. "$(dirname "$0")/peersetup.sh"
BENCH_ROUNDS=${1:-3} bench_setup "imagemagick pngquant time" quillet-cli optimizedpalette_bench

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BUILD/bench/optimizedpalette_bench" --write_pictures="$WORK"

psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }
# quillet-cli at the picture's own size onto 256 computed colours.
quillet() {
  "$CLI" --quiet --width 100% --height 100% --stretch-mode precise --sharpen 0 --palette optimized --bits 8 \
    --optimized-size 256 --no-system-colors "$@"
}

KINDS=(plasma landscape spheres)
declare -A DB
for kind in "${KINDS[@]}"; do
  echo "Reducing $kind ..." >&2
  src=$WORK/$kind.png
  # Without gamma chunks, so that no tool corrects the values.
  convert "$WORK/$kind.ppm" -strip "PNG24:$src"
  quillet --no-dither "$src" "$WORK/q.png"
  DB[$kind, quillet]=$(psnr "$src" "$WORK/q.png")
  quillet --no-dither --refine-palette "$src" "$WORK/q.png"
  DB[$kind, refined]=$(psnr "$src" "$WORK/q.png")
  quillet "$src" "$WORK/q.png"
  DB[$kind, quillet_fs]=$(psnr "$src" "$WORK/q.png")
  quillet --refine-palette "$src" "$WORK/q.png"
  DB[$kind, refined_fs]=$(psnr "$src" "$WORK/q.png")
  pngquant --force --nofs --output "$WORK/p.png" 256 "$src"
  DB[$kind, pngquant]=$(psnr "$src" "$WORK/p.png")
  pngquant --force --output "$WORK/p.png" 256 "$src"
  DB[$kind, pngquant_fs]=$(psnr "$src" "$WORK/p.png")
  convert "$src" +dither -colors 256 "$WORK/m.png"
  DB[$kind, magick]=$(psnr "$src" "$WORK/m.png")
  convert "$src" -dither FloydSteinberg -colors 256 "$WORK/m.png"
  DB[$kind, magick_fs]=$(psnr "$src" "$WORK/m.png")
done

# The photo takes a while to make, so it is kept between runs.
PHOTO=$BUILD/bench-data/photo-6000x4000.jpg
if [ ! -f "$PHOTO" ]; then
  echo "Making $PHOTO ..." >&2
  mkdir -p "$(dirname "$PHOTO")"
  convert "$ROOT/samples/sample.jpg" -resize '6000x4000!' -attenuate 0.6 +noise Gaussian -quality 92 "JPEG:$PHOTO.part"
  mv "$PHOTO.part" "$PHOTO"
fi
plain=("$CLI" --quiet --width 50% --palette optimized --bits 8 "$PHOTO" "$WORK/photo.png")
refined=("${plain[@]}" --refine-palette)
run_case() {
  local -n command=$1
  local start end
  start=$(date +%s%N)
  "${command[@]}"
  end=$(date +%s%N)
  echo "$(((end - start) / 1000))" >>"$WORK/$1.runs"
}
# Alternating, so that neither case always runs first.
for ((round = 0; round < ROUNDS; ++round)); do
  echo "Timing round $((round + 1)) of $ROUNDS ..." >&2
  if ((round % 2 == 0)); then order=(plain refined); else order=(refined plain); fi
  for name in "${order[@]}"; do run_case "$name"; done
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
PLAIN_S=$(awk -v us="$(median "$WORK/plain.runs")" 'BEGIN { printf "%.3f", us / 1e6 }')
REFINED_S=$(awk -v us="$(median "$WORK/refined.runs")" 'BEGIN { printf "%.3f", us / 1e6 }')

echo
echo "PSNR in dB against the true-colour picture, 256 colours (800 x 600):"
printf '%-10s %9s %9s %9s %9s | %9s %9s %9s %9s\n' "picture" "quillet" "refined" "pngquant" "magick" \
  "quillet" "refined" "pngq. FS" "magick FS"
for kind in "${KINDS[@]}"; do
  printf '%-10s %9.2f %9.2f %9.2f %9.2f | %9.2f %9.2f %9.2f %9.2f\n' "$kind" "${DB[$kind, quillet]}" \
    "${DB[$kind, refined]}" "${DB[$kind, pngquant]}" "${DB[$kind, magick]}" "${DB[$kind, quillet_fs]}" \
    "${DB[$kind, refined_fs]}" "${DB[$kind, pngquant_fs]}" "${DB[$kind, magick_fs]}"
done
echo "(left: without dithering, pngquant --nofs, ImageMagick +dither; right: dithered)"
echo

verdict() { awk -v v="$2" -v t="$4" -v op="$3" 'BEGIN { ok = (op == "<=") ? v <= t : v >= t; printf "%-46s %7.2f   target %s %.2f   %s\n", ARGV[1], v, op, t, ok ? "met" : "MISSED" }' "$1"; }
for kind in "${KINDS[@]}"; do
  verdict "$kind, refined, no dithering (pngquant)" "${DB[$kind, refined]}" ">=" "${DB[$kind, pngquant]}"
  verdict "$kind, refined, dithered (ImageMagick FS)" "${DB[$kind, refined_fs]}" ">=" "${DB[$kind, magick_fs]}"
done
echo
echo "24-megapixel photo at 50 %, $ROUNDS rounds, medians: ${PLAIN_S} s without, ${REFINED_S} s with --refine-palette"
verdict "refined / plain run time" "$(awk -v a="$REFINED_S" -v b="$PLAIN_S" 'BEGIN { printf "%.4f", a / b }')" "<=" 2
echo "(times are wall clock on a shared machine and vary from run to run)"

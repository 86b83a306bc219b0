#!/usr/bin/env bash
# Usage: fuzz/run.sh [SECONDS [TARGET...]]
# Builds the fuzz targets with clang and runs each (or the named ones) for
# SECONDS (default 600), JOBS at a time, on a small seed corpus written by
# ImageMagick. Crashes land in build-fuzz/crashes/<target>/. Not part of CI.
set -euo pipefail
SECONDS_EACH=${1:-600}
JOBS=${JOBS:-2}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/tools/deps.sh"
quillet_install_deps clang libclang-rt-14-dev
BUILD=$ROOT/build-fuzz
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_BUILD_FUZZ=ON \
  -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF >/dev/null
TARGETS=(bmp_fuzz png_fuzz jpeg_fuzz pxm_fuzz pcx_fuzz tga_fuzz tiff_fuzz load_fuzz heif_fuzz icc_fuzz webp_fuzz gif_fuzz
  exif_fuzz)
[ $# -gt 1 ] && TARGETS=("${@:2}")
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"

# Seeds: one small picture in every variant the peers write quickly.
SEEDS=$BUILD/seeds
if [ ! -d "$SEEDS" ]; then
  mkdir -p "$SEEDS"
  src=$SEEDS/src.ppm
  /usr/bin/convert -size 13x7 plasma:fractal "$src"
  make_seed() { /usr/bin/convert "$src" "$@" 2>/dev/null || true; }
  make_seed "$SEEDS/a.bmp"; make_seed -colors 16 "$SEEDS/b.bmp"; make_seed -compress RLE -colors 200 "$SEEDS/c.bmp"
  make_seed "$SEEDS/a.png"; make_seed -interlace PNG "$SEEDS/b.png"; make_seed -colors 4 "$SEEDS/c.png"
  make_seed "$SEEDS/a.jpg"; make_seed -interlace JPEG "$SEEDS/b.jpg"; make_seed -colorspace gray "$SEEDS/c.jpg"
  make_seed -compress none "$SEEDS/a.ppm"; make_seed "$SEEDS/b.pgm"; make_seed "$SEEDS/c.pbm"
  make_seed "$SEEDS/a.pcx"; make_seed -colors 16 "$SEEDS/b.pcx"
  make_seed "$SEEDS/a.tga"; make_seed -compress RLE "$SEEDS/b.tga"
  make_seed "$SEEDS/a.tif"; make_seed -compress RLE "$SEEDS/b.tif"; make_seed -colors 16 "$SEEDS/c.tif"
  # What goes through libtiff: other compressions, tiles, planes, 16 bits, alpha.
  make_seed -compress LZW "$SEEDS/d.tif"; make_seed -compress Zip -depth 16 "$SEEDS/e.tif"
  make_seed -compress JPEG "$SEEDS/f.tif"; make_seed -monochrome -compress Group4 "$SEEDS/g.tif"
  make_seed -define tiff:tile-geometry=8x8 "$SEEDS/h.tif"; make_seed -interlace Plane "$SEEDS/i.tif"
  make_seed -alpha set -channel A -evaluate set 60% +channel -compress LZW "$SEEDS/j.tif"
  make_seed -colorspace gray -alpha set -channel A -evaluate set 60% +channel -depth 16 "$SEEDS/k.tif"
  make_seed -alpha set -channel A -evaluate set 60% +channel "$SEEDS/d.bmp"
  make_seed -depth 16 "$SEEDS/d.ppm"; make_seed -monochrome -compress none "$SEEDS/d.pbm"
  # AVIF and HEIC from libheif's own encoder: plain, with alpha, 10 bits, two images.
  make_seed -depth 8 "$SEEDS/h8.png"; make_seed -alpha set -channel A -evaluate set 60% +channel -depth 8 "$SEEDS/ha.png"
  make_seed -depth 16 PNG48:"$SEEDS/h16.png"
  make_heif() { heif-enc "$@" >/dev/null 2>&1 || true; }
  make_heif -o "$SEEDS/a.avif" "$SEEDS/h8.png"; make_heif -o "$SEEDS/a.heic" "$SEEDS/h8.png"
  make_heif -o "$SEEDS/b.avif" "$SEEDS/ha.png"; make_heif -o "$SEEDS/b.heic" "$SEEDS/ha.png"
  make_heif -b 10 -o "$SEEDS/c.heic" "$SEEDS/h16.png"; make_heif -o "$SEEDS/c.avif" "$SEEDS/h8.png" "$SEEDS/ha.png"
  rm -f "$SEEDS/h8.png" "$SEEDS/ha.png" "$SEEDS/h16.png"
  # Colour profiles, alone (with the leading byte icc_fuzz reads) and embedded.
  icc=/usr/share/color/icc/colord
  for p in AdobeRGB1998 SwappedRedAndGreen; do
    [ -f "$icc/$p.icc" ] || continue
    { printf '\0'; cat "$icc/$p.icc"; } >"$SEEDS/$p.icc"
    make_seed -profile "$icc/$p.icc" "$SEEDS/$p.jpg"; make_seed -profile "$icc/$p.icc" "$SEEDS/$p.png"
    make_seed -profile "$icc/$p.icc" "$SEEDS/$p.tif"
  done
  make_seed -colorspace CMYK "$SEEDS/cmyk.jpg"
  # WebP lossy, lossless, with alpha and animated; GIF plain, interlaced, transparent and animated.
  make_seed -quality 80 "$SEEDS/a.webp"; make_seed -define webp:lossless=true "$SEEDS/b.webp"
  make_seed -alpha set -channel A -evaluate set 60% +channel "$SEEDS/c.webp"
  /usr/bin/convert -delay 10 "$src" \( "$src" -flip \) -loop 0 "$SEEDS/d.webp" 2>/dev/null || true
  make_seed "$SEEDS/a.gif"; make_seed -colors 16 -interlace GIF "$SEEDS/b.gif"
  make_seed -fuzz 20% -transparent white "$SEEDS/c.gif"
  /usr/bin/convert -delay 10 "$src" \( "$src" -flip -crop 6x4+2+1 \) -layers Optimize -loop 0 "$SEEDS/d.gif" 2>/dev/null || true
  # Photos tagged as cameras tag them, and their EXIF blocks alone.
  if command -v exiftool >/dev/null; then
    /usr/bin/convert -size 4x3 xc:gray "$SEEDS/thumb.jpg"
    for order in II MM; do
      exiftool -q -n -ExifByteOrder=$order -Orientation=6 -Make=Seed -DateTimeOriginal="2026:01:01 00:00:00" \
        -GPSLatitude=52.5 "-ThumbnailImage<=$SEEDS/thumb.jpg" -o "$SEEDS/exif-$order.jpg" "$SEEDS/a.jpg" || true
      exiftool -q -b -EXIF "$SEEDS/exif-$order.jpg" >"$SEEDS/exif-$order.bin" || true
    done
    exiftool -q -n -Orientation=8 -o "$SEEDS/exif.png" "$SEEDS/a.png" || true
    rm -f "$SEEDS/thumb.jpg"
  fi
  rm -f "$src"
fi

run_one() {
  local target=$1
  local corpus=$BUILD/corpus/$target crashes=$BUILD/crashes/$target
  mkdir -p "$corpus" "$crashes"
  LSAN_OPTIONS=suppressions=$ROOT/fuzz/lsan.supp "$BUILD/fuzz/$target" "$corpus" "$SEEDS" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 \
    -artifact_prefix="$crashes/" -print_final_stats=1 >"$BUILD/$target.log" 2>&1 &&
    echo "$target: no findings ($(grep -m1 stat::number_of_executed_units "$BUILD/$target.log" | awk '{print $2}') runs)" ||
    echo "$target: FOUND something, see $BUILD/$target.log and $crashes"
}
export -f run_one
export ROOT BUILD SEEDS SECONDS_EACH
printf '%s\n' "${TARGETS[@]}" | xargs -P "$JOBS" -I{} bash -c 'run_one {}'

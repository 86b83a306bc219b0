#!/bin/sh
# install_check.sh BUILD_DIR: installs into a temporary prefix and checks the
# tree a desktop would use.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

for program in quillet quillet-cli quillet-view; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
done

for page in QuilletE.html QuilletD.html; do
  [ -s "$prefix/share/quillet/help/$page" ] || fail "help page $page missing"
done

desktop=$prefix/share/applications/quillet.desktop
if [ -f "$desktop" ]; then
  for line in 'Type=Application' 'Name=Quillet' 'Exec=quillet %f' 'Icon=quillet' \
              'Categories=Graphics;2DGraphics;RasterGraphics;'; do
    grep -qxF "$line" "$desktop" || fail "desktop file lacks $line"
  done
  grep -q '^GenericName=.' "$desktop" || fail "desktop file lacks GenericName"
  grep -q '^Comment=.' "$desktop" || fail "desktop file lacks Comment"
  mime=$(sed -n 's/^MimeType=//p' "$desktop")
  for type in image/bmp image/x-bmp image/x-ms-bmp image/jpeg image/png image/x-pcx image/vnd.zbrush.pcx \
              image/x-portable-bitmap image/x-portable-graymap image/x-portable-pixmap image/x-portable-anymap \
              image/x-tga image/x-targa image/tiff; do
    case ";$mime" in *";$type;"*) ;; *) fail "MimeType lacks $type" ;; esac
  done
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
  fi
else
  fail "share/applications/quillet.desktop missing"
fi

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x$size/apps/quillet.png
  if [ -f "$icon" ]; then
    [ "$(png_size "$icon")" = "${size}x$size" ] || fail "$icon is $(png_size "$icon")"
  else
    fail "icon ${size}x$size missing"
  fi
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/quillet.svg" 2>/dev/null || fail "scalable icon missing"

man=$prefix/share/man/man1/quillet-cli.1
if [ -f "$man" ]; then
  # Every option the program lists is described.
  for option in $("$prefix/bin/quillet-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$(echo "$option" | sed 's/-/\\-/g')" "$man" || fail "man page lacks $option"
  done
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES FILES; do
    grep -qx ".SH \"*$section\"*" "$man" || fail "man page lacks $section"
  done
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$man" 2>&1)
    [ -z "$warnings" ] || fail "groff: $warnings"
  fi
else
  fail "share/man/man1/quillet-cli.1 missing"
fi

[ "$failures" -eq 0 ] && echo "installed tree complete"
exit "$failures"

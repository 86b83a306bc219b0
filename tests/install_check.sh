#!/bin/sh
# install_check.sh BUILD_DIR: installs into a temporary prefix and checks the
# tree a desktop would use.
set -u
build=$1
source=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A missing validator is a failure, not a skipped check; tools/deps.sh installs them.
need() { command -v "$1" >/dev/null || { fail "$1 not installed (package $2, see tools/deps.sh)"; return 1; }; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

for program in quillet quillet-cli quillet-view; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program missing"
  # The same line from each, and without a display for the windowed ones.
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$prefix/bin/$program" --version 2>&1)
  [ "$version" = "Quillet Version 1.02" ] || fail "$program --version says '$version'"
done

# Each help page's contents list reaches every section, its links all land, and
# both languages have the same sections; the window opens a page at context1000.
page_ids() { grep -o ' id="[^"]*"' "$1" | sed 's/.*id="\(.*\)"/\1/' | sort; }
for page in QuilletE.html QuilletD.html; do
  help=$prefix/share/quillet/help/$page
  [ -s "$help" ] || { fail "help page $page missing"; continue; }
  ids=$(page_ids "$help")
  links=$(grep -o 'href="#[^"]*"' "$help" | sed 's/href="#\(.*\)"/\1/' | sort)
  for link in $links; do
    echo "$ids" | grep -qx "$link" || fail "$page links to the missing #$link"
  done
  for section in $(sed -n 's/.*<h2 id="\([^"]*\)".*/\1/p' "$help"); do
    echo "$links" | grep -qx "$section" || fail "$page's contents lack #$section"
  done
  echo "$ids" | grep -qx context1000 || fail "$page lacks #context1000"
done
[ "$(page_ids "$prefix/share/quillet/help/QuilletE.html")" = "$(page_ids "$prefix/share/quillet/help/QuilletD.html")" ] ||
  fail "the English and German help pages have different sections"

cmp -s "$source/LICENSE" "$prefix/share/doc/quillet/LICENSE" || fail "share/doc/quillet/LICENSE missing or stale"
grep -qxF 'Copyright (c) 2026 the Quillet authors' "$source/LICENSE" || fail "LICENSE lacks the copyright line"

# One reverse-DNS ID names the desktop entry, the metainfo and the icons.
id=org.marrowby.Quillet
desktop=$prefix/share/applications/$id.desktop
if [ -f "$desktop" ]; then
  for line in 'Type=Application' 'Name=Quillet' 'Exec=quillet %f' "Icon=$id" \
              'Categories=Graphics;2DGraphics;RasterGraphics;'; do
    grep -qxF "$line" "$desktop" || fail "desktop file lacks $line"
  done
  grep -q '^GenericName=.' "$desktop" || fail "desktop file lacks GenericName"
  grep -q '^Comment=.' "$desktop" || fail "desktop file lacks Comment"
  mime=$(sed -n 's/^MimeType=//p' "$desktop")
  for type in image/bmp image/x-bmp image/x-ms-bmp image/jpeg image/png image/x-pcx image/vnd.zbrush.pcx \
              image/x-portable-bitmap image/x-portable-graymap image/x-portable-pixmap image/x-portable-anymap \
              image/x-tga image/x-targa image/tiff image/avif image/heic image/heif \
              image/webp image/gif; do
    case ";$mime" in *";$type;"*) ;; *) fail "MimeType lacks $type" ;; esac
  done
  if need desktop-file-validate desktop-file-utils; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
  fi
else
  fail "share/applications/$id.desktop missing"
fi
[ "$(ls "$prefix/share/applications")" = "$id.desktop" ] || fail "desktop entries besides $id.desktop"

metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [ -f "$metainfo" ]; then
  if need appstreamcli appstream; then
    appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli validate: $(appstreamcli validate --no-net "$metainfo")"
  fi
  grep -qF "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
  grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launches no $id.desktop"
  grep -qF '<project_license>MIT</project_license>' "$metainfo" || fail "metainfo project_license is not MIT"
  grep -qF '<content_rating type="oars-1.1"' "$metainfo" || fail "metainfo lacks the OARS content rating"
  # The release of the version the programs report.
  version=$("$prefix/bin/quillet-cli" --version | sed -n 's/.*Version //p')
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || fail "metainfo lacks release $version"
  for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo"); do
    [ -x "$prefix/bin/$binary" ] || fail "metainfo provides $binary, which is not installed"
  done
  # Every screenshot is one of the committed pictures, and each has a caption.
  shots=$(grep -c '<screenshot[ >]' "$metainfo")
  [ "$shots" -gt 0 ] || fail "metainfo has no screenshots"
  [ "$(grep -c '<caption>.' "$metainfo")" = "$shots" ] || fail "a metainfo screenshot lacks its caption"
  for url in $(sed -n 's|.*<image[^>]*>\(.*\)</image>.*|\1|p' "$metainfo"); do
    case $url in https://*/docs/*.png) ;; *) fail "screenshot $url is not a docs/ picture" ;; esac
    [ -f "$source/docs/${url##*/}" ] || fail "screenshot $url: docs/${url##*/} missing"
  done
else
  fail "share/metainfo/$id.metainfo.xml missing"
fi

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  if [ -f "$icon" ]; then
    [ "$(png_size "$icon")" = "${size}x$size" ] || fail "$icon is $(png_size "$icon")"
  else
    fail "icon ${size}x$size missing"
  fi
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" 2>/dev/null || fail "scalable icon missing"
[ -z "$(find "$prefix/share/icons" -name 'quillet.*')" ] || fail "icons installed under the old name quillet"

# check_man PROGRAM SECTION...: the page describes every option and argument
# that PROGRAM --help lists, has the sections and reads without groff warnings.
check_man() {
  program=$1; shift
  man=$prefix/share/man/man1/$program.1
  [ -f "$man" ] || { fail "share/man/man1/$program.1 missing"; return; }
  help=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/$program" --help 2>/dev/null)
  [ -n "$help" ] || fail "$program --help printed nothing"
  for option in $(echo "$help" | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$(echo "$option" | sed 's/-/\\-/g')" "$man" || fail "$program.1 lacks $option"
  done
  # Qt's help lists the positional arguments below "Arguments:"; the synopsis names them in capitals.
  synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/p' "$man")
  for argument in $(echo "$help" | sed -n '/^Arguments:/,$s/^  \([a-z][a-z]*\) .*/\1/p' | tr a-z A-Z); do
    echo "$synopsis" | grep -q "[[ ]$argument\( \|\]\|$\)" || fail "$program.1's synopsis lacks $argument"
  done
  for section in "$@"; do
    grep -qx ".SH \"*$section\"*" "$man" || fail "$program.1 lacks $section"
  done
  if need groff groff-base; then
    warnings=$(groff -man -Tutf8 -ww -z "$man" 2>&1)
    [ -z "$warnings" ] || fail "groff on $program.1: $warnings"
  fi
}
check_man quillet-cli NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES FILES
check_man quillet NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES FILES 'SEE ALSO'
check_man quillet-view NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' EXAMPLES 'SEE ALSO'

[ "$failures" -eq 0 ] && echo "installed tree complete"
exit "$failures"

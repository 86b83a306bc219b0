#!/usr/bin/env bash
# Renders the pictures of the README under a virtual X display, in English,
# by driving the program as a user would (keys and clicks):
#   docs/source.png       the main window on the source page
#   docs/result.png       the result page with an 8-bit optimized result
#   docs/options-jpeg.png the options dialog on its JPEG page
#   docs/jpeg-test.png    the JPEG test window
#   docs/open-dialog.png  the open dialog previewing a picture
# Needs xvfb, xdotool and ImageMagick (installed when missing).
set -euo pipefail
QUILLET_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QUILLET_ROOT/tools/deps.sh"
quillet_install_deps xvfb xauth xdotool imagemagick
build=${BUILD:-$QUILLET_ROOT/build-release}
quillet_build "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF
if [ -z "${QUILLET_SCREENSHOTS_INNER:-}" ]; then
  QUILLET_SCREENSHOTS_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

docs=$QUILLET_ROOT/docs
top=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$top"' EXIT
work=$top/Pictures
mkdir -p "$work"
export XDG_CONFIG_HOME=$top/config LANG=C.UTF-8 LC_ALL=C.UTF-8
cp "$QUILLET_ROOT/samples/sample.jpg" "$work/"

window() {  # the id of the newest window whose name matches $1
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1) && [ -n "$id" ] && break
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no window named $1" >&2; exit 1; }
  echo "$id"
}
shot() {  # window id, file name
  sleep "${3:-1}"
  import -window "$1" "$docs/$2"
  echo "wrote docs/$2"
}

cd "$work"
"$build/app/quillet" "$work/sample.jpg" &
main=$(window "^Quillet")
xdotool windowfocus --sync "$main"
shot "$main" source.png 2

# The result page; 8 bits on the optimized palette (the list's default).
xdotool mousemove --window "$main" 96 32 click 1
sleep 0.5
xdotool key alt+8
shot "$main" result.png 4

# File > Open source..., then select the sample so that its preview shows.
xdotool key alt+f o
open=$(window "Open")
xdotool windowfocus --sync "$open"
# A click on the first file of the list (typing would cover the dialog with its completion list).
xdotool mousemove --window "$open" 200 70 click 1
shot "$open" open-dialog.png 2
xdotool key Escape

# Options..., its JPEG page, then the JPEG test of the current result.
xdotool windowfocus --sync "$main"
xdotool key alt+o
options=$(window "Options")
xdotool windowfocus --sync "$options"
xdotool mousemove --window "$options" 65 49 click 1
shot "$options" options-jpeg.png 1
xdotool mousemove --window "$options" 60 287 click 1
test=$(window "JPEG")
shot "$test" jpeg-test.png 2

#!/usr/bin/env bash
# The window's run against the command line's on the same picture and
# settings, for each depth kind (rows 0, 7, 18, 19: 1 bit, 4 bit, 8 bit
# optimized with dithering, 24 bit). The window is driven under Xvfb with the
# quillet.pipeline logging category on; each line shows both `run` lines.
# A measurement, not a test: run it on an otherwise idle machine.
#
#   bench/window_runs.sh [PICTURE [REPEATS]]   default: a 6000 x 4000 JPEG, 3
#   BUILD=<build directory>                    default: build/ beside this folder
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
PICTURE=${1:-$WORK/photo.jpg}
REPEATS=${2:-3}
[ -f "$PICTURE" ] || convert "$ROOT/samples/sample.jpg" -resize '6000x4000!' -quality 90 "$PICTURE"

export XDG_CONFIG_HOME=$WORK/config QT_LOGGING_RULES="quillet.pipeline.debug=true" WORK PICTURE BUILD REPEATS
mkdir -p "$XDG_CONFIG_HOME/Marrowby/Quillet"
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  settings=$XDG_CONFIG_HOME/Marrowby/Quillet/1.02.conf
  for row in 0 7 18 19; do
    for k in $(seq "$REPEATS"); do
      # The window stores its settings on the way out: start each run afresh.
      printf "\"Selection\" = integer:%s\n" "$row" >"$settings"
      "$BUILD/app/quillet" "$PICTURE" 2>"$WORK/window.log" &
      pid=$!
      for i in $(seq 150); do grep -q "run [0-9]" "$WORK/window.log" && break; sleep 0.2; done
      kill $pid; wait $pid 2>/dev/null || true
      printf "\"Selection\" = integer:%s\n" "$row" >"$settings"
      window=$(grep -o "run [0-9]* ms" "$WORK/window.log" | head -1)
      cli=$("$BUILD/app/quillet-cli" --use-settings --verbose "$PICTURE" "$WORK/out.png" 2>&1 | grep -o "run [0-9]* ms" | head -1)
      echo "row $row: window $window, command line $cli"
    done
  done'

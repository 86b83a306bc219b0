#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts Quillet on the given
# picture, or on the bundled sample when none is given.
set -euo pipefail
QUILLET_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QUILLET_ROOT/tools/deps.sh"
quillet_install_deps
# A build directory of its own, so that test.sh never finds its cache
# configured without tests.
build=$QUILLET_ROOT/build-release
quillet_build "$build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF
picture=${1:-$QUILLET_ROOT/samples/sample.jpg}
if [ -x "$build/app/quillet" ]; then
  exec "$build/app/quillet" "$picture"
fi
# Until the main window exists, the library's viewer shows the picture.
exec "$build/app/quillet-view" "$picture"

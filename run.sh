#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts Quillet on the given
# picture, or on the bundled sample when none is given.
set -euo pipefail
QUILLET_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QUILLET_ROOT/tools/deps.sh"
quillet_install_deps
quillet_build "$QUILLET_ROOT/build" -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_BENCH=OFF
for frontend in app/quillet app/quillet-cli; do
  if [ -x "$QUILLET_ROOT/build/$frontend" ]; then
    exec "$QUILLET_ROOT/build/$frontend" "$@"
  fi
done
echo "The image library is built; no front end exists yet. ./test.sh runs its tests." >&2

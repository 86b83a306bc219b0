#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
QUILLET_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QUILLET_ROOT/tools/deps.sh"
quillet_install_deps
quillet_build "$QUILLET_ROOT/build"
cd "$QUILLET_ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"

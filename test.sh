#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
QUILLET_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QUILLET_ROOT/tools/deps.sh"
quillet_install_deps
# Tests and benchmarks on, whatever an earlier configuration left in the cache.
quillet_build "$QUILLET_ROOT/build" -DQUILLET_BUILD_TESTS=ON -DQUILLET_BUILD_BENCH=ON
cd "$QUILLET_ROOT/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j "$(nproc)"

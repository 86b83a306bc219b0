# Sourced by the peer comparisons: bench_setup "PACKAGES" TARGETS... installs
# the peers that are missing, builds the targets (Release) and sets ROOT,
# BUILD, CLI and ROUNDS (the script's first argument, at least 3).
bench_setup() {
  local packages=$1
  shift
  ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  BUILD=${BUILD:-$ROOT/build}
  ROUNDS=${BENCH_ROUNDS:-3}
  if ! [[ $ROUNDS =~ ^[0-9]+$ ]] || ((ROUNDS < 3)); then ROUNDS=3; fi
  local missing=() pkg
  for pkg in $packages; do
    [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] || missing+=("$pkg")
  done
  if ((${#missing[@]})); then
    echo "Installing ${missing[*]} ..." >&2
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  [ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" --target "$@" -j"$(nproc)" >/dev/null
  CLI=$BUILD/app/quillet-cli
}

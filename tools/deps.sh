# Sourced by run.sh and test.sh: installs the Debian packages the build needs,
# calling apt only when something is missing.
QUILLET_PACKAGES=(
  g++ cmake make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  # Names that Debian and Ubuntu share; libjpeg-dev is libjpeg-turbo on both.
  libjpeg-dev libpng-dev zlib1g-dev libtiff-dev
  # Colour profiles (Little CMS 2) and today's formats: WebP, AVIF/HEIC, GIF.
  liblcms2-dev libwebp-dev libheif-dev libgif-dev
  # The windows: Qt 6 Widgets, Print Support and Test (all in qt6-base-dev).
  qt6-base-dev libgl-dev
  # Peers that the tests compare our readers and writers against; never linked.
  imagemagick netpbm libtiff-tools libjpeg-turbo-progs
  libimage-exiftool-perl libvips-tools colord-data webp libheif-examples
  # The README's recipe for many machines is tested with GNU parallel.
  parallel
  # Validators of the installed tree: metainfo, desktop entry, manual pages.
  appstream desktop-file-utils groff-base
)

quillet_install_deps() {
  local missing=()
  local p
  for p in "${QUILLET_PACKAGES[@]}" "$@"; do
    if [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != "installed" ]; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

quillet_build() {
  local dir=$1; shift
  cmake -S "$QUILLET_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

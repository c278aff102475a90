#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; does nothing when all are
# present. Runs as root on a fresh Debian 12 machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  # The test command's linker and compiler cache (the build uses either where it is installed).
  lld ccache
  qt6-base-dev libgl-dev
  # The monospaced font of the text and hex panels; the package depends on it (or on
  # fonts-noto-mono, which the panels' tests accept as well).
  fonts-dejavu-core
  qt6-multimedia-dev libsquish-dev libstb-dev libastcenc-dev
  g++-mingw-w64-x86-64 gcc-mingw-w64-i686 binutils-mingw-w64-i686 wine64 fonts-wine icoutils
  lintian librsvg2-bin python3
  libgtest-dev libgmock-dev
  libcli11-dev nlohmann-json3-dev
  liblz4-dev liblzma-dev lz4 xz-utils
  xvfb xauth
  # bench_texture only: nvtt joins its comparison of DXT encoders, and scikit-image's sample
  # data holds the photograph it encodes.
  libnvtt-dev python3-skimage
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

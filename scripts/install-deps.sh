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
  # The Windows installer program's LZMA codec: the LZMA SDK's C sources, which this package ships.
  lzma-dev dpkg-dev
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

# The Windows installer program's LZ4 codec: Debian has no MinGW build of liblz4, so the MinGW
# build compiles the library's own sources from Debian's lz4 source package. Fetched once, through
# a private deb-src list (the system's lists stay as they are), into a fixed folder that the
# MinGW build looks in: /usr/local/src/kestrova-windows/lz4 -> lz4-<version>.
windows_sources=/usr/local/src/kestrova-windows
if [[ ! -f "$windows_sources/lz4/lib/lz4.c" ]]; then
  echo "Fetching Debian's lz4 source package into $windows_sources"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work"  # apt fetches as its own user
  mkdir -p "$work/lists/partial" "$work/archives/partial" "$windows_sources"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
    "http://deb.debian.org/debian bookworm main" >"$work/sources.list"
  apt_private=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives")
  apt-get "${apt_private[@]}" update -qq
  (cd "$work" && apt-get "${apt_private[@]}" source --download-only -qq lz4)
  dsc=$(find "$work" -maxdepth 1 -name 'lz4_*.dsc' | head -n 1)
  version=$(sed -n 's/^Version: //p' "$dsc" | sed 's/-[^-]*$//')
  rm -rf "$windows_sources/lz4-$version"
  dpkg-source --no-copy -x "$dsc" "$windows_sources/lz4-$version"
  ln -sfn "lz4-$version" "$windows_sources/lz4"
fi

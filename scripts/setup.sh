#!/usr/bin/env bash
# Installs what the build and the tests use, from Debian's packages, and only
# what is missing; then builds the libraries of the Windows build (libjpeg,
# libpng, giflib, libdeflate, liblzma) for MinGW from Debian's source
# packages into the build tree (Debian ships none of them for MinGW).
#
# usage: scripts/setup.sh [deps-dir]     (default: build/deps)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=${1:-$root/build/deps}
mkdir -p "$deps"
deps=$(cd "$deps" && pwd)

packages=(
  build-essential cmake ninja-build pkg-config
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libgif-dev libdeflate-dev liblzma-dev
  libcli11-dev nlohmann-json3-dev
  libfuse3-dev fuse3
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  wine64 fonts-wine xvfb x11-apps xdotool imagemagick fonts-nanum
  dpkg-dev ca-certificates
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The MinGW libraries, cached in the build tree.
"$root/scripts/build-mingw-deps.sh" "$deps"

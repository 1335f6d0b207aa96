#!/usr/bin/env bash
# Builds the static libjpeg (62 interface) for x86_64 MinGW from Debian's
# libjpeg-turbo source package. The system's apt source lists are never
# touched: a source list of our own is passed to apt-get by option.
#
# usage: scripts/build-mingw-jpeg.sh DEPS_DIR
# result: DEPS_DIR/mingw-jpeg/{include,lib/libjpeg.a}
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=$1
prefix=$deps/mingw-jpeg
[ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] && exit 0

work=$deps/jpeg-src
rm -rf "$work"
mkdir -p "$work/sources.list.d" "$work/lists/partial" "$work/archives/partial"

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1=="deb"{for(i=2;i<=NF;i++) if($i ~ /^http/){print $i; exit}}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed=""
[ -f "$keyring" ] && signed="[signed-by=$keyring] "
echo "deb-src ${signed}$mirror $codename main" > "$work/sources.list.d/src.list"

opts=(-o Dir::Etc::SourceList=/dev/null
      -o Dir::Etc::SourceParts="$work/sources.list.d"
      -o Dir::State::Lists="$work/lists"
      -o Dir::Cache::Archives="$work/archives"
      -o APT::Sandbox::User=root)
echo "setup: fetching Debian's libjpeg-turbo source"
apt-get "${opts[@]}" update -qq
(cd "$work" && apt-get "${opts[@]}" source --download-only libjpeg-turbo >/dev/null)
(cd "$work" && dpkg-source --no-check -x ./libjpeg-turbo_*.dsc src >/dev/null)

echo "setup: building libjpeg for MinGW"
cmake -S "$work/src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -Wno-dev >/dev/null
cmake --build "$work/build" --target jpeg-static >/dev/null
mkdir -p "$prefix/include" "$prefix/lib"
cp "$work/build/libjpeg.a" "$prefix/lib/"
cp "$work/src/jpeglib.h" "$work/src/jmorecfg.h" "$work/src/jerror.h" "$work/build/jconfig.h" "$prefix/include/"
rm -rf "$work"

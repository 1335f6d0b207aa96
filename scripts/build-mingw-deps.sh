#!/usr/bin/env bash
# Builds the static libraries of the Windows build for x86_64 MinGW from
# Debian's source packages, as Debian ships none of them for MinGW:
#
#   name     source package   library        header         notes
#   jpeg     libjpeg-turbo    libjpeg.a      jpeglib.h      the 62 interface
#   png      libpng1.6        libpng.a       png.h          needs MinGW zlib
#   gif      giflib           libgif.a       gif_lib.h
#   deflate  libdeflate       libdeflate.a   libdeflate.h
#   lzma     xz-utils         liblzma.a      lzma.h         users define LZMA_API_STATIC
#
# The system's apt source lists are never touched: a source list of our own
# is passed to apt-get by option. Each library goes to DEPS_DIR/mingw-<name>
# ({include,lib}) and is moved there only once whole, then linked into a
# small program to show it is usable; one that is there already is not
# built again. scripts/configure.sh hands the paths to CMake.
#
# usage: scripts/build-mingw-deps.sh DEPS_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
deps=$(cd "$1" && pwd)
host=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=2

header_of() {
  case $1 in
    jpeg) echo jpeglib.h ;;
    png) echo png.h ;;
    gif) echo gif_lib.h ;;
    deflate) echo libdeflate.h ;;
    lzma) echo lzma.h ;;
  esac
}

present() {
  [ -f "$deps/mingw-$1/lib/lib$1.a" ] && [ -f "$deps/mingw-$1/include/$(header_of "$1")" ]
}

wanted=()
for name in jpeg png gif deflate lzma; do
  present "$name" || wanted+=("$name")
done
((${#wanted[@]})) || exit 0

work=$deps/mingw-src
rm -rf "$work"
mkdir -p "$work/sources.list.d" "$work/lists/partial" "$work/archives/partial"

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1=="deb"{for(i=2;i<=NF;i++) if($i ~ /^http/){print $i; exit}}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
signed=""
[ -f "$keyring" ] && signed="[signed-by=$keyring] "
echo "deb-src ${signed}$mirror $codename main" >"$work/sources.list.d/src.list"

apt_opts=(-o Dir::Etc::SourceList=/dev/null
          -o Dir::Etc::SourceParts="$work/sources.list.d"
          -o Dir::State::Lists="$work/lists"
          -o Dir::Cache::Archives="$work/archives"
          -o APT::Sandbox::User=root)
apt-get "${apt_opts[@]}" update -qq

# unpack PACKAGE: Debian's source with its patches applied, in $work/PACKAGE.
unpack() {
  echo "setup: fetching Debian's $1 source"
  mkdir -p "$work/dl-$1"
  (cd "$work/dl-$1" && apt-get "${apt_opts[@]}" source --download-only "$1" >/dev/null)
  (cd "$work/dl-$1" && dpkg-source --no-check -x ./"$1"_*.dsc "$work/$1" >/dev/null)
}

# cmake_build SOURCE BUILD TARGET [cmake args...]: a MinGW release build.
# Nothing is installed; the prefix is given only because the Windows default
# ("c:/...") is no path here.
cmake_build() {
  local source=$1 build=$2 target=$3
  shift 3
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$build/unused" -Wno-dev "$@" >/dev/null
  cmake --build "$build" --target "$target" -j "$jobs" >/dev/null
}

build_jpeg() {  # $1: the prefix being filled
  unpack libjpeg-turbo
  local src=$work/libjpeg-turbo
  cmake_build "$src" "$work/build-jpeg" jpeg-static \
    -DWITH_SIMD=OFF -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF
  cp "$work/build-jpeg/libjpeg.a" "$1/lib/"
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$work/build-jpeg/jconfig.h" "$1/include/"
}

build_png() {
  unpack libpng1.6
  local src=$work/libpng1.6
  cmake_build "$src" "$work/build-png" png_static \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
  cp "$work/build-png/libpng16.a" "$1/lib/libpng.a"
  cp "$src/png.h" "$src/pngconf.h" "$work/build-png/pnglibconf.h" "$1/include/"
}

build_gif() {
  unpack giflib
  local src=$work/giflib
  # The library's sources as its Makefile lists them; giflib has no other
  # build description.
  local sources
  sources=$(sed -n '/^SOURCES = /,/[^\\]$/p' "$src/Makefile" | sed 's/^SOURCES = //; s/\\//g')
  mkdir -p "$work/build-gif"
  for file in $sources; do
    "$host-gcc" -O2 -c "$src/$file" -o "$work/build-gif/${file%.c}.o"
  done
  "$host-ar" rcs "$1/lib/libgif.a" "$work/build-gif"/*.o
  cp "$src/gif_lib.h" "$1/include/"
}

build_deflate() {
  unpack libdeflate
  local src=$work/libdeflate
  # Its Makefile names the static library for Windows targets so.
  make -C "$src" -j "$jobs" CC="$host-gcc" libdeflatestatic.lib >/dev/null
  cp "$src/libdeflatestatic.lib" "$1/lib/libdeflate.a"
  cp "$src/libdeflate.h" "$1/include/"
}

build_lzma() {
  unpack xz-utils
  local src=$work/xz-utils
  cmake_build "$src" "$work/build-lzma" liblzma -DBUILD_SHARED_LIBS=OFF
  cp "$work/build-lzma/liblzma.a" "$1/lib/"
  cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$1/include/"
}

# A call into each library, linked statically the way the program links.
check_program() {
  case $1 in
    jpeg) echo '#include <stdio.h>
#include <jpeglib.h>
int main(void) { struct jpeg_decompress_struct d; struct jpeg_error_mgr e;
  d.err = jpeg_std_error(&e); jpeg_create_decompress(&d); jpeg_destroy_decompress(&d); return 0; }' ;;
    png) echo '#include <png.h>
int main(void) { return png_access_version_number() == 0; }' ;;
    gif) echo '#include <gif_lib.h>
int main(void) { return GifErrorString(0) == 0; }' ;;
    deflate) echo '#include <libdeflate.h>
int main(void) { struct libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  libdeflate_free_compressor(c); return c == 0; }' ;;
    lzma) echo '#define LZMA_API_STATIC
#include <lzma.h>
int main(void) { return lzma_version_number() == 0; }' ;;
  esac
}

for name in "${wanted[@]}"; do
  prefix=$deps/mingw-$name
  rm -rf "$prefix" "$prefix.part"
  mkdir -p "$prefix.part/include" "$prefix.part/lib"
  echo "setup: building $name for MinGW"
  "build_$name" "$prefix.part"
  check_program "$name" >"$work/check-$name.c"
  extra=()
  [ "$name" = png ] && extra=(-lz)
  "$host-gcc" -static -o "$work/check-$name.exe" "$work/check-$name.c" \
    -I"$prefix.part/include" "$prefix.part/lib/lib$name.a" "${extra[@]}"
  mv "$prefix.part" "$prefix"
done
rm -rf "$work"

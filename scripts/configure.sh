# Sourced by the build scripts: configures and builds the two trees.
#   native_build DIR [cmake args...]       the portable code, natively
#   windows_build DIR [cmake args...]      the program and Windows suites (MinGW)
#   windows_configure DIR [cmake args...]  the same, configured only
#   quiet_build LOG COMMAND [args...]      COMMAND with its output in LOG,
#                                          shown only when it fails
# Expects root (the repository) and deps (the folder setup.sh filled).

native_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCASKWRIGHT_WERROR=ON "$@" >/dev/null &&
    cmake --build "$dir"
}

windows_configure() {
  local dir=$1
  shift
  cmake --no-warn-unused-cli -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCASKWRIGHT_BENCH=OFF -DCASKWRIGHT_WERROR=ON \
    -DJPEG_INCLUDE_DIR="$deps/mingw-jpeg/include" \
    -DJPEG_LIBRARY="$deps/mingw-jpeg/lib/libjpeg.a" \
    -DPNG_PNG_INCLUDE_DIR="$deps/mingw-png/include" \
    -DPNG_LIBRARY="$deps/mingw-png/lib/libpng.a" \
    -DGIF_INCLUDE_DIR="$deps/mingw-gif/include" \
    -DGIF_LIBRARY="$deps/mingw-gif/lib/libgif.a" \
    -DLIBDEFLATE_INCLUDE_DIR="$deps/mingw-deflate/include" \
    -DLIBDEFLATE_LIBRARY="$deps/mingw-deflate/lib/libdeflate.a" \
    -DLIBLZMA_INCLUDE_DIR="$deps/mingw-lzma/include" \
    -DLIBLZMA_LIBRARY="$deps/mingw-lzma/lib/liblzma.a" "$@" >/dev/null
}

windows_build() {
  windows_configure "$@" && cmake --build "$1"
}

quiet_build() {
  local log=$1
  shift
  mkdir -p "$(dirname "$log")"
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "the build failed; its output is kept in $log" >&2
    return 1
  fi
}

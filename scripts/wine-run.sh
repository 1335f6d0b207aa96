#!/usr/bin/env bash
# Runs a Windows executable under Wine (ctest's cross-compiling emulator):
# the prefix in the build tree, a display (a private one when none is set),
# and the program's own exit code.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
shift
# The build tree root is the folder holding CMakeCache.txt above the program.
dir=$(cd "$(dirname "$exe")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
CASKWRIGHT_BUILD=${CASKWRIGHT_BUILD:-$dir}
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
make_wine_prefix || exit 1
ensure_display || exit 1
trap stop_display EXIT
wine_window_mode
"$wine_exe" "$exe" "$@"

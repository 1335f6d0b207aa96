#!/usr/bin/env bash
# Builds and starts Caskwright: natively on Windows, under Wine elsewhere.
# With no display it starts a virtual one, takes a screenshot once the
# program is up, says where it is, and ends the program. Arguments go to the
# program: an archive to open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CASKWRIGHT_BUILD_ROOT:-$root/build}
deps=${CASKWRIGHT_DEPS:-$root/build/deps}

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
  cmake -S "$root" -B "$build/windows" -DCASKWRIGHT_WERROR=ON >/dev/null && cmake --build "$build/windows" --target caskwright
  exec "$build/windows/ui/caskwright.exe" "$@"
  ;;
esac

"$root/scripts/setup.sh" "$deps"
# shellcheck source=configure.sh
. "$root/scripts/configure.sh"
quiet_build "$build/windows.log" windows_build "$build/windows"

CASKWRIGHT_BUILD=$build/windows
# shellcheck source=wine-env.sh
. "$root/scripts/wine-env.sh"
# Whatever this script started ends with it, also when a step fails.
program=""
end_started() {
  if [ -n "$program" ]; then kill "$program" 2>/dev/null || true; fi
  "$wineserver_exe" -k 2>/dev/null || true
  stop_display
}
trap end_started EXIT
trap 'exit 1' INT TERM
make_wine_prefix
exe=$build/windows/ui/caskwright.exe

if [ -n "${DISPLAY:-}" ]; then
  wine_window_mode
  echo "starting $exe under Wine on $DISPLAY"
  trap - EXIT
  exec "$wine_exe" "$exe" "$@"
fi

ensure_display
wine_window_mode
shots=$build/windows/screenshots
mkdir -p "$shots"
"$wine_exe" "$exe" "$@" &
program=$!
sleep "${CASKWRIGHT_SHOT_DELAY:-6}"
if ! kill -0 "$program" 2>/dev/null; then
  echo "caskwright.exe ended by itself before the screenshot; built at $exe" >&2
  exit 1
fi
# The pointer starts in the middle of the screen, over the list, whose
# tooltip would cover part of the screenshot: park it in a corner first.
xdotool mousemove 0 0 2>/dev/null && sleep 1
xwd -root -silent | convert xwd:- -trim +repage "$shots/start.png"
# The exit trap ends the program and the display: say so, not that it runs.
echo "Caskwright started on the virtual display $DISPLAY and is ended now that its screenshot is taken: $shots/start.png"

#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them; each prints its figures
# beside the baseline it is compared with, named, and MISSED for an aim it
# missed; the script ends nonzero when any did. The portable ones run natively,
# the window benchmarks (bench/ui) as MinGW builds under Wine. Optional
# arguments pick benchmarks by name (substring), e.g.
# scripts/bench.sh cipher open entry_list.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CASKWRIGHT_BUILD_ROOT:-$root/build}
deps=${CASKWRIGHT_DEPS:-$root/build/deps}

"$root/scripts/setup.sh" "$deps"
# shellcheck source=configure.sh
. "$root/scripts/configure.sh"

picked() {  # name: whether the arguments pick it (all when there are none)
  local want
  (($# > 1)) || return 0
  for want in "${@:2}"; do [[ $1 == *"$want"* ]] && return 0; done
  return 1
}

missed=()
native=$build/release
quiet_build "$build/release.log" native_build "$native" -DCMAKE_BUILD_TYPE=Release \
  -DCASKWRIGHT_TESTS=OFF
mapfile -t benches < <(find "$native/bench" -type f -name '*_bench' -perm -u+x | sort)
for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  picked "$name" "$@" || continue
  echo "== $name"
  (cd "$native" && "$bench") || { missed+=("$name"); }
done

# The window benchmarks, in a Windows tree of their own so the test tree
# keeps its settings; Wine's prefix is the test tree's.
windows=$build/windows-release
export WINEPREFIX=${WINEPREFIX:-$build/windows/wine}
build_window_benches() {
  windows_configure "$windows" -DCMAKE_BUILD_TYPE=Release -DCASKWRIGHT_TESTS=OFF \
    -DCASKWRIGHT_BENCH=ON && cmake --build "$windows" --target window_benches
}
quiet_build "$build/windows-release.log" build_window_benches
mapfile -t benches < <(find "$windows/bench/ui" -type f -name '*_bench.exe' | sort)
for bench in "${benches[@]}"; do
  name=$(basename "$bench" .exe)
  picked "$name" "$@" || continue
  echo "== $name (under Wine)"
  (cd "$windows" && "$root/scripts/wine-run.sh" "$bench") || { missed+=("$name"); }
done

# A benchmark that missed an aim (or failed) says MISSED and ends nonzero.
if ((${#missed[@]})); then
  echo "== aims missed or benchmarks failed: ${missed[*]}"
  exit 1
fi
echo "== every aim met"

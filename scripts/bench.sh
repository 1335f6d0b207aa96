#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them; each prints its figures
# beside the bare work it is compared with. Optional arguments pick
# benchmarks by name (substring), e.g. scripts/bench.sh cipher open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CASKWRIGHT_BUILD_ROOT:-$root/build}
deps=${CASKWRIGHT_DEPS:-$root/build/deps}

"$root/scripts/setup.sh" "$deps"
# shellcheck source=configure.sh
. "$root/scripts/configure.sh"
native_build "$build/release" -DCMAKE_BUILD_TYPE=Release -DCASKWRIGHT_TESTS=OFF >/dev/null

mapfile -t benches < <(find "$build/release/bench" -type f -name '*_bench' -perm -u+x | sort)
for bench in "${benches[@]}"; do
  name=$(basename "$bench")
  if (($#)); then
    pick=0
    for want in "$@"; do [[ $name == *"$want"* ]] && pick=1; done
    ((pick)) || continue
  fi
  echo "== $name"
  (cd "$build/release" && "$bench")
done

#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang) and runs each for SECONDS (default 60).
# A crash is kept under tests/crashers/<target>/ to become a test. Seeds
# listed in fuzz/<area>/<target>.seeds start the corpus.
# usage: scripts/fuzz.sh [SECONDS] [target-name-substring...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CASKWRIGHT_BUILD_ROOT:-$root/build}
deps=${CASKWRIGHT_DEPS:-$root/build/deps}
seconds=${1:-60}
shift || true

"$root/scripts/setup.sh" "$deps"
# shellcheck source=configure.sh
. "$root/scripts/configure.sh"
CC=clang CXX=clang++ quiet_build "$build/fuzz.log" native_build "$build/fuzz" \
  -DCASKWRIGHT_FUZZ=ON -DCASKWRIGHT_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

mapfile -t targets < <(find "$build/fuzz/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort)
status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  if (($#)); then
    pick=0
    for want in "$@"; do [[ $name == *"$want"* ]] && pick=1; done
    ((pick)) || continue
  fi
  corpus=$build/fuzz/corpus/$name
  crashes=$root/tests/crashers/$name
  mkdir -p "$corpus" "$crashes"
  # Seed folders: fuzz/<area>/<target>.seeds lists them, one path per line
  # relative to the repository (missing ones are left out).
  seeds=()
  list=$(find "$root/fuzz" -name "$name.seeds" | head -1)
  if [ -n "$list" ]; then
    while read -r seed; do
      [ -n "$seed" ] && [ -d "$root/$seed" ] && seeds+=("$root/$seed")
    done <"$list"
  fi
  echo "== $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 -print_final_stats=0 \
       -artifact_prefix="$crashes/" "$corpus" "${seeds[@]}" 2>"$build/fuzz/$name.log"; then
    status=1
    echo "$name found a problem; see $build/fuzz/$name.log and $crashes/"
    tail -30 "$build/fuzz/$name.log"
  else
    grep -E '^Done|#[0-9]+.*DONE' "$build/fuzz/$name.log" | tail -1 || true
  fi
  rmdir "$crashes" 2>/dev/null || true
done
exit $status

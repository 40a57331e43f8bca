#!/usr/bin/env bash
# Builds an optimised build without sanitizers and runs every benchmark; each
# prints its figures as a ratio against a baseline measured in the same run.
# Not part of the test command.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVARINTH_TESTS=OFF >/dev/null
cmake --build "$build"
for bench in "$build"/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@"
done

# The program's own cost (start-up and peak memory under Xvfb); it needs the
# windows.
if grep -q '^TOVARINTH_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "== cost"
  "$root/scripts/cost.sh" "$build"
else
  echo "== cost: skipped, $build is configured without the windows (TOVARINTH_GUI=OFF)"
fi

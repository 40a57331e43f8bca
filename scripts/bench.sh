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

#!/usr/bin/env bash
# Builds an optimised build without sanitizers and runs every benchmark; each
# prints its figures as a ratio against a baseline measured in the same run,
# on lines "figure: NAME: VALUE (target OP LIMIT)". The run ends with one table
# of those figures, each with its target and whether it is met.
# Not part of the test command.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVARINTH_TESTS=OFF >/dev/null
cmake --build "$build"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
for bench in "$build"/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@" | tee -a "$log"
done

# The program's own cost (start-up and peak memory under Xvfb); it needs the
# windows.
if grep -q '^TOVARINTH_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "== cost"
  "$root/scripts/cost.sh" "$build" | tee -a "$log"
else
  echo "== cost: skipped, $build is configured without the windows (TOVARINTH_GUI=OFF)"
fi

echo
echo "== figures ($(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1))"
awk '
  { gsub(/\033\[[0-9;]*m/, "") } # the benchmarks colour their console output
  /^figure: / {
    line = substr($0, 9)
    if (!match(line, /: [-0-9.]+%? \(target (<=|>=|<|>) [0-9.]+\)$/)) next
    name = substr(line, 1, RSTART - 1)
    split(substr(line, RSTART + 2), f, " ")
    value = f[1]; op = substr(f[3], 1); limit = f[4]; sub(/\)$/, "", limit)
    v = value + 0; l = limit + 0
    met = (op == "<=" && v <= l) || (op == ">=" && v >= l) || (op == "<" && v < l) || (op == ">" && v > l)
    printf "| %s | %s | %s %s | %s |\n", name, value, op, limit, met ? "met" : "not met"
  }
  BEGIN { print "| figure | measured | target | |"; print "|---|---|---|---|" }
' "$log"

#!/usr/bin/env bash
# The soak run (not part of the test command): the real manager under Xvfb over
# a demo world of the vendor tool, driven through its window for CYCLES cycles
# (default 500) of installing one package and removing it again (every tenth
# install from a file, through the file dialog), with a sync every 10 cycles and an install-all every 25, and the vendor site's faults (a
# dropped body, a stalled body, a server error, a dropped connection) switched
# on at random for some cycles. After every step it checks extdb.cfg, the
# settings and the Packages and Downloads folders against the list; after
# every cycle it records the manager's resident memory. It prints a table, the
# memory growth per cycle (least squares after the first 50 cycles) and draws
# memory against cycles.
#   scripts/soak.sh [CYCLES [OPTION...]]   options of tools/soak/soak.py (--seed, --fault-share)
#   SOAK_BEFORE=old/soak.csv scripts/soak.sh   draws an earlier run beside this one
#   SOAK_WRAP="heaptrack -o FILE" scripts/soak.sh 50   runs the manager under heaptrack
#   SOAK_MANAGER=other/tovarinth scripts/soak.sh   soaks another build of the program
# The build is build/soak (optimised, with debug information for heap
# profiles); the world, the trace and soak.csv go to build/soak/run, the plot
# to build/soak/soak-memory.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cycles="${1:-500}"
shift || true
source "$root/scripts/lib.sh"
"$root/scripts/setup.sh"
command -v python3 >/dev/null || { echo "soak.sh needs python3" >&2; exit 1; }

build="$root/build/soak"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVARINTH_TESTS=OFF \
  -DTOVARINTH_BENCH=OFF >/dev/null
nice -n 10 cmake --build "$build" --target tovarinth tovarinth-vendor >/dev/null
unset QT_QPA_PLATFORM

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT
start_xvfb 1024x768x24

# The driver keeps the site and the manager, and ends both.
nice -n 10 python3 "$root/tools/soak/soak.py" --cycles "$cycles" --work "$build/run" \
  --vendor "$build/tools/vendor/tovarinth-vendor" --manager "${SOAK_MANAGER:-$build/src/tovarinth}" \
  --data "$root/data/demo" --plot "$build/soak-memory.png" ${SOAK_BEFORE:+--before "$SOAK_BEFORE"} \
  ${SOAK_WRAP:+--wrap "$SOAK_WRAP"} "$@"

#!/usr/bin/env bash
# The test command: installs what is missing, builds the test build (with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test.
# Extra arguments go to ctest, e.g. scripts/test.sh -R Rijndael
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build/test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOVARINTH_SANITIZE=ON -DTOVARINTH_BENCH=OFF >/dev/null
cmake --build "$build"
# The fuzz targets (a clang build of their own) are built here, so that the
# short fuzz run among the tests only runs them.
FUZZ_JOBS=2 TOVARINTH_VENDOR_TOOL="$build/tools/vendor/tovarinth-vendor" "$root/scripts/fuzz.sh" build
cd "$build"
ctest --output-on-failure -j2 "$@"

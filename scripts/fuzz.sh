#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz, writes the seed corpora and
# runs each target for SECONDS (default 300), one at a time and niced.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# New inputs are kept in build/fuzz/corpus/<target>; the committed text seeds
# (tests/fuzz/seeds/<target>) and regression inputs (tests/data/fuzz/<target>)
# are read as further corpus folders, so every run replays them. A crash
# leaves its input in build/fuzz/artifacts/<target>/ and fails the script.
# FUZZ_JOBS sets the build's parallelism (default 1).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(json envelope hex unzip version icmp)

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 1; }

out="$root/build/fuzz"
build="$out/cmake"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
started=$(date +%s)
nice -n 10 cmake --build "$build" -j "${FUZZ_JOBS:-1}"
echo "fuzz build: $(( $(date +%s) - started )) s"

"$build/fuzz_seeds" "$root/tests/fuzz/seeds" "$out/seeds"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  artifacts="$out/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  extra=()
  for d in "$out/seeds/$t" "$root/tests/fuzz/seeds/$t" "$root/tests/data/fuzz/$t"; do
    [ -d "$d" ] && extra+=("$d")
  done
  log="$out/$t.log"
  echo "== $t: ${seconds} s"
  status=0
  # Inputs of the unzip target are archives; the others are small documents.
  max_len=16384
  [ "$t" = unzip ] && max_len=65536
  [ "$t" = version ] && max_len=65536
  nice -n 10 "$build/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "${extra[@]}" >"$log" 2>&1 || status=$?
  grep -aE "^#[0-9]+[[:space:]]+(INITED|DONE)|stat::number_of_executed_units|stat::peak_rss_mb" "$log" | tail -n 4 || true
  if [ $status -ne 0 ]; then
    echo "fuzz_$t FAILED (exit $status); log: $log"
    grep -aE "ERROR|SUMMARY|invariant|Test unit written" "$log" | head -n 8 || true
    failed+=("$t")
  fi
done

echo "fuzz total: $(( $(date +%s) - started )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
echo "${#targets[@]} passed, 0 failed"

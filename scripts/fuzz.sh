#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz, makes seed inputs with the
# vendor tool and runs each target for SECONDS (default 300), one at a time
# and niced.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#   scripts/fuzz.sh build        only builds the targets
#
# Every run starts with the regression inputs (tests/data/fuzz/<target>), the
# committed text seeds (tests/fuzz/seeds/<target>), the made seeds and the
# inputs kept from earlier runs (build/fuzz/corpus/<target>), so a crash on any
# of them fails the script before new inputs are tried. A crash leaves its
# input in build/fuzz/artifacts/<target>/. TOVARINTH_VENDOR_TOOL names the
# vendor tool (default: the one of build/test); FUZZ_JOBS sets the build's
# parallelism (default 1).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-300}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(json envelope hex unzip version icmp)
vendor="${TOVARINTH_VENDOR_TOOL:-$root/build/test/tools/vendor/tovarinth-vendor}"

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 1; }
[ -x "$vendor" ] || { echo "fuzz.sh: no vendor tool at $vendor (build it, or set TOVARINTH_VENDOR_TOOL)" >&2; exit 1; }

out="$root/build/fuzz"
build="$out/cmake"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
started=$(date +%s)
nice -n 10 cmake --build "$build" -j "${FUZZ_JOBS:-1}"
echo "fuzz build: $(( $(date +%s) - started )) s"
[ "$seconds" != build ] || exit 0

# Seeds: what the vendor tool makes for users (package archives, enciphered
# files, checksums, stub executables), some of them cut short or bent.
seeds="$out/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"/{json,envelope,hex,unzip,version,icmp}
(
  export XDG_CONFIG_HOME="$seeds/config"
  cd "$seeds"
  cp "$root/data/demo/catalogue.json" json/
  # Each committed envelope seed enciphered as the file itself (first byte with
  # bits 0x30 set); the installed database gets the wrong key this way.
  for f in "$root"/tests/fuzz/seeds/envelope/*; do
    tail -c +2 "$f" >plain
    "$vendor" encrypt --key builtin plain cipher
    { head -c 1 "$f" | tr '@ABC' 'pqrs'; cat cipher; } >"envelope/raw-$(basename "$f")"
  done
  sum="$("$vendor" checksum canon 1.2.0)"
  printf '%s' "$sum" >hex/checksum
  printf '%s' "${sum,,}" >hex/lower
  printf '%s' "${sum:0:31}" >hex/odd
  printf '%s  %s' "${sum:0:8}" "${sum:8}" >hex/grouped
  echo '[{"Model":"EOS R5","Type":1},{"Model":"EOS R6","Type":1}]' >models.json
  pack() {
    local name="$1"
    shift
    "$vendor" pack --name canon --version 1.2 --models models.json --out pack "$@" >/dev/null
    mv pack/*.Z "unzip/$name.zip"
  }
  pack package
  pack subfolder --subfolder deep/er
  pack parent --subfolder ../../..
  pack absolute --subfolder /abs
  pack password --password secret
  head -c 120 unzip/package.zip >unzip/cut.zip
  "$vendor" stub-editor --product-version 1.2.3.1316 version/stub
  "$vendor" stub-editor --product-version "$(printf '9%.0s' {1..300})" --lang 0409 --codepage 04E4 version/long
  head -c 700 version/stub >version/cut
  printf '\x02\x00\x00\x00\x00\x12\x34\x00\x07ECHO' >icmp/echo-reply
  printf '\x03\x45\x00\x00\x24\x00\x00\x40\x00\x40\x01\x00\x00\x7f\x00\x00\x01\x7f\x00\x00\x01\x00\x00\x00\x00\x12\x34\x00\x07' >icmp/raw-echo-reply
)

# The harnesses leave their scratch folders behind: they live here, until the
# next run.
export TMPDIR="$out/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for t in "${targets[@]}"; do
  corpus="$out/corpus/$t"
  artifacts="$out/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  extra=("$seeds/$t")
  for d in "$root/tests/fuzz/seeds/$t" "$root/tests/data/fuzz/$t"; do
    [ -d "$d" ] && extra+=("$d")
  done
  log="$out/$t.log"
  echo "== $t: ${seconds} s"
  status=0
  # Archives and executables are larger than the documents of the others.
  max_len=16384
  case "$t" in unzip|version) max_len=65536 ;; esac
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

#!/usr/bin/env bash
# The program's own cost under Xvfb, against a trivial Qt Widgets window (one
# label) started the same way in the same run, both under /usr/bin/time -v and
# with the paint trace (TOVARINTH_TRACE_FILE); the times are medians of several
# runs:
#   - start of the process to the main window painted with the demo world's
#     data (the first paint after the profile sync), target <= 2 x the
#     trivial window's first paint;
#   - peak memory (maximum resident set size) of the manager after the sync and
#     the model browser opened on the largest built-in maker, target <= 2 x the
#     trivial window's.
# The demo world comes from the vendor tool (demo-world over data/demo), in a
# folder of its own with its own settings and vendor site on 127.0.0.1.
#   scripts/cost.sh [BUILD_DIR]   (default build/bench; built here if needed)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/lib.sh"
build="${1:-$root/build/bench}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVARINTH_TESTS=OFF \
    -DTOVARINTH_GUI=ON >/dev/null
elif ! grep -q '^TOVARINTH_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "cost.sh: $build is configured without the windows (TOVARINTH_GUI=OFF)" >&2
  exit 1
fi
cmake --build "$build" --target tovarinth tovarinth-vendor cost_trivial_window >/dev/null

vendor="$build/tools/vendor/tovarinth-vendor"
trivial="$build/bench/cost_trivial_window"
work="$(mktemp -d)"
export XDG_CONFIG_HOME="$work/config" # never the user's own settings
unset QT_QPA_PLATFORM

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() { # file pattern tenths-of-a-second
  for _ in $(seq "$3"); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $1" >&2
  return 1
}
field() { # trace-file event column: 2 ms since the process started, 3 epoch ms
  awk -v e="$2" -v c="$3" '$1 == e { print $c; exit }' "$1"
}
rss() { sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$1"; }
now_ms() { date +%s%3N; }

# The vendor site and the demo world.
mkdir -p "$work/world/site"
start_vendor_site "$vendor" "$work/world/site" "$work"
url="$site_url"
"$vendor" demo-world --data "$root/data/demo" --world "$work/world" --url "$url" \
  --manager "$build/src/tovarinth" >/dev/null
export TOVARINTH_VENDOR_URL="$url"
manager="$work/world/editor/tovarinth"

start_xvfb 1024x768x24

run_manager() { # trace-file time-file; leaves the pid in manager_pid
  TOVARINTH_TRACE_FILE="$1" /usr/bin/time -v -o "$2" "$manager" >"$work/manager.log" 2>&1 &
  manager_pid=$!
  pids+=($manager_pid)
}
click_bottom_right() { # window-name-pattern: the button in the window's bottom right corner
  local window
  window=$(xdotool search --name "$1" 2>/dev/null | tail -n 1 || true)
  [ -n "$window" ] || return 0
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --sync $((X + WIDTH - 45)) $((Y + HEIGHT - 22)) click 1 2>/dev/null || true
}
close_manager() {
  # The close button, as a user ends the program.
  click_bottom_right 'Kestrovia Morvelin'
  for _ in $(seq 50); do
    kill -0 "$manager_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$manager_pid" 2>/dev/null || true
  wait "$manager_pid" 2>/dev/null || true
}

# Each program is started once to warm the file cache (libraries, fonts).
# Then both are started in turn TOVARINTH_COST_RUNS times (default 9), so a
# busy moment of the machine falls on both alike, and the medians compared:
# one slow start of either does not decide the ratio.
TOVARINTH_TRACE_FILE="$work/warm.trace" "$trivial" 200 >/dev/null 2>&1 || true
run_manager "$work/warm-manager.trace" "$work/warm-manager.time"
wait_for "$work/warm-manager.trace" '^paint-after-sync-done ' 150
close_manager

runs="${TOVARINTH_COST_RUNS:-9}"
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for i in $(seq "$runs"); do
  start=$(now_ms)
  TOVARINTH_TRACE_FILE="$work/trivial$i.trace" /usr/bin/time -v -o "$work/trivial$i.time" \
    "$trivial" 1000 >/dev/null 2>&1
  echo $(($(field "$work/trivial$i.trace" first-paint 3) - start)) >>"$work/trivial.paint"
  rss "$work/trivial$i.time" >>"$work/trivial.rss"

  start=$(now_ms)
  run_manager "$work/manager$i.trace" "$work/manager$i.time"
  wait_for "$work/manager$i.trace" '^paint-after-sync-done ' 150
  echo $(($(field "$work/manager$i.trace" first-paint 3) - start)) >>"$work/manager.first"
  echo $(($(field "$work/manager$i.trace" paint-after-sync-done 3) - start)) >>"$work/manager.data"
  [ "$i" = "$runs" ] || close_manager
done
trivial_paint=$(median <"$work/trivial.paint")
trivial_rss=$(median <"$work/trivial.rss")
manager_first=$(median <"$work/manager.first")
manager_data=$(median <"$work/manager.data")

# The model browser on the largest built-in maker: Canon, the list's first
# row. Double-click it where the list shows it.
window=$(xdotool search --name 'Kestrovia Morvelin' | head -n 1)
xdotool windowactivate --sync "$window" 2>/dev/null || true
import -window root "$build/cost-main.png" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "main window at $X,$Y size ${WIDTH}x$HEIGHT (screenshot $build/cost-main.png)"
row_x=$((X + 140))
row_y=$((Y + ${TOVARINTH_COST_ROW_Y:-85}))
xdotool mousemove --sync "$row_x" "$row_y" click 1 sleep 0.2 click --repeat 2 --delay 80 1
wait_for "$work/manager$runs.trace" '^browser-filled ' 50
sleep 1
import -window root "$work/browser.png" 2>/dev/null && cp "$work/browser.png" "$build/cost-browser.png" || true
click_bottom_right '浏览 '
sleep 0.3
close_manager
manager_rss=$(rss "$work/manager$runs.time")

echo "runs: $runs; each figure the median (all runs in ms: trivial $(paste -sd' ' "$work/trivial.paint"), manager painted with data $(paste -sd' ' "$work/manager.data"))"
echo "trivial window: first paint ${trivial_paint} ms after start, peak RSS ${trivial_rss} kB"
echo "manager: first paint ${manager_first} ms, painted with the demo data (after the sync) ${manager_data} ms"
echo "manager: peak RSS after the sync and the model browser on Canon ${manager_rss} kB"
awk -v a="$manager_data" -v b="$trivial_paint" \
  'BEGIN { printf "figure: start to painted with data / trivial first paint: %.2f (target <= 2)\n", a / b }'
awk -v a="$manager_first" -v b="$trivial_paint" \
  'BEGIN { printf "ratio start to first paint / trivial first paint: %.2f\n", a / b }'
# The sync cannot begin before the online check's timer, 50 ms after the
# window starts loading; what the manager spends besides that wait:
awk -v a="$manager_data" -v b="$trivial_paint" \
  'BEGIN { printf "ratio start to painted with data, less the check timer'"'"'s 50 ms / trivial first paint: %.2f\n", (a - 50) / b }'
awk -v a="$manager_rss" -v b="$trivial_rss" \
  'BEGIN { printf "figure: peak RSS / trivial peak RSS: %.2f (target <= 2)\n", a / b }'
echo "trace of the manager:"
sed 's/^/  /' "$work/manager$runs.trace"

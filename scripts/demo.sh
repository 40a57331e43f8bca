#!/usr/bin/env bash
# The demo: installs what is missing, builds, makes a demo world under
# build/demo/world (an editor installation, a local vendor site on 127.0.0.1
# and a settings store of its own) and opens the manager in it. Without a
# display it runs the manager under Xvfb, waits for the sync, saves a
# screenshot, prints its path on the last line and ends.
#   scripts/demo.sh          a fresh demo world
#   scripts/demo.sh --keep   keep the world of the last run (installed packages stay)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
keep=0
[ "${1:-}" = "--keep" ] && keep=1

source "$root/scripts/lib.sh"
"$root/scripts/setup.sh"
build="$root/build/demo"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOVARINTH_TESTS=OFF -DTOVARINTH_BENCH=OFF >/dev/null
cmake --build "$build" --target tovarinth tovarinth-vendor

world="$build/world"
vendor="$build/tools/vendor/tovarinth-vendor"
[ "$keep" = 1 ] || rm -rf "$world"
mkdir -p "$world/site"
export XDG_CONFIG_HOME="$world/config" # never the user's own settings

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

start_vendor_site "$vendor" "$world/site" "$world"
url="$site_url"

if [ "$keep" = 1 ] && [ -f "$world/editor/tovarinth" ]; then
  # Only the site's address changed.
  printf '%s' "$url" >"$world/site/update/tvh_endpoint.txt"
  sed -i "s#\"hub\":\"http://127.0.0.1:[0-9]*/hub/\"#\"hub\":\"$url/hub/\"#" "$world"/site/kvxta_user_ext_info/*
else
  "$vendor" demo-world --data "$root/data/demo" --world "$world" --url "$url" --manager "$build/src/tovarinth" >/dev/null
fi
export TOVARINTH_VENDOR_URL="$url"
manager="$world/editor/tovarinth"

if [ -n "${DISPLAY:-}" ] && [ "${TOVARINTH_DEMO_HEADLESS:-0}" != 1 ]; then
  echo "Demo world: $world; vendor site: $url"
  "$manager"
  exit 0
fi

# No display: Xvfb, wait until the profile was fetched and the list drawn,
# then a screenshot.
start_xvfb 1024x720x24
"$manager" >"$world/manager.log" 2>&1 &
manager_pid=$!
pids+=($manager_pid)
for _ in $(seq 200); do
  grep -q 'kvxta_user_ext_info' "$world/site.log" 2>/dev/null && break
  sleep 0.05
done
sleep 2 # the list is rebuilt and painted after the profile arrives
shot="$world/demo-main-window.png"
window=$(xdotool search --name 'Kestrovia Morvelin' 2>/dev/null | head -n 1) || true
# A selected row (the Leica package, the 20th), as the README shows the list.
if [ -n "$window" ]; then
  xdotool mousemove --window "$window" 160 579 click 1 || true
  sleep 0.5
fi
import -window root "$shot"
# The model browser of the installed Fujifilm package (its row is the 16th).
if [ -n "$window" ]; then
  xdotool mousemove --window "$window" 160 475 click --repeat 2 --delay 80 1 || true
  sleep 1
  import -window root "$world/demo-model-browser.png"
  xdotool key Escape || true
fi
kill "$manager_pid" 2>/dev/null || true
echo "$shot"

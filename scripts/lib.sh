# Shared by demo.sh and cost.sh: the local vendor site and a virtual display.
# Each start adds its process to the caller's pids array; the caller stops
# them on exit.

# start_vendor_site VENDOR_TOOL ROOT LOG_DIR: serves ROOT on a free port of
# 127.0.0.1 and sets site_url; LOG_DIR/site.log gets the request log.
start_vendor_site() {
  "$1" serve --root "$2" --port 0 >"$3/site.out" 2>"$3/site.log" &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q '^port ' "$3/site.out" 2>/dev/null && break
    sleep 0.05
  done
  local port
  port=$(sed -n 's/^port //p' "$3/site.out")
  [ -n "$port" ] || { echo "the vendor site did not start: $(cat "$3/site.log")" >&2; return 1; }
  site_url="http://127.0.0.1:$port"
}

# start_xvfb WIDTHxHEIGHTxDEPTH: a virtual display, exported as DISPLAY.
start_xvfb() {
  local display=":$((90 + RANDOM % 160))"
  Xvfb "$display" -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY="$display"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "Xvfb did not start on $display" >&2
  return 1
}

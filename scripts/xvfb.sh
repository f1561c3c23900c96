# Sourced: start_xvfb picks a free display number, starts Xvfb on it, waits until it
# answers and exports DISPLAY; stop_xvfb ends it.
start_xvfb() {
  local number
  for number in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] && continue
    Xvfb ":$number" -noreset -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 1 100); do
      if xdpyinfo >/dev/null 2>&1; then return 0; fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_xvfb() {
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null || true
}

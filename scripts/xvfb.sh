# Sourced: start_xvfb [WIDTHxHEIGHT] starts a private Xvfb (1280x800 by default) and
# exports DISPLAY; stop_xvfb ends it. Xvfb picks a free display number itself and
# reports it once it accepts connections, so runs side by side never race for one
# (tests/xvfb_server.py does the same for Python).
start_xvfb() {
  local reported
  reported=$(mktemp)
  exec {XVFB_FD}>"$reported"
  Xvfb -displayfd "$XVFB_FD" -noreset -screen 0 "${1:-1280x800}x24" -nolisten tcp \
    >/dev/null 2>&1 &
  XVFB_PID=$!
  exec {XVFB_FD}>&-
  for _ in $(seq 1 200); do
    [[ -s $reported ]] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  if [[ ! -s $reported ]]; then
    rm -f "$reported"
    echo "could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=":$(head -n 1 "$reported")"
  rm -f "$reported"
}

stop_xvfb() {
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null || true
}

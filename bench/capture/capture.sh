#!/usr/bin/env bash
# CameraDll.dll on a private 1920x1080 Xvfb: time from the call to the overlay's first
# frame, and the peak memory a capture adds (see bench/capture/CaptureBench.cpp).
#
# Usage: bench/capture/capture.sh [BUILD_DIR]     (default: build; RUNS=15 measured runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bench=$build/bench/capture/capture_bench
library=$build/components/CameraDll.dll
for file in "$bench" "$library"; do
  if [[ ! -e $file ]]; then
    echo "missing $file; build it: cmake --build $build --target capture_bench capture" >&2
    exit 1
  fi
done

work=$(mktemp -d)
chmod 700 "$work"
xvfb=""
cleanup() {
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and reports it once it accepts connections.
exec {display_fd}>"$work/display"
Xvfb -displayfd "$display_fd" -noreset -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec {display_fd}>&-
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.05
done
if [[ ! -s $work/display ]]; then
  echo "Xvfb did not start" >&2
  exit 1
fi

DISPLAY=":$(head -n 1 "$work/display")" XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb \
  "$bench" "$library" "${RUNS:-15}"

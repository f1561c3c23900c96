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
# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
cleanup() {
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb 1920x1080

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb "$bench" "$library" "${RUNS:-15}"

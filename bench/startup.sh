#!/usr/bin/env bash
# Start-up time, from starting the process to its main window being shown, for
# orvane-notepad and for bare_window (a Qt window that does nothing else), on one Xvfb.
# Prints the median of each and their ratio. See bench/README.md.
#
# Usage: bench/startup.sh [BUILD_DIR]     (default: build; RUNS=15 runs of each)
#
# Method: `xev -root -event substructure` runs for the whole measurement and reports every
# window mapped on the screen as it happens. A run's clock starts ($EPOCHREALTIME) just
# before the program is launched and stops when xev reports the MapNotify of a top-level
# window that is not override-redirect. With no window manager that window is viewable
# at that instant; after the clock stops, `xdotool search --onlyvisible --pid` confirms
# that the mapped window belongs to the launched process and is visible. Polling with
# xdotool instead would add its own start-up (~20 ms here) to the resolution.
# Runs alternate between the two programs so that background load hits both alike; one
# unmeasured run of each comes first to warm the caches.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-15}
program=$build/orvane-notepad
reference=$build/bench/bare_window
for executable in "$program" "$reference"; do
  if [[ ! -x $executable ]]; then
    echo "missing $executable; build it: cmake --build $build --target orvane-notepad bare_window" >&2
    exit 1
  fi
done

# shellcheck source=SCRIPTDIR/../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
work=$(mktemp -d)
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb
running=""
cleanup() {
  [[ -n $running ]] && kill "$running" 2>/dev/null
  [[ -n ${XEV_PID:-} ]] && kill "$XEV_PID" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb

coproc XEV { exec xev -root -event substructure; }
sleep 0.5 # xev selects its events on the root once connected

# Launches $1 and sets `elapsed` to the milliseconds until its window is mapped; then ends it.
elapsed=0
measure() {
  local line window="" start stop deadline
  while IFS= read -r -t 0.05 line <&"${XEV[0]}"; do :; done # events of earlier runs
  start=$EPOCHREALTIME
  "$1" >/dev/null 2>&1 &
  running=$!
  deadline=$((${start%[.,]*} + 20))
  while [[ -z $window ]]; do
    if ! IFS= read -r -t 20 line <&"${XEV[0]}" || ((${EPOCHREALTIME%[.,]*} > deadline)); then
      echo "no window from $1 within 20 s" >&2
      exit 1
    fi
    [[ $line == MapNotify* ]] || continue
    IFS= read -r -t 5 line <&"${XEV[0]}" || continue
    stop=$EPOCHREALTIME
    [[ $line == *"override NO"* ]] || continue
    window=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
  done
  if ! xdotool search --onlyvisible --pid "$running" | grep -qx "$((window))"; then
    echo "the window mapped ($window) is not a visible window of $1" >&2
    exit 1
  fi
  kill "$running"
  wait "$running" 2>/dev/null || true
  running=""
  elapsed=$(((${stop//[.,]/} - ${start//[.,]/}) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

measure "$program"
measure "$reference"
program_times=()
reference_times=()
for _ in $(seq "$runs"); do
  measure "$program"
  program_times+=("$elapsed")
  measure "$reference"
  reference_times+=("$elapsed")
done

program_median=$(printf '%s\n' "${program_times[@]}" | median)
reference_median=$(printf '%s\n' "${reference_times[@]}" | median)
echo "start-up to shown window, median of $runs runs on one Xvfb:"
echo "  orvane-notepad  $program_median ms   (runs: ${program_times[*]})"
echo "  bare_window     $reference_median ms   (runs: ${reference_times[*]})"
awk -v p="$program_median" -v r="$reference_median" \
  'BEGIN { printf "  ratio           %.2f (orvane-notepad / bare_window)\n", p / r }'

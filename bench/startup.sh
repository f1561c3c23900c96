#!/usr/bin/env bash
# Start-up time and memory of orvane-notepad against bare_window (a Qt window that does
# nothing else), side by side on one Xvfb, in two network settings:
#   offline  no interface but loopback, no route
#   nodns    online (an interface with a default route), but the name server never answers
# Each run is in network and mount namespaces of its own (tests/e2e/online_namespace.sh
# under unshare), so nothing leaves the machine. Prints per setting the median time from
# the exec to the first window shown, the median peak RSS, and the ratios to bare_window.
# See bench/README.md.
#
# Usage: bench/startup.sh [BUILD_DIR]     (as root; default build; RUNS=15 runs of each)
#
# Method: `xev -root -event substructure` runs for the whole measurement and reports every
# window mapped on the screen as it happens. A run's clock starts ($EPOCHREALTIME) in the
# shell that then execs the program, after the namespace is set up, and stops when xev
# reports the MapNotify of a top-level window that is not override-redirect. With no
# window manager that window is viewable at that instant; `xdotool search --onlyvisible
# --pid` then confirms it belongs to the launched process. Offline, the program's first
# window is its warning box "语音可能不可用！" (the main window follows once it is
# closed, as designed): the box is what the user sees first. The peak RSS is VmHWM of
# /proc/PID/status read SETTLE seconds (default 2) after the window was mapped, just
# before the process is ended: it covers the first paint and the work that follows the
# window (the update check's answer comes within 1.5 s).
# Polling with xdotool instead of xev would add its own start-up (~20 ms here) to the
# resolution. Runs alternate between the programs and the settings so that background
# load hits all alike; one unmeasured run of each comes first to warm the caches.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-15}
settle=${SETTLE:-2}
program=$build/orvane-notepad
reference=$build/bench/bare_window
namespace=$root/tests/e2e/online_namespace.sh
for executable in "$program" "$reference"; do
  if [[ ! -x $executable ]]; then
    echo "missing $executable; build it: cmake --build $build --target orvane-notepad bare_window" >&2
    exit 1
  fi
done
if [[ $(id -u) -ne 0 ]] || ! command -v unshare >/dev/null; then
  echo "needs root and unshare (new network namespaces)" >&2
  exit 1
fi

# shellcheck source=SCRIPTDIR/../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
work=$(mktemp -d)
chmod 700 "$work"
# A home of its own: no settings, recovery copies or autosaves of other runs.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
running=""
cleanup() {
  [[ -n $running ]] && kill -KILL "$running" 2>/dev/null
  [[ -n ${XEV_PID:-} ]] && kill "$XEV_PID" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb

coproc XEV { exec xev -root -event substructure; }
sleep 0.5 # xev selects its events on the root once connected
kill -0 "$XEV_PID" 2>/dev/null || { echo "xev could not connect to Xvfb" >&2; exit 1; }

# Launches $2 in setting $1; sets `elapsed` (ms until its first window is mapped) and
# `peak` (its peak RSS in MB); then ends it.
elapsed=0
peak=0
run_number=0
measure() {
  local mode=$1 executable=$2 line window="" start stop deadline run_dir
  run_number=$((run_number + 1))
  run_dir=$work/run$run_number
  mkdir -p "$run_dir/www"
  while IFS= read -r -t 0.05 line <&"${XEV[0]}"; do :; done # events of earlier runs
  # The namespace script and the stamping shell exec in turn: $! is the program's pid.
  # shellcheck disable=SC2016 # expanded by that shell
  unshare --net --mount "$namespace" "$mode" "$run_dir" \
    bash -c 'echo "$EPOCHREALTIME" >"$1/exec-time"; shift; exec "$@"' - "$run_dir" \
    "$executable" >"$run_dir/program.log" 2>&1 &
  running=$!
  deadline=$((${EPOCHREALTIME%[.,]*} + 30))
  while [[ -z $window ]]; do
    if ! IFS= read -r -t 30 line <&"${XEV[0]}" || ((${EPOCHREALTIME%[.,]*} > deadline)); then
      echo "no window from $executable ($mode) within 30 s" >&2
      cat "$run_dir/program.log" >&2
      exit 1
    fi
    [[ $line == MapNotify* ]] || continue
    IFS= read -r -t 5 line <&"${XEV[0]}" || continue
    stop=$EPOCHREALTIME
    [[ $line == *"override NO"* ]] || continue
    window=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
  done
  if ! xdotool search --onlyvisible --pid "$running" | grep -qx "$((window))"; then
    echo "the window mapped ($window) is not a visible window of $executable" >&2
    exit 1
  fi
  sleep "$settle"
  peak=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$running/status")
  # The program keeps unsaved text at SIGTERM; a box may stand open: KILL after a while.
  kill "$running"
  for _ in $(seq 40); do
    kill -0 "$running" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$running" 2>/dev/null || true
  wait "$running" 2>/dev/null || true
  running=""
  start=$(<"$run_dir/exec-time")
  elapsed=$(((${stop//[.,]/} - ${start//[.,]/}) / 1000))
  rm -rf "$run_dir"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times peaks
modes=(offline nodns)
for mode in "${modes[@]}"; do
  measure "$mode" "$program"
  measure "$mode" "$reference"
done
for _ in $(seq "$runs"); do
  for mode in "${modes[@]}"; do
    for name in program reference; do
      measure "$mode" "${!name}"
      times[$mode.$name]+="$elapsed "
      peaks[$mode.$name]+="$peak "
    done
  done
done

# The median of the runs recorded under key $1 in the array named $2.
median_of() {
  local -n list=$2
  # shellcheck disable=SC2086 # the lists are space-separated numbers
  printf '%s\n' ${list[$1]} | median
}

echo "exec to first window shown and peak RSS, median of $runs runs on one Xvfb, load $(cut -d' ' -f1-3 /proc/loadavg):"
for mode in "${modes[@]}"; do
  case $mode in
    offline) echo "offline (no route; orvane-notepad's first window is its warning box):" ;;
    nodns) echo "name server never answers:" ;;
  esac
  program_time=$(median_of "$mode.program" times)
  program_peak=$(median_of "$mode.program" peaks)
  reference_time=$(median_of "$mode.reference" times)
  reference_peak=$(median_of "$mode.reference" peaks)
  printf '  orvane-notepad  %5s ms  %5s MB   (runs: %s)\n' "$program_time" "$program_peak" \
    "${times[$mode.program]% }"
  printf '  bare_window     %5s ms  %5s MB   (runs: %s)\n' "$reference_time" "$reference_peak" \
    "${times[$mode.reference]% }"
  awk -v p="$program_time" -v r="$reference_time" -v pm="$program_peak" -v rm="$reference_peak" \
    'BEGIN { printf "  ratio           %5.2f     %5.2f    (orvane-notepad / bare_window)\n", p / r, pm / rm }'
done

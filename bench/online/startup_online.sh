#!/usr/bin/env bash
# Start-up time of orvane-notepad with its check for a newer version, from the exec of
# the program to its main window being shown, in three settings:
#   served   the release page (naming V6.3, so no box) comes from a local server
#   silent   the forum host accepts the connection and never answers
#   offline  no route at all: the warning box comes first; the script closes it at once
#   nodns    online, but the name server never answers: the look-up waits in vain
# Each run is in network and mount namespaces of its own (tests/e2e/online_namespace.sh
# under unshare), so nothing leaves the machine. Prints the medians and their ratios to
# the served case. See bench/README.md.
#
# Usage: bench/online/startup_online.sh [BUILD_DIR]    (as root; RUNS=7 runs of each)
#
# Method as in bench/startup.sh: `xev -root -event substructure` reports each window
# mapped on the one Xvfb; the clock stops at the MapNotify of a top-level window that
# is not override-redirect. It starts just before the exec of the program, after the
# namespace and its server are set up, so that their set-up is not counted.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${RUNS:-7}
program=$build/orvane-notepad
namespace=$root/tests/e2e/online_namespace.sh
release_page=thread-11379-1-1.html
offline_caption="语音可能不可用！"

if [[ ! -x $program ]]; then
  echo "missing $program; build it: cmake --build $build --target orvane-notepad" >&2
  exit 1
fi
if [[ $(id -u) -ne 0 ]] || ! command -v unshare >/dev/null; then
  echo "needs root and unshare (new network namespaces)" >&2
  exit 1
fi

# shellcheck source=SCRIPTDIR/../../scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
work=$(mktemp -d)
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=xcb
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
running=""
run_dir=""
cleanup() {
  [[ -n $running ]] && kill "$running" 2>/dev/null
  end_server
  [[ -n ${XEV_PID:-} ]] && kill "$XEV_PID" 2>/dev/null
  stop_xvfb
  rm -rf "$work"
}
# The server ends once the program has; this waits for that, and ends it if need be.
end_server() {
  [[ -n $run_dir && -s $run_dir/server.pid ]] || return 0
  local pid
  pid=$(<"$run_dir/server.pid")
  for _ in $(seq 50); do
    [[ -e /proc/$pid ]] || return 0
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
}
trap cleanup EXIT
start_xvfb

coproc XEV { exec xev -root -event substructure; }
sleep 0.5 # xev selects its events on the root once connected
kill -0 "$XEV_PID" 2>/dev/null || { echo "xev could not connect to Xvfb" >&2; exit 1; }

# Runs the program in MODE; sets `elapsed` (ms to the main window) and, offline,
# `box_elapsed` (ms to the warning). The program is ended once measured.
elapsed=0
box_elapsed=0
run_number=0
measure() {
  local mode=$1 line window="" mapped start stop name deadline
  run_number=$((run_number + 1))
  run_dir=$work/run$run_number
  mkdir -p "$run_dir/www"
  printf '<html><body>Orvane V6.3</body></html>\n' >"$run_dir/www/$release_page"
  while IFS= read -r -t 0.05 line <&"${XEV[0]}"; do :; done # events of earlier runs
  # The stamp is taken by the shell that then becomes the program.
  # shellcheck disable=SC2016 # expanded by that shell
  unshare --net --mount "$namespace" "$mode" "$run_dir" \
    bash -c 'echo "$EPOCHREALTIME" >"$1/exec-time"; shift; exec "$@"' - "$run_dir" "$program" \
    >"$run_dir/program.log" 2>&1 &
  running=$!
  deadline=$((${EPOCHREALTIME%[.,]*} + 30))
  box_elapsed=0
  while [[ -z $window ]]; do
    if ! IFS= read -r -t 30 line <&"${XEV[0]}" || ((${EPOCHREALTIME%[.,]*} > deadline)); then
      echo "no window in mode $mode within 30 s" >&2
      cat "$run_dir/program.log" >&2
      exit 1
    fi
    [[ $line == MapNotify* ]] || continue
    IFS= read -r -t 5 line <&"${XEV[0]}" || continue
    stop=$EPOCHREALTIME
    [[ $line == *"override NO"* ]] || continue
    mapped=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
    name=$(xdotool getwindowname "$mapped" 2>/dev/null || true)
    if [[ $name == "$offline_caption" && $mode == offline && $box_elapsed == 0 ]]; then
      start=$(<"$run_dir/exec-time")
      box_elapsed=$(((${stop//[.,]/} - ${start//[.,]/}) / 1000))
      xdotool windowfocus --sync "$mapped" key Return
    elif [[ $name == Orvane* ]]; then
      window=$mapped
    else
      echo "unexpected window \"$name\" in mode $mode" >&2
      exit 1
    fi
  done
  if ! xdotool search --onlyvisible --pid "$running" | grep -qx "$((window))"; then
    echo "the window mapped ($window) is not a visible window of the program" >&2
    exit 1
  fi
  if [[ $mode == offline && $box_elapsed == 0 ]]; then
    echo "offline, but no warning came before the window" >&2
    exit 1
  fi
  kill "$running"
  wait "$running" 2>/dev/null || true
  running=""
  end_server
  start=$(<"$run_dir/exec-time")
  elapsed=$(((${stop//[.,]/} - ${start//[.,]/}) / 1000))
  rm -rf "$run_dir"
  run_dir=""
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

measure served
measure offline
served=()
silent=()
offline=()
offline_box=()
nodns=()
for _ in $(seq "$runs"); do
  measure served
  served+=("$elapsed")
  measure silent
  silent+=("$elapsed")
  measure offline
  offline+=("$elapsed")
  offline_box+=("$box_elapsed")
  measure nodns
  nodns+=("$elapsed")
done

served_median=$(printf '%s\n' "${served[@]}" | median)
silent_median=$(printf '%s\n' "${silent[@]}" | median)
offline_median=$(printf '%s\n' "${offline[@]}" | median)
box_median=$(printf '%s\n' "${offline_box[@]}" | median)
nodns_median=$(printf '%s\n' "${nodns[@]}" | median)
ratio() { awk -v a="$1" -v b="$served_median" 'BEGIN { printf "%.2f", a / b }'; }
echo "exec to shown main window, median of $runs runs each, in a network namespace:"
printf '  %-38s %6s ms              (runs: %s)\n' "release page served locally" \
  "$served_median" "${served[*]}"
printf '  %-38s %6s ms   ratio %5s  (runs: %s)\n' "host never answers" "$silent_median" \
  "$(ratio "$silent_median")" "${silent[*]}"
printf '  %-38s %6s ms   ratio %5s  (runs: %s)\n' "offline: the warning shown" "$box_median" \
  "$(ratio "$box_median")" "${offline_box[*]}"
printf '  %-38s %6s ms   ratio %5s  (runs: %s)\n' "offline: window, warning closed at once" \
  "$offline_median" "$(ratio "$offline_median")" "${offline[*]}"
printf '  %-38s %6s ms   ratio %5s  (runs: %s)\n' "name server never answers" \
  "$nodns_median" "$(ratio "$nodns_median")" "${nodns[*]}"
echo "  (ratios to the served case)"

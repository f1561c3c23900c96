#!/bin/bash
# Usage: kwin-session.sh CMD...
# Runs CMD inside a fresh headless KWin (kwin_wayland --virtual, with XWayland), its own D-Bus
# session bus, PipeWire and the desktop portal with the kde back end only; ends them afterwards.
# As root everything runs as the user nobody in a PID namespace of its own (see
# sway-session.sh). KWIN_KEYS names the key sender built from KwinKeys.c.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" = 0 ]; then
  exec unshare --pid --fork --kill-child --mount-proc setpriv --reuid=65534 --regid=65534 --clear-groups "$0" "$@"
fi
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/kwin-run.XXXXXX); chmod 700 "$XDG_RUNTIME_DIR"
export HOME=$XDG_RUNTIME_DIR XDG_CONFIG_HOME=$XDG_RUNTIME_DIR/config XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
export ${KWIN_EXTRA_ENV:-KWIN_DUMMY=1} XDG_DATA_DIRS=$XDG_RUNTIME_DIR/data:/usr/local/share:/usr/share KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 KWIN_COMPOSE=${KWIN_COMPOSE-Q} QT_QPA_PLATFORM=wayland
export XDG_DESKTOP_PORTAL_DIR=$XDG_RUNTIME_DIR/portals
mkdir -p "$XDG_DESKTOP_PORTAL_DIR" "$XDG_CONFIG_HOME"
for p in ${PORTALS-kde}; do cp /usr/share/xdg-desktop-portal/portals/$p.portal "$XDG_DESKTOP_PORTAL_DIR/"; done
unset DISPLAY WAYLAND_DISPLAY
# KWin grants its fake-input protocol only to programs named in a desktop file.
mkdir -p "$XDG_RUNTIME_DIR/data/applications"
printf '[Desktop Entry]\nType=Application\nName=kwin-keys\nExec=%s\nNoDisplay=true\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
  "${KWIN_KEYS:-$here/kwin-keys}" > "$XDG_RUNTIME_DIR/data/applications/kwin-keys.desktop"
# /usr/bin/kwin_wayland carries a file capability that a container may not grant (exec fails with
# EPERM); a plain copy has none.
cp /usr/bin/kwin_wayland "$XDG_RUNTIME_DIR/kwin_wayland"
exec dbus-run-session -- bash -c '
  t0=$(date +%s%N); log=$XDG_RUNTIME_DIR/session.log
  ts=$(date +%s%N); kbuildsycoca5 >>$log 2>&1; echo "kbuildsycoca5: $(( ($(date +%s%N)-ts)/1000000 )) ms" >&2
  pipewire >>$log 2>&1 & pw=$!
  wireplumber >>$log 2>&1 & wp=$!
  # Other sessions may run on the machine: XWayland'"'"'s display is the socket that is new.
  before=" $(ls /tmp/.X11-unix/ 2>/dev/null | tr "\n" " ") "
  $XDG_RUNTIME_DIR/kwin_wayland --virtual --xwayland --width 1280 --height 800 --socket wayland-kde >$XDG_RUNTIME_DIR/kwin.log 2>&1 & kw=$!
  for i in $(seq 1 2000); do [ -S $XDG_RUNTIME_DIR/wayland-kde ] && break; sleep 0.01; done
  export WAYLAND_DISPLAY=wayland-kde
  for i in $(seq 1 2000); do d=$(ls /tmp/.X11-unix/ 2>/dev/null | while read n; do case "$before" in *" $n "*) ;; *) [ "$(stat -c %U /tmp/.X11-unix/$n)" = nobody ] && echo ${n#X};; esac; done | head -1); [ -n "$d" ] && break; sleep 0.01; done
  export DISPLAY=:$d
  dbus-update-activation-environment WAYLAND_DISPLAY DISPLAY XDG_CURRENT_DESKTOP QT_QPA_PLATFORM KDE_FULL_SESSION 2>/dev/null
  echo "kwin up in $(( ($(date +%s%N)-t0)/1000000 )) ms (DISPLAY=$DISPLAY)" >&2
  "$@"; rc=$?
  kill $kw $wp $pw; wait $kw $wp $pw 2>/dev/null
  # The document portal mounts doc/ here and may outlive the session by a moment.
  fusermount -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null
  rm -rf "$XDG_RUNTIME_DIR"; exit $rc' session "$@"

#!/bin/bash
# Usage: sway-session.sh CMD...
# Runs CMD inside a fresh headless sway with XWayland, its own D-Bus session bus, PipeWire and
# the desktop portal with the wlr and gtk back ends only; ends them all afterwards. CMD sees
# WAYLAND_DISPLAY, DISPLAY, SWAYSOCK, DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR.
# sway refuses to run as root: as root everything runs as the user nobody, in a PID namespace
# of its own so that the portals D-Bus starts end with the session (--mount-proc: the portal
# reads /proc of its callers).
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "$(id -u)" = 0 ]; then
  exec unshare --pid --fork --kill-child --mount-proc \
    setpriv --reuid=65534 --regid=65534 --clear-groups "$0" "$@"
fi
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/sway-run.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
export HOME=$XDG_RUNTIME_DIR XDG_CONFIG_HOME=$XDG_RUNTIME_DIR/config
export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
export WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
export READY_FILE=$XDG_RUNTIME_DIR/ready XDG_DESKTOP_PORTAL_DIR=$XDG_RUNTIME_DIR/portals
mkdir -p "$XDG_DESKTOP_PORTAL_DIR" "$XDG_CONFIG_HOME"
# Other back ends installed on the machine (kde) would otherwise answer here too.
for p in wlr gtk; do cp /usr/share/xdg-desktop-portal/portals/$p.portal "$XDG_DESKTOP_PORTAL_DIR/"; done
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM
exec dbus-run-session -- bash -c '
  log=$XDG_RUNTIME_DIR/session.log
  pipewire >>$log 2>&1 & pw=$!
  sway -c "'"$here"'/sway.config" >>$log 2>&1 & swaypid=$!
  wireplumber >>$log 2>&1 & wp=$!
  for i in $(seq 1 3000); do [ -e "$READY_FILE" ] && break; sleep 0.01; done
  [ -e "$READY_FILE" ] || { echo "sway did not start:" >&2; cat $log >&2; exit 1; }
  set -a; . "$READY_FILE"; set +a
  # The wlr portal may stall its start when PipeWire does not answer yet.
  for i in $(seq 1 1000); do pw-cli info 0 >/dev/null 2>&1 && break; sleep 0.01; done
  # xdg-desktop-portal-wlr 0.7 can leave a D-Bus call unanswered until the next message
  # arrives: poke it while the session runs.
  while sleep 0.2; do
    dbus-send --session --type=method_call --dest=org.freedesktop.impl.portal.desktop.wlr \
      /org/freedesktop/portal/desktop org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1
  done & poke=$!
  gdbus call --session --timeout 60 --dest org.freedesktop.portal.Desktop \
    --object-path /org/freedesktop/portal/desktop \
    --method org.freedesktop.DBus.Properties.Get org.freedesktop.portal.Screenshot version \
    >/dev/null 2>>$log
  "$@"; rc=$?
  kill $poke $swaypid $wp $pw 2>/dev/null; wait $swaypid $wp $pw 2>/dev/null
  # The document portal mounts doc/ here and may outlive the session by a moment.
  fusermount -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null
  rm -rf "$XDG_RUNTIME_DIR"; exit $rc' session "$@"

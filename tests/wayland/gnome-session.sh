#!/bin/bash
# Usage: gnome-session.sh CMD...
# Runs CMD inside a fresh headless GNOME compositor (mutter --headless with one virtual
# monitor), its own D-Bus session bus, PipeWire and the desktop portal with the gnome and gtk
# back ends only; ends them all afterwards. CMD sees WAYLAND_DISPLAY,
# DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR. As root everything runs as the user nobody,
# in a PID namespace of its own (as sway-session.sh does).
set -u
if [ "$(id -u)" = 0 ]; then
  exec unshare --pid --fork --kill-child --mount-proc \
    setpriv --reuid=65534 --regid=65534 --clear-groups "$0" "$@"
fi
export XDG_RUNTIME_DIR=$(mktemp -d /tmp/gnome-run.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
export HOME=$XDG_RUNTIME_DIR XDG_CONFIG_HOME=$XDG_RUNTIME_DIR/config
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND=memory
export XDG_DESKTOP_PORTAL_DIR=$XDG_RUNTIME_DIR/portals
mkdir -p "$XDG_DESKTOP_PORTAL_DIR" "$XDG_CONFIG_HOME"
# Other back ends installed on the machine would otherwise answer here too.
for p in gnome gtk; do cp /usr/share/xdg-desktop-portal/portals/$p.portal "$XDG_DESKTOP_PORTAL_DIR/"; done
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
exec dbus-run-session -- bash -c '
  log=$XDG_RUNTIME_DIR/session.log
  pipewire >>$log 2>&1 & pw=$!
  wireplumber >>$log 2>&1 & wp=$!
  mutter --headless --wayland --virtual-monitor 1280x800 --wayland-display wayland-gnome \
    >>$log 2>&1 & shell=$!
  # Up once its socket is there and its remote-desktop interface answers (tests press keys
  # through it).
  for i in $(seq 1 3000); do
    [ -S $XDG_RUNTIME_DIR/wayland-gnome ] && gdbus introspect --session \
      -d org.gnome.Mutter.RemoteDesktop -o / >/dev/null 2>&1 && break
    kill -0 $shell 2>/dev/null || break
    sleep 0.02
  done
  [ -S $XDG_RUNTIME_DIR/wayland-gnome ] || { echo "mutter did not start:" >&2; cat $log >&2; exit 1; }
  export WAYLAND_DISPLAY=wayland-gnome
  dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP GSETTINGS_BACKEND 2>/dev/null
  "$@"; rc=$?
  kill $shell $wp $pw 2>/dev/null; wait $shell $wp $pw 2>/dev/null
  # The document portal mounts doc/ here and may outlive the session by a moment.
  fusermount -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null
  rm -rf "$XDG_RUNTIME_DIR" 2>/dev/null; exit $rc' session "$@"

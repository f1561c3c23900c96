#!/usr/bin/env python3
"""A keyboard for a headless mutter, through mutter's own remote-desktop D-Bus interface (no
dialog asks first). It is there from the start, as on a real seat: a seat that gains its
first keyboard later gives programs their focus only then. Reads lines of key names from
standard input (space Tab Return Escape, a letter, chords such as shift+Tab), presses them
one after another and answers "ok".
Usage: mutter_keys.py"""
import sys, time, dbus

NAMES = {'space': 0x20, 'Tab': 0xff09, 'Return': 0xff0d, 'Escape': 0xff1b, 'shift': 0xffe1,
         'ctrl': 0xffe3, 'alt': 0xffe9}
bus = dbus.SessionBus()
desktop = bus.get_object('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop')
path = desktop.CreateSession(dbus_interface='org.gnome.Mutter.RemoteDesktop')
session = dbus.Interface(bus.get_object('org.gnome.Mutter.RemoteDesktop', path),
                         'org.gnome.Mutter.RemoteDesktop.Session')
session.Start()
# mutter 43 loses the first key after Start: a lone Shift goes first.
for down in (True, False):
    session.NotifyKeyboardKeysym(dbus.UInt32(0xffe1), down)
print('ok', flush=True)
for line in sys.stdin:
    for chord in line.split():
        keys = [NAMES.get(k, ord(k[0]) if len(k) == 1 else 0) for k in chord.split('+')]
        for k in keys:
            session.NotifyKeyboardKeysym(dbus.UInt32(k), True)
        for k in reversed(keys):
            session.NotifyKeyboardKeysym(dbus.UInt32(k), False)
        time.sleep(0.1)
    print('ok', flush=True)
session.Stop()

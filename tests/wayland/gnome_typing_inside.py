#!/usr/bin/env python3
"""Runs inside a headless mutter (test_gnome_typing.py starts it): a native window that prints
the keys it gets has the keyboard, `--action type` is asked for, the question before the run
is answered 是 (Y) once it has the keyboard, then the desktop's RemoteDesktop dialog
(remote interaction switched on, then Share) once it has it. Where the keyboard goes is
read from the Wayland events (WAYLAND_DEBUG) of the program and of the dialog's portal
back end, started here for that.
Prints what the window got as hex on its last line.
Usage: gnome_typing_inside.py PROGRAM RECEIVER MUTTER_KEYS FOLDER LENGTH"""
import glob, os, re, subprocess, sys, time

program, receiver, keys_helper, folder = sys.argv[1:5]
length = int(sys.argv[5])
run = os.environ['XDG_RUNTIME_DIR']
received, focus = os.path.join(folder, 'received'), os.path.join(folder, 'focus')


def read(path):
    return open(path, encoding='utf-8', errors='replace').read() if os.path.exists(path) else ''


def wait(condition, what, seconds=120):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise SystemExit('timed out waiting for ' + what + '; the window got ' + repr(read(received)))


keyboard = subprocess.Popen(['python3', keys_helper], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
if keyboard.stdout.readline().strip() != 'ok':
    raise SystemExit('no keyboard from mutter')


def press(names):
    keyboard.stdin.write(names + '\n')
    keyboard.stdin.flush()
    if keyboard.stdout.readline().strip() != 'ok':
        raise SystemExit('the keyboard failed')


# The program pastes through the clipboard of the session's XWayland.
display = wait(lambda: re.search(r'public X11 display (:\d+)', read(os.path.join(run, 'session.log'))),
               'XWayland').group(1)
authority = wait(lambda: glob.glob(os.path.join(run, '.mutter-Xwaylandauth.*')), 'its authority')[0]
config = os.path.join(folder, 'config')
os.makedirs(os.path.join(config, 'orvane-notepad'))
with open(os.path.join(config, 'orvane-notepad', 'orvane-notepad.conf'), 'w') as f:
    f.write('[typing]\nintoFocusedWindow=true\nspeed=1\n[wayland]\nhotKeyNoticeSilenced=1\n')
env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_STATE_HOME=os.path.join(folder, 'state'),
           DISPLAY=display, XAUTHORITY=authority)

# The desktop's dialog comes from its portal back end; started here (it takes its bus name
# before the portal would start it) so that its Wayland events can be read.
dialogs = os.path.join(folder, 'portal.log')
portal = subprocess.Popen(['/usr/libexec/xdg-desktop-portal-gnome', '--replace'],
                          env=dict(os.environ, WAYLAND_DEBUG='client'),
                          stdout=subprocess.DEVNULL, stderr=open(dialogs, 'w'))
wait(lambda: subprocess.run(['gdbus', 'introspect', '--session', '--dest',
                             'org.freedesktop.impl.portal.desktop.gnome', '--object-path',
                             '/org/freedesktop/portal/desktop'],
                            capture_output=True).returncode == 0, 'the portal back end')


def surface_titled(log, title):
    """The wl_surface of the last top-level titled so, and the lines after its title."""
    lines = read(log).splitlines()
    for i in range(len(lines) - 1, -1, -1):
        titled = re.search(r'xdg_toplevel@(\d+)\.set_title\(".*' + title, lines[i])
        if titled:
            made = '\n'.join(lines[:i])
            xdg = re.findall(r'xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@' +
                             titled.group(1) + r'\)', made)[-1]
            surface = re.findall(r'get_xdg_surface\(new id xdg_surface@' + xdg +
                                 r', wl_surface@(\d+)\)', made)[-1]
            return surface, lines[i:]
    return None


def has_keyboard(log, title):
    found = surface_titled(log, title)
    return found and any(re.search(r'wl_keyboard@\d+\.enter\(\d+, wl_surface@' + found[0] + ',',
                                   line) for line in found[1])


drawn = {}


def settled(path, quiet=1.0):
    """Whether the log has not grown for a second."""
    size, now = os.path.getsize(path), time.monotonic()
    if drawn.get(path, (None,))[0] != size:
        drawn[path] = (size, now)
    return now - drawn[path][1] >= quiet


log = os.path.join(folder, 'program.log')
proc = subprocess.Popen([program, os.path.join(folder, 'script.txt')],
                        env=dict(env, WAYLAND_DEBUG='client'), stderr=open(log, 'w'))
wait(lambda: subprocess.run([program, '--action', 'stop-reading'], env=env,
                            stderr=subprocess.DEVNULL).returncode == 0, 'the program to start')
# A window mapped after the receiver would take the keyboard from it.
wait(lambda: re.search(r'wl_keyboard@\d+\.enter\(', read(log)), 'the keyboard to come to the program')
window = subprocess.Popen([receiver], stdout=open(received, 'wb'), stderr=open(focus, 'w'))
wait(lambda: 'focus' in read(focus), 'the window to have the keyboard')
subprocess.run([program, '--action', 'type'], env=env, check=True, timeout=60)
wait(lambda: has_keyboard(log, '打字到当前窗口'), 'the question to have the keyboard')
press('y')
wait(lambda: has_keyboard(dialogs, 'Remote desktop'), 'the desktop\'s dialog to have the keyboard')
# Its switch "Allow remote interaction" is off and Share greyed until it is on: Tab to
# the switch's row, Return turns it on. The switch is on only once its animation has ended,
# when the dialog stops drawing; then Alt+S shares.
press('Tab Return')
wait(lambda: settled(dialogs), 'the dialog to stop drawing')
press('alt+s')
wait(lambda: len(open(received, 'rb').read()) >= length, 'the script in the window', 120)
got = open(received, 'rb').read()
alive = proc.poll() is None
for p in (proc, window, portal):
    p.terminate()
    p.wait(30)
keyboard.stdin.close()
print(got.hex() if alive else 'the program ended')

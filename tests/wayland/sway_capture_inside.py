#!/usr/bin/env python3
"""Runs inside a headless sway (test_sway_capture.py starts it): clicks on "截图" in the
native window and drags over the known pattern on the desktop's background, then Enter,
Ctrl+S (and Enter in the save dialog) or Esc; or a capture where no portal can be reached. Prints what it saw as one JSON line.
Usage: sway_capture_inside.py PROGRAM PATTERN_PNG MODE (copy | no-bus) VIRTUAL_INPUT"""
import json, os, signal, subprocess, sys, time

program, pattern, mode, input_helper = sys.argv[1:5]
RETURN, ESCAPE, KEY_S = 28, 1, 31  # evdev key codes
CAPTURE_BUTTON = (553 + 16, 3 + 16)  # 按钮5 "截图", in the window's client area
MARK = 'left on the clipboard before the capture'


def sway(*command):
    return subprocess.run(['swaymsg', *command], capture_output=True, text=True, check=True).stdout


def views(node):
    if node.get('pid') is not None:
        yield node
    for child in node.get('nodes', []) + node.get('floating_nodes', []):
        yield from views(child)


def wait_for(condition, what, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise SystemExit('timed out waiting for ' + what)


def own_views(pid):
    return [v for v in views(json.loads(sway('-r', '-t', 'get_tree'))) if v.get('pid') == pid]


def clipboard(kind):
    run = subprocess.run(['wl-paste', '--no-newline', '--type', kind], capture_output=True)
    if run.returncode != 0 or kind == 'image/png' and not run.stdout.startswith(b'\x89PNG'):
        return None
    return run.stdout


# The headless compositor has no pointer or keyboard of its own: these are there before the
# program starts, as on a real seat.
pointer = subprocess.Popen([input_helper, '1280', '800'], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)


def point(*steps):
    for step in steps + ('sync',):
        pointer.stdin.write(step + '\n')
    pointer.stdin.flush()
    if pointer.stdout.readline().strip() != 'ok':
        raise SystemExit('the virtual pointer failed')


# The known pattern as the desktop's background; the portal's own picture shows it once drawn.
sway('output', '*', 'bg', pattern, 'center')
subprocess.run(['wl-copy', '--type', 'text/plain', MARK], check=True)
wait_for(lambda: clipboard('text/plain') == MARK.encode(), 'the clipboard mark')

# Without the hot-key notice of Wayland sessions, which the window test sees.
settings = os.path.join(os.environ['XDG_CONFIG_HOME'], 'orvane-notepad')
os.makedirs(settings, exist_ok=True)
with open(os.path.join(settings, 'orvane-notepad.conf'), 'w') as f:
    f.write('[wayland]\nhotKeyNoticeSilenced=1\n')
env = dict(os.environ)
if mode == 'no-bus':
    env['DBUS_SESSION_BUS_ADDRESS'] = 'unix:path=/nonexistent/bus'
proc = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
main = wait_for(lambda: own_views(proc.pid), 'the window')[0]
sway(f'[pid={proc.pid}]', 'floating', 'enable', ',', 'move', 'position', '0', '0')
main = wait_for(lambda: [v for v in own_views(proc.pid) if v['rect']['x'] == 0 and v['rect']['y'] == 0],
                'the window at the top left')[0]
client = main['rect']['x'] + main['window_rect']['x'], main['rect']['y'] + main['window_rect']['y']

result = {}
if mode == 'copy':
    def overlay_over(area):
        """A click on 截图 and a drag over the area; the overlay's place on the screen."""
        point(f'move {client[0] + CAPTURE_BUTTON[0]} {client[1] + CAPTURE_BUTTON[1]}', 'press', 'release')
        shown = wait_for(lambda: [v for v in own_views(proc.pid)
                                  if v.get('name') == '截图' and v.get('fullscreen_mode')],
                         'the full-screen overlay')[0]
        point(f'move {area[0]} {area[1]}', 'press', f'move {area[0] + area[2] // 2} {area[1] + area[3] // 2}',
              f'move {area[0] + area[2]} {area[1] + area[3]}', 'release')
        return [shown['rect'][k] for k in ('x', 'y', 'width', 'height')]

    def overlay_gone():
        wait_for(lambda: not [v for v in own_views(proc.pid) if v.get('name') in ('截图', '保存截图')],
                 'the overlay to go')

    # Areas on the background beside the window.
    left = main['rect']['width'] + 40
    area = [left, 60, min(200, 1280 - left - 20), 300]
    result['overlay'] = overlay_over(area)
    point(f'key {RETURN}')
    png = wait_for(lambda: clipboard('image/png'), 'a picture on the clipboard')
    result['area'] = area
    result['picture'] = png.hex()
    overlay_gone()

    # Ctrl+S: the save dialog proposes a name in the pictures folder, Enter takes it.
    pictures = os.path.join(os.environ['HOME'], 'Pictures')
    os.makedirs(pictures, exist_ok=True)
    saved_area = [left + 10, 420, area[2] - 30, 150]
    overlay_over(saved_area)
    point(f'ctrl {KEY_S}')
    wait_for(lambda: [v for v in own_views(proc.pid) if v.get('name') == '保存截图' and v.get('focused')],
             'the save dialog')
    point(f'key {RETURN}')
    names = wait_for(lambda: [n for n in os.listdir(pictures) if n.endswith('.png')], 'the saved picture')
    with open(os.path.join(pictures, names[0]), 'rb') as f:
        result['saved'] = f.read().hex()
    result['saved_area'] = saved_area
    overlay_gone()

    # Esc ends a capture with an area chosen, and the clipboard keeps what it had.
    subprocess.run(['wl-copy', '--type', 'text/plain', MARK], check=True)
    wait_for(lambda: clipboard('text/plain') == MARK.encode(), 'the clipboard mark again')
    overlay_over(area)
    point(f'key {ESCAPE}')
    overlay_gone()
    result['clipboard'] = (clipboard('text/plain') or b'').decode()
else:
    point(f'move {client[0] + CAPTURE_BUTTON[0]} {client[1] + CAPTURE_BUTTON[1]}', 'press', 'release')
    box = wait_for(lambda: [v for v in own_views(proc.pid) if v.get('name') == '截图'], 'the message box')
    result['box_fullscreen'] = bool(box[0].get('fullscreen_mode'))
    result['clipboard'] = (clipboard('text/plain') or b'').decode()
result['alive'] = proc.poll() is None
proc.send_signal(signal.SIGTERM)
try:
    proc.wait(30)
except subprocess.TimeoutExpired:
    proc.kill()
print(json.dumps(result))

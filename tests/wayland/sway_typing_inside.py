#!/usr/bin/env python3
"""Runs inside a headless sway (test_sway_typing.py starts it): the program, with 打字到当前窗口
on and a script open, types it into foot running `cat` when `--action type` asks, then
into xterm (XWayland) running `cat`; prints what each cat wrote as one JSON line.
Usage: sway_typing_inside.py PROGRAM SCRIPT VIRTUAL_INPUT FOLDER"""
import json, os, signal, subprocess, sys, time

program, script, input_helper, folder = sys.argv[1:5]
expected = open(script, 'rb').read()
received = os.path.join(folder, 'received.txt')


def views():
    def walk(node):
        if node.get('pid') is not None:
            yield node
        for child in node.get('nodes', []) + node.get('floating_nodes', []):
            yield from walk(child)
    tree = subprocess.run(['swaymsg', '-r', '-t', 'get_tree'], capture_output=True, text=True).stdout
    return list(walk(json.loads(tree)))


def wait_for(condition, what, seconds=120):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise SystemExit('timed out waiting for ' + what)


# A seat with a keyboard from the start, as a real one has: the helper answers once its
# keyboard is on the seat, and only then does the program start.
keyboard = subprocess.Popen([input_helper, '1280', '800'], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
keyboard.stdin.write('sync\n')
keyboard.stdin.flush()
if keyboard.stdout.readline().strip() != 'ok':
    raise SystemExit('no virtual keyboard')
config = os.path.join(folder, 'config')
os.makedirs(os.path.join(config, 'orvane-notepad'), exist_ok=True)
with open(os.path.join(config, 'orvane-notepad', 'orvane-notepad.conf'), 'w') as f:
    f.write('[typing]\nintoFocusedWindow=true\nspeed=1\n[wayland]\nhotKeyNoticeSilenced=1\n')
env = dict(os.environ, XDG_CONFIG_HOME=config)
proc = subprocess.Popen([program, script], env=env,
                        stderr=open(os.path.join(folder, 'program.log'), 'w'))
# The script opens after start-up (on a worker): the title names it once it is in the
# editor, and only then is there something to type.
name = os.path.basename(script)
wait_for(lambda: [v for v in views()
                  if v.get('pid') == proc.pid and name in (v.get('name') or '')],
         'the window with the script open')
# The program is busy (stopped) while the focus moves to the terminal and the request comes:
# it must see where the focus is now, not where it was when it last looked.
proc.send_signal(signal.SIGSTOP)
terminal = subprocess.Popen(['foot', 'sh', '-c', 'stty -echo; cat > ' + received],
                            stderr=subprocess.DEVNULL)
wait_for(lambda: [v for v in views() if v.get('pid') == terminal.pid and v.get('focused')]
         and os.path.exists(received), 'the terminal to have the focus')
action = subprocess.Popen([program, '--action', 'type'], env=env)
time.sleep(0.5)
proc.send_signal(signal.SIGCONT)
if action.wait(60) != 0:
    raise SystemExit('--action type failed')
got = {}
children = [proc, terminal, keyboard]
try:
    wait_for(lambda: open(received, 'rb').read() == expected, 'the whole script in the terminal')
    got['native'] = open(received, 'rb').read()
    # The same keys reach an X11 program under XWayland: xterm running cat.
    received_x11 = os.path.join(folder, 'received-x11.txt')
    xterm = subprocess.Popen(['xterm', '-e', 'sh', '-c', 'stty -echo; cat > ' + received_x11],
                             stderr=subprocess.DEVNULL)
    children.append(xterm)
    wait_for(lambda: [v for v in views() if v.get('shell') == 'xwayland' and v.get('focused')]
             and os.path.exists(received_x11), 'xterm to have the focus')
    subprocess.run([program, '--action', 'type'], env=env, check=True, timeout=60)
    wait_for(lambda: open(received_x11, 'rb').read() == expected, 'the whole script in xterm')
    got['xwayland'] = open(received_x11, 'rb').read()
finally:
    got.setdefault('native', open(received, 'rb').read())
    if 'xwayland' not in got and len(children) > 3:
        got['xwayland'] = open(received_x11, 'rb').read() if os.path.exists(received_x11) else b''
    for p in children:
        p.send_signal(signal.SIGTERM)
    if got['native'] != expected:
        sys.stderr.write('program log:\n' + open(os.path.join(folder, 'program.log')).read()[-3000:])
    print(json.dumps({k: v.hex() for k, v in got.items()}))

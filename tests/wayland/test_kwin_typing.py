#!/usr/bin/env python3
"""Typing into another program's window under a headless KWin, where the program has no
virtual keyboard and types through the desktop's RemoteDesktop portal: a script of Chinese,
English, digits, symbols, tabs and lines, asked for with `--action type` while a native
window that prints the keys it gets (and what it pastes) has the focus, arrives there byte
for byte (a line end as the Return key's text, CR). The layout has no keys for the Chinese:
the program asks first, the test answers 是 (paste with Ctrl+V) with KWin's fake input, and
the Chinese arrives through the clipboard.
Usage: test_kwin_typing.py PROGRAM KEY_TEXT_WINDOW KWIN_KEYS"""
import json, os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = RECEIVER = KWIN_KEYS = None
NEEDED = ['kwin_wayland', 'Xwayland', 'dbus-run-session', 'pipewire', 'wireplumber',
          'gdbus', 'kbuildsycoca5', '/usr/libexec/xdg-desktop-portal',
          '/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde',
          '/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']
SCRIPT = ('你好，世界！Hello, World 123!\tend <>&"\'~|\\ $x {a+b}*c=[d]; 50% ^_^ @home #1 `q`?/\n'
          'line two 第二行：中文。5€\n')

# Runs inside the session; prints what the focused window got, as hex, on its last line.
PROBE = r'''
import os, re, subprocess, sys, time
program, receiver, keys, folder, length = sys.argv[1:5] + [int(sys.argv[5])]
config, received = os.path.join(folder, 'config'), os.path.join(folder, 'received')
os.makedirs(os.path.join(config, 'orvane-notepad'))
with open(os.path.join(config, 'orvane-notepad', 'orvane-notepad.conf'), 'w') as f:
    f.write('[typing]\nintoFocusedWindow=true\nspeed=1\n')
env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_STATE_HOME=os.path.join(folder, 'state'))

def wait(condition, what, seconds=120):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition(): return
        time.sleep(0.1)
    sys.exit('timed out waiting for ' + what + '; the window got ' + repr(open(received, 'rb').read() if os.path.exists(received) else None))

# KWin says in its log which window it gives the keyboard to.
activations = os.path.join(os.environ['XDG_RUNTIME_DIR'], 'kwin.log')
with open(os.path.join(folder, 'watch.js'), 'w') as f:
    f.write('workspace.clientActivated.connect(function (c) {'
            ' print("activated: " + (c ? c.caption : "")); });')
def scripting(method, *arguments):
    return subprocess.run(['gdbus', 'call', '--session', '--dest', 'org.kde.KWin', '--object-path',
                           '/Scripting', '--method', 'org.kde.kwin.Scripting.' + method,
                           *arguments], capture_output=True, timeout=60).returncode == 0
# KWin takes its scripting interface on the bus a moment after its socket is there.
wait(lambda: scripting('loadScript', os.path.join(folder, 'watch.js')), 'KWin scripting')
wait(lambda: scripting('start'), 'the script to run')

# Its Wayland events are logged (WAYLAND_DEBUG) to see when its window gets the keyboard.
log = os.path.join(folder, 'program.log')
proc = subprocess.Popen([program, os.path.join(folder, 'script.txt')],
                        env=dict(env, WAYLAND_DEBUG='client'), stderr=open(log, 'w'))
wait(lambda: subprocess.run([program, '--action', 'stop-reading'], env=env,
                            stderr=subprocess.DEVNULL).returncode == 0, 'the program to start')
# It answers before its window is mapped; a window mapped after the other one would take the
# keyboard from it (and the typing would go into the editor).
wait(lambda: re.search(r'wl_keyboard@\d+\.enter\(', open(log, errors='replace').read()),
     'the keyboard to come to the program')
focus = os.path.join(folder, 'focus')
window = subprocess.Popen([receiver], stdout=open(received, 'wb'), stderr=open(focus, 'w'))
wait(lambda: 'focus' in open(focus).read(), 'the window to have the keyboard')
subprocess.run([program, '--action', 'type'], env=env, check=True, timeout=60)
# The question before the run: 是 (Y) once it has the keyboard; KWin then gives the keyboard
# back to the window, where the run types.
wait(lambda: 'activated: 打字到当前窗口' in open(activations, encoding='utf-8', errors='replace').read(),
     'the question to have the keyboard')
subprocess.run([keys, '21'], check=True, timeout=60)
wait(lambda: open(focus).read().count('focus') >= 2, 'the window to have the keyboard again')
wait(lambda: len(open(received, 'rb').read()) >= length, 'the script in the window', 60)
got = open(received, 'rb').read()
alive = proc.poll() is None
proc.terminate(); window.terminate()
proc.wait(30); window.wait(30)
print(got.hex() if alive else 'the program ended')
'''


class KwinTyping(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if not KWIN_KEYS or not os.path.exists(KWIN_KEYS):
            missing.append('the key sender (libwayland-dev, plasma-wayland-protocols)')
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it.
        self.folder = tempfile.mkdtemp(prefix='orvane-kwin-typing-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        # The script as a GBK file, where the euro sign is the single byte 0x80.
        script = b'\x80'.join(part.encode('gbk') for part in SCRIPT.split('\u20ac'))
        for name, data in (('script.txt', script), ('probe.py', PROBE.encode())):
            with open(os.path.join(self.folder, name), 'wb') as f:
                f.write(data)
            os.chmod(os.path.join(self.folder, name), 0o644)

    def test_script_arrives_byte_for_byte(self):
        result = subprocess.run([os.path.join(HERE, 'kwin-session.sh'), 'python3',
                                 os.path.join(self.folder, 'probe.py'), PROGRAM, RECEIVER,
                                 KWIN_KEYS, self.folder, str(len(SCRIPT.encode()))],
                                capture_output=True, text=True, timeout=300,
                                env=dict(os.environ, KWIN_KEYS=KWIN_KEYS))
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        got = result.stdout.strip().splitlines()[-1]
        self.assertEqual(bytes.fromhex(got).decode('utf-8', 'replace'),
                         SCRIPT.replace('\n', '\r'), got)


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    RECEIVER = os.path.abspath(sys.argv.pop(1))
    KWIN_KEYS = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
    unittest.main()

#!/usr/bin/env python3
"""Under a headless sway the program's window is a native Wayland window known by the desktop
entry's name, with the file it was started with read in; QT_QPA_PLATFORM=xcb still puts it on
X11 (XWayland). Natively the hot-key notice of Wayland sessions comes first, on X11 none, and
`--action read-aloud` (what a key bound in the desktop runs) is heard.
Usage: test_sway_window.py PROGRAM"""
import json, os, shutil, subprocess, sys, tempfile, time, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = None
APP_ID = 'example.orvane.Notepad'
NEEDED = ['sway', 'Xwayland', 'swaymsg', 'dbus-run-session', 'pipewire', 'wireplumber',
          '/usr/libexec/xdg-desktop-portal', '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']

# Runs inside the session: starts the program, waits for its window, prints the tree's views.
PROBE = r'''
import array, json, os, signal, subprocess, sys, time
program, script, platform = sys.argv[1:4]
env = dict(os.environ)
if platform: env['QT_QPA_PLATFORM'] = platform
audio = os.path.join(os.path.dirname(script), 'audio.raw')
env.update(SDL_AUDIODRIVER='disk', SDL_AUDIODEVICE='', SDL_DISKAUDIOFILE=audio)
proc = subprocess.Popen([program, script], env=env, stderr=subprocess.DEVNULL)
def views(node):
    if node.get('pid') == proc.pid: yield node
    for child in node.get('nodes', []) + node.get('floating_nodes', []): yield from views(child)
# The notice about hot keys comes once the session has said it has no shortcuts portal,
# before or after the window; it is closed as soon as seen.
found, notices, deadline = [], [], time.monotonic() + 60
while (not found or (not platform and not notices)) and time.monotonic() < deadline and proc.poll() is None:
    tree = json.loads(subprocess.run(['swaymsg', '-r', '-t', 'get_tree'], capture_output=True, text=True).stdout)
    for notice in [v for v in views(tree) if v.get('name') == '\u70ed\u952e']:
        notices.append(notice['name'])
        subprocess.run(['swaymsg', f'[con_id={notice["id"]}]', 'kill'], capture_output=True)
    found = [v for v in views(tree) if os.path.basename(script) in (v.get('name') or '')]
    if not found or not notices: time.sleep(0.1)
# A key bound in the desktop runs `--action read-aloud`: the script is heard (SDL's disk
# driver records what the sound device gets, 16-bit samples).
sound = False
if found and not platform:
    subprocess.run([program, '--action', 'read-aloud'], env=env, timeout=60, check=True)
    deadline, seen = time.monotonic() + 60, 0
    while not sound and time.monotonic() < deadline:
        data = open(audio, 'rb').read() if os.path.exists(audio) else b''
        samples = array.array('h', data[seen:len(data) // 2 * 2])
        seen += 2 * len(samples)
        sound = any(abs(sample) > 16 for sample in samples)
        time.sleep(0.1)
alive = proc.poll() is None
proc.send_signal(signal.SIGTERM)
proc.wait(30)
print(json.dumps({'alive': alive, 'notices': len(notices), 'sound': sound, 'views': [{k: v.get(k) for k in ('app_id', 'shell', 'name')} for v in found]}))
'''


class SwayWindow(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it.
        self.folder = tempfile.mkdtemp(prefix='orvane-sway-')
        os.chmod(self.folder, 0o777)
        self.script = os.path.join(self.folder, 'wayland-script.txt')
        with open(self.script, 'w', encoding='utf-8') as f:
            f.write('hello wayland\n')
        os.chmod(self.script, 0o666)
        self.probe = os.path.join(self.folder, 'probe.py')
        with open(self.probe, 'w') as f:
            f.write(PROBE)
        os.chmod(self.probe, 0o644)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def window(self, platform):
        result = subprocess.run([os.path.join(HERE, 'sway-session.sh'), 'python3', self.probe,
                                 PROGRAM, self.script, platform],
                                capture_output=True, text=True, timeout=150)
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        return json.loads(result.stdout.strip().splitlines()[-1])

    def test_native_window_and_forced_x11(self):
        native = self.window('')
        self.assertTrue(native['alive'])
        self.assertEqual([(v['app_id'], v['shell']) for v in native['views']], [(APP_ID, 'xdg_shell')])
        self.assertGreaterEqual(native['notices'], 1, 'the hot-key notice')
        self.assertTrue(native['sound'], 'speech after --action read-aloud')
        x11 = self.window('xcb')
        self.assertTrue(x11['alive'])
        self.assertEqual([v['shell'] for v in x11['views']], ['xwayland'])
        self.assertEqual(x11['notices'], 0, 'X11 grabs keys itself')


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    unittest.main()

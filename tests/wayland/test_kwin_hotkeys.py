#!/usr/bin/env python3
"""Under a headless KWin the default keys reach the program through the desktop's shortcuts
portal while another native window, which prints the keys it gets, has the focus: Ctrl+A reads aloud (sound in
SDL's disk output), Ctrl+Z pauses (silence), Ctrl+Q types (the editor changes, so its
autosave copy appears), and the focused window receives none of them.
Usage: test_kwin_hotkeys.py PROGRAM KEY_TEXT_WINDOW KWIN_KEYS"""
import json, os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = RECEIVER = KWIN_KEYS = None
NEEDED = ['kwin_wayland', 'Xwayland', 'dbus-run-session', 'pipewire', 'wireplumber',
          'gdbus', 'kbuildsycoca5', '/usr/libexec/xdg-desktop-portal',
          '/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde',
          '/usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']

# Runs inside the session; prints what it saw as JSON on its last line.
PROBE = r'''
import array, glob, json, os, subprocess, sys, time
program, receiver, keys, folder = sys.argv[1:5]
audio, typed, state = [os.path.join(folder, n) for n in ('audio.raw', 'typed', 'state')]
env = dict(os.environ, SDL_AUDIODRIVER='disk', SDL_DISKAUDIOFILE=audio, XDG_STATE_HOME=state)
RATE_BYTES = 44100 * 4
seen = {}

def wait(condition, what, seconds=120):
    began = time.monotonic()
    deadline = began + seconds
    while time.monotonic() < deadline:
        if condition():
            sys.stderr.write('%.1f s: %s\n' % (time.monotonic() - began, what))
            return True
        time.sleep(0.1)
    seen['timeout'] = what
    print(json.dumps(seen)); sys.exit(0)

def loudest(start, end):
    with open(audio, 'rb') as f:
        f.seek(start); data = f.read(max(0, end - start) // 4 * 4)
    samples = array.array('h'); samples.frombytes(data)
    return max((abs(s) for s in samples), default=0)

def size():
    return os.path.getsize(audio) // 4 * 4 if os.path.exists(audio) else 0

def press(*codes):
    subprocess.run([keys, *codes], check=True, timeout=30)

def component():
    out = subprocess.run(['gdbus', 'call', '--session', '--dest', 'org.kde.kglobalaccel',
                          '--object-path', '/component/orvane_notepad', '--method',
                          'org.kde.kglobalaccel.Component.shortcutNames'],
                         capture_output=True, text=True).stdout
    return all(n in out for n in ('read-aloud', 'pause-reading', 'type'))

def copies():
    return glob.glob(os.path.join(state, '**', '*.txt'), recursive=True)

proc = subprocess.Popen([program, os.path.join(folder, 'script.txt')], env=env,
                        stderr=subprocess.DEVNULL)
wait(component, 'the keys registered with the desktop')
seen['registered'] = True
# The window that has the focus: it writes the text of every key it gets (Ctrl+A is 0x01).
focus_log = os.path.join(folder, 'focus')
window = subprocess.Popen([receiver], stdout=open(typed, 'wb'), stderr=open(focus_log, 'w'))
wait(lambda: 'focus' in open(focus_log).read(), 'the window to have the keyboard', 120)
def got(text):
    return text.encode() in open(typed, 'rb').read()
# The compositor may still be busy with the window: an x it gets shows that keys reach it.
def reaches():
    press('45')
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline:
        if got('x'): return True
        time.sleep(0.1)
    return False
wait(reaches, 'an x in the focused window', 120)

start = size()
press('+29', '30')   # Ctrl+A
wait(lambda: loudest(start, size()) > 1000, 'speech after Ctrl+A')
seen['read'] = True
press('+29', '44')   # Ctrl+Z
quiet = 2 * RATE_BYTES
wait(lambda: size() > quiet and loudest(size() - quiet, size()) <= 16, 'silence after Ctrl+Z', 30)
seen['paused'] = True
pressed = time.time() - 0.05
press('+29', '16')   # Ctrl+Q
wait(lambda: any(os.path.getmtime(c) > pressed for c in copies()),
     'the typed editor to be copied after Ctrl+Q')
seen['typed'] = True
press('21')          # y: the last key the focused window gets
wait(lambda: got('y'), 'y in the focused window')
seen['focused_got'] = open(typed, 'rb').read().decode('latin-1')
seen['alive'] = proc.poll() is None
proc.terminate(); window.terminate()
proc.wait(30); window.wait(30)
print(json.dumps(seen))
'''


class KwinHotKeys(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if not KWIN_KEYS or not os.path.exists(KWIN_KEYS):
            missing.append('the key sender (libwayland-dev, plasma-wayland-protocols)')
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it.
        self.folder = tempfile.mkdtemp(prefix='orvane-kwin-')
        os.chmod(self.folder, 0o777)
        script = os.path.join(self.folder, 'script.txt')
        with open(script, 'w', encoding='utf-8') as f:
            f.write(('这一句用来测试朗读。This sentence is long enough to be read for a while. ' * 4 + '\n') * 10)
        os.chmod(script, 0o666)
        self.probe = os.path.join(self.folder, 'probe.py')
        with open(self.probe, 'w') as f:
            f.write(PROBE)
        os.chmod(self.probe, 0o644)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_default_keys_arrive_through_the_portal_and_not_in_the_focused_window(self):
        result = subprocess.run([os.path.join(HERE, 'kwin-session.sh'), 'python3', self.probe,
                                 PROGRAM, RECEIVER, KWIN_KEYS, self.folder],
                                capture_output=True, text=True, timeout=300,
                                env=dict(os.environ, KWIN_KEYS=KWIN_KEYS))
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        seen = json.loads(result.stdout.strip().splitlines()[-1])
        self.assertNotIn('timeout', seen, 'waited in vain for ' + seen.get('timeout', ''))
        self.assertEqual(seen['focused_got'].strip('x'), 'y',
                         'the focused window got more than the x and y sent to it')
        self.assertTrue(seen['alive'])


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    RECEIVER = os.path.abspath(sys.argv.pop(1))
    KWIN_KEYS = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
    unittest.main()

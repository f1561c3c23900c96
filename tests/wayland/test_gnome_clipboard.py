#!/usr/bin/env python3
"""Under a headless GNOME compositor (mutter), text the program puts on the X11 clipboard of
the session's XWayland becomes the session's clipboard though none of its windows has the
keyboard: a native Wayland program (wl-paste) reads it byte for byte, and the program sees
the read. This is how a typing run pastes what the keyboard layout cannot type.
Usage: test_gnome_clipboard.py CLIPBOARD_OFFER"""
import os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
OFFER = None
NEEDED = ['mutter', 'Xwayland', 'dbus-run-session', 'pipewire', 'wireplumber', 'gdbus',
          'wl-paste', '/usr/libexec/xdg-desktop-portal']
TEXTS = ['你好，世界！Hello "q" <a&b> 1/2\n第二行\t末尾', '第二段']

# Runs inside the session: a keyboard on the seat first (wl-paste needs one), then each offer
# on XWayland's display and its Wayland read. Prints a line per text, what was read as hex.
PROBE = r'''
import glob, os, re, subprocess, sys, time
offer, keys, texts = sys.argv[1], sys.argv[2], sys.argv[3:]
run = os.environ['XDG_RUNTIME_DIR']
keyboard = subprocess.Popen(['python3', keys], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
assert keyboard.stdout.readline().strip() == b'ok'
deadline = time.monotonic() + 60
display = None
while display is None and time.monotonic() < deadline:
    found = re.search(r'public X11 display (:\d+)', open(os.path.join(run, 'session.log')).read())
    display = found and found.group(1)
    time.sleep(0.1)
env = dict(os.environ, DISPLAY=display,
           XAUTHORITY=glob.glob(os.path.join(run, '.mutter-Xwaylandauth.*'))[0])
program = subprocess.Popen([offer] + texts, env=env, stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
for n in range(len(texts)):
    asked, read = program.stdout.readline().strip(), program.stdout.readline().strip()
    got = subprocess.run(['wl-paste', '--no-newline'], capture_output=True, timeout=60).stdout
    print(asked, read, got.hex())
    if n + 1 < len(texts):
        program.stdin.write('next\n'); program.stdin.flush()
program.wait(60)
keyboard.stdin.close(); keyboard.wait(30)
'''


class GnomeClipboard(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it.
        self.folder = tempfile.mkdtemp(prefix='orvane-gnome-clipboard-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        for source in (OFFER, os.path.join(HERE, 'mutter_keys.py')):
            shutil.copy2(source, self.folder)
        with open(os.path.join(self.folder, 'probe.py'), 'w') as f:
            f.write(PROBE)
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o755)

    def test_text_offered_on_xwayland_is_read_by_a_wayland_program(self):
        inside = lambda name: os.path.join(self.folder, os.path.basename(name))
        result = subprocess.run([os.path.join(HERE, 'gnome-session.sh'), 'python3',
                                 inside('probe.py'), inside(OFFER), inside('mutter_keys.py'),
                                 ] + TEXTS, capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        lines = [line.split() for line in result.stdout.strip().splitlines()[-len(TEXTS):]]
        self.assertEqual([(line[0], line[1], bytes.fromhex(line[2]).decode('utf-8', 'replace'))
                          for line in lines if len(line) == 3],
                         [('asked', 'read', text) for text in TEXTS], result.stdout)


if __name__ == '__main__':
    OFFER = os.path.abspath(sys.argv.pop(1))
    unittest.main()

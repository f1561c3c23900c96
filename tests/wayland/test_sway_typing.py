#!/usr/bin/env python3
"""Typing into another program's window on a headless sway: a script of Chinese (more
characters than one key map holds), English, symbols, tabs and lines arrives byte for byte
in foot running cat, and then in xterm (XWayland) running cat, typed through the program's
own virtual keyboard; the first request comes while the program is busy, after the focus
moved away from it.
Usage: test_sway_typing.py PROGRAM VIRTUAL_INPUT (none when it could not be built)"""
import json, os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = INPUT = None
NEEDED = ['sway', 'Xwayland', 'swaymsg', 'foot', 'xterm', 'dbus-run-session', 'pipewire', 'wireplumber',
          '/usr/libexec/xdg-desktop-portal',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']
SCRIPT = ('你好，世界！Hello 123\tend <>&"\'~|\\ $x\n'
          + ''.join(chr(0x4E00 + 7 * i) for i in range(300)) + '。\nline three\n')


class SwayTyping(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        if INPUT == 'none':
            self.skipTest('libwayland-dev was not installed at configure time: no virtual keyboard')
        self.folder = tempfile.mkdtemp(prefix='orvane-sway-typing-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        for source in (PROGRAM, INPUT, os.path.join(HERE, 'sway_typing_inside.py')):
            shutil.copy2(source, self.folder)
        self.script = os.path.join(self.folder, 'script.txt')
        with open(self.script, 'w', encoding='utf-8') as f:
            f.write(SCRIPT)
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o755)

    def test_script_arrives_byte_for_byte(self):
        inside = lambda name: os.path.join(self.folder, os.path.basename(name))
        result = subprocess.run([os.path.join(HERE, 'sway-session.sh'), 'python3',
                                 inside('sway_typing_inside.py'), inside(PROGRAM), self.script,
                                 inside(INPUT), self.folder],
                                capture_output=True, text=True, timeout=300)
        lines = result.stdout.strip().splitlines()
        self.assertTrue(lines, result.stderr[-3000:])
        received = json.loads(lines[-1])
        for kind in ('native', 'xwayland'):
            self.assertIn(kind, received, result.stderr[-3000:])
            text = bytes.fromhex(received[kind]).decode('utf-8', 'replace')
            self.assertEqual(text, SCRIPT, kind + ': ' + result.stderr[-3000:])
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    INPUT = sys.argv.pop(1)
    unittest.main()

#!/usr/bin/env python3
"""Typing into another program's window under a headless GNOME compositor (mutter), through
the desktop's RemoteDesktop portal: a script of Chinese, English, digits, symbols, tabs and
lines, asked for with `--action type` while a native window that prints the keys it gets
(and what it pastes) has the focus, arrives there byte for byte (a line end as the Return
key's text, CR). The question before the run is answered 是 and the desktop's dialog with
Share, both with keys through mutter; the Chinese arrives through the clipboard of the session's
XWayland, which mutter adopts.
Usage: test_gnome_typing.py PROGRAM KEY_TEXT_WINDOW"""
import os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = RECEIVER = None
NEEDED = ['mutter', 'Xwayland', 'dbus-run-session', 'pipewire', 'wireplumber', 'gdbus',
          '/usr/libexec/xdg-desktop-portal', '/usr/libexec/xdg-desktop-portal-gnome',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']
SCRIPT = ('你好，世界！Hello, World 123!\tend <>&"\'~|\\ $x {a+b}*c=[d]; 50% ^_^ @home #1 `q`?/\n'
          'line two 第二行：中文。\n')


class GnomeTyping(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it.
        self.folder = tempfile.mkdtemp(prefix='orvane-gnome-typing-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        for source in (os.path.join(HERE, 'mutter_keys.py'),
                       os.path.join(HERE, 'gnome_typing_inside.py')):
            shutil.copy2(source, self.folder)
        with open(os.path.join(self.folder, 'script.txt'), 'w', encoding='utf-8') as f:
            f.write(SCRIPT)
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o755)

    def test_script_arrives_byte_for_byte(self):
        inside = lambda name: os.path.join(self.folder, name)
        result = subprocess.run([os.path.join(HERE, 'gnome-session.sh'), 'python3',
                                 inside('gnome_typing_inside.py'), PROGRAM, RECEIVER,
                                 inside('mutter_keys.py'), self.folder,
                                 str(len(SCRIPT.encode()))],
                                capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        got = result.stdout.strip().splitlines()[-1]
        self.assertEqual(bytes.fromhex(got).decode('utf-8', 'replace'),
                         SCRIPT.replace('\n', '\r'), got)


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    RECEIVER = os.path.abspath(sys.argv.pop(1))
    unittest.main()

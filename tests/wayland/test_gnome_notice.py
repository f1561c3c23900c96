#!/usr/bin/env python3
"""The program under a headless GNOME compositor (mutter): its window is native; the notice
that hot keys are bound in the desktop's settings comes once (when the session has said it offers no shortcuts portal), and not
again once 不再提示 was ticked (not on the next start either); `--action read-aloud` is heard.
Usage: test_gnome_notice.py PROGRAM"""
import json, os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = None
NEEDED = ['mutter', 'dbus-run-session', 'dbus-monitor', 'pipewire', 'wireplumber', 'gdbus',
          '/usr/libexec/xdg-desktop-portal', '/usr/libexec/xdg-desktop-portal-gnome',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']
NOTICE = '热键'


class GnomeNotice(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        # The session runs as nobody when we are root: its files must be open to it, and the
        # program writes its libraries beside itself.
        self.folder = tempfile.mkdtemp(prefix='orvane-gnome-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        for source in (PROGRAM, os.path.join(HERE, 'mutter_keys.py'),
                       os.path.join(HERE, 'gnome_notice_inside.py')):
            shutil.copy2(source, self.folder)
        self.script = os.path.join(self.folder, 'gnome-script.txt')
        with open(self.script, 'w', encoding='utf-8') as f:
            f.write('hello gnome\n')
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o755)

    def test_notice_once_and_action(self):
        inside = lambda name: os.path.join(self.folder, os.path.basename(name))
        result = subprocess.run([os.path.join(HERE, 'gnome-session.sh'), 'python3',
                                 inside('gnome_notice_inside.py'), inside(PROGRAM), self.script,
                                 inside('mutter_keys.py'), self.folder],
                                capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout[-2000:] + result.stderr[-3000:])
        seen = json.loads(result.stdout.strip().splitlines()[-1])
        self.assertTrue(seen['first_alive'] and seen['second_alive'])
        self.assertEqual(seen['first_titles'].count(NOTICE), 1, seen['first_titles'])
        self.assertNotIn(NOTICE, seen['second_titles'])
        self.assertTrue(seen['sound'])


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    unittest.main()

#!/usr/bin/env python3
"""The capture on a headless sway: the overlay covers the output, and what a drag and Enter
put on the clipboard, and what Ctrl+S saves, is pixel for pixel the known pattern the desktop
showed (every pixel of it has a colour of its own, so an area one pixel off never matches);
Esc leaves the clipboard alone; where no portal can
be reached, one message box and the clipboard left as it was.
Usage: test_sway_capture.py PROGRAM VIRTUAL_INPUT (none when it could not be built)"""
import json, os, shutil, subprocess, sys, tempfile, unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAM = POINTER = None
SCREEN = (1280, 800)
NEEDED = ['sway', 'swaybg', 'Xwayland', 'swaymsg', 'wl-copy', 'wl-paste', 'grim', 'convert',
          'dbus-run-session', 'pipewire', 'wireplumber', '/usr/libexec/xdg-desktop-portal',
          '/usr/libexec/xdg-desktop-portal-wlr',
          '/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so']


def pattern_colour(x, y):
    return (x & 255, y & 255, 64 + 32 * (y >> 8) + 8 * (x >> 8))


def pattern_pixels(x, y, width, height):
    return bytes(c for row in range(y, y + height) for column in range(x, x + width)
                 for c in pattern_colour(column, row))


class SwayCapture(unittest.TestCase):
    def setUp(self):
        missing = [n for n in NEEDED if not shutil.which(n) and not os.path.exists(n)]
        if missing:
            self.skipTest('not installed: ' + ', '.join(missing))
        if POINTER == 'none':
            self.skipTest('libwayland-dev was not installed at configure time: no virtual pointer and keyboard')
        # The session runs as nobody when we are root: its files must be open to it, and the
        # program writes its libraries beside itself.
        self.folder = tempfile.mkdtemp(prefix='orvane-sway-capture-')
        os.chmod(self.folder, 0o777)
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.program = os.path.join(self.folder, os.path.basename(PROGRAM))
        shutil.copy2(PROGRAM, self.program)
        self.pointer = os.path.join(self.folder, 'virtual-input')
        shutil.copy2(POINTER, self.pointer)
        self.inside = os.path.join(self.folder, 'inside.py')
        shutil.copy(os.path.join(HERE, 'sway_capture_inside.py'), self.inside)
        self.pattern = os.path.join(self.folder, 'pattern.png')
        ppm = b'P6 %d %d 255\n' % SCREEN + pattern_pixels(0, 0, *SCREEN)
        subprocess.run(['convert', 'ppm:-', self.pattern], input=ppm, check=True)
        for name in os.listdir(self.folder):
            os.chmod(os.path.join(self.folder, name), 0o755)

    def capture(self, mode):
        result = subprocess.run([os.path.join(HERE, 'sway-session.sh'), 'python3', self.inside,
                                 self.program, self.pattern, mode, self.pointer],
                                capture_output=True, text=True, timeout=240)
        self.assertEqual(result.returncode, 0, result.stdout[-2000:] + result.stderr[-3000:])
        return json.loads(result.stdout.strip().splitlines()[-1])

    def test_area_copied_and_saved_exactly_from_the_portal_picture(self):
        seen = self.capture('copy')
        self.assertTrue(seen['alive'])
        self.assertEqual(seen['overlay'], [0, 0, *SCREEN])
        for what, area, png in (('copied', seen['area'], seen['picture']),
                                ('saved', seen['saved_area'], seen['saved'])):
            x, y, width, height = area
            rgb = subprocess.run(['convert', 'png:-', '-depth', '8', 'rgb:-'],
                                 input=bytes.fromhex(png), capture_output=True, check=True).stdout
            self.assertEqual(len(rgb), width * height * 3, what)
            self.assertTrue(rgb == pattern_pixels(x, y, width, height), 'the %s area is not the pattern' % what)
        self.assertEqual(seen['clipboard'], 'left on the clipboard before the capture', 'after Esc')

    def test_unreachable_portal_said_once_clipboard_kept(self):
        seen = self.capture('no-bus')
        self.assertTrue(seen['alive'])
        self.assertFalse(seen['box_fullscreen'])
        self.assertEqual(seen['clipboard'], 'left on the clipboard before the capture')


if __name__ == '__main__':
    PROGRAM = os.path.abspath(sys.argv.pop(1))
    POINTER = sys.argv.pop(1)
    unittest.main()

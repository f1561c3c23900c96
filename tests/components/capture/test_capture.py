#!/usr/bin/env python3
"""CameraDll.dll on its own Xvfb, driven with real pointer and key input through xdotool.

Usage: test_capture.py PATH_TO_CAPTURE_HOST PATH_TO_CAMERADLL

capture_host loads the library into a running QApplication, covers the screen with a
window in which every pixel has a colour of its own (so that an area one pixel off never
matches) and calls CameraSubArea when told to. What the library copied is read back with
xclip and compared pixel for pixel with what `import -window root` saw before the capture.
"""

import os
import queue
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from datetime import datetime

# The shared X server and overlay helpers live in tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))
from overlay_pixels import dimmed, shrink  # noqa: E402
from xvfb_server import XvfbTestCase  # noqa: E402

HOST = os.environ.get("CAPTURE_HOST", "")
LIBRARY = os.environ.get("CAMERA_DLL", "")

SCREEN = (1280, 800)
WAIT_SECONDS = 10
SAVE_DIALOG_TITLE = "保存截图"
SAVE_FAILED_TITLE = "截图未能保存"
PROPOSED_NAME = re.compile(r"^截图 (\d{4}-\d\d-\d\d \d\d-\d\d-\d\d)\.png$")

# Variables that would change how Qt scales or which desktop's dialogs it uses.
FOREIGN_VARIABLES = ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                     "QT_ENABLE_HIGHDPI_SCALING", "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE",
                     "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID",
                     "KDE_FULL_SESSION", "QT_QPA_PLATFORM")


def run(args, env, timeout=WAIT_SECONDS, check=True, **kwargs):
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.PIPE)
    return subprocess.run(args, env=env, timeout=timeout, check=check, **kwargs)


class Picture:
    """An image as raw 8-bit RGB."""

    def __init__(self, path):
        self.path = path
        size = run(["identify", "-format", "%w %h", path], None).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.rgb = run(["convert", path, "-depth", "8", "rgb:-"], None).stdout
        if len(self.rgb) != 3 * self.width * self.height:
            raise AssertionError("could not decode %s" % path)

    def row(self, x, y, width):
        start = 3 * (y * self.width + x)
        return self.rgb[start:start + 3 * width]

    def region(self, rect):
        x, y, width, height = rect
        return b"".join(self.row(x, y + line, width) for line in range(height))


class XServerCase(XvfbTestCase):
    """Each test gets its own Xvfb, home folder and capture_host."""

    SCREEN = SCREEN
    WORK_PREFIX = "orvane-capture-"
    XVFB_SECONDS = WAIT_SECONDS
    scale_factor = None

    def setUp(self):
        self.assertTrue(HOST and os.access(HOST, os.X_OK), "capture_host not given")
        self.assertTrue(LIBRARY and os.path.isfile(LIBRARY), "CameraDll.dll not given")
        super().setUp()
        self.host = None
        self.addCleanup(self.clean_up)  # also when setUp itself fails half way
        self.home = os.path.join(self.work, "home")
        self.pictures = os.path.join(self.home, "Pictures")
        os.makedirs(self.pictures)
        runtime = os.path.join(self.work, "run")
        os.mkdir(runtime, 0o700)
        self.lines = queue.Queue()
        self.shots = 0
        self.env = {k: v for k, v in os.environ.items() if k not in FOREIGN_VARIABLES}
        self.env.update(HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8", DISPLAY=self.display)
        self.window = self.start_host()
        # The host's picture never changes: every capture starts from this screen.
        shots = [self.shot("desktop")]

        def settled():
            shots.append(self.shot("desktop"))
            return shots[-1].rgb == shots[-2].rgb

        self.wait_until(settled, "the host's window to settle")
        self.desktop = shots[-1]

    def clean_up(self):
        if self.host is not None and self.host.poll() is None:
            try:
                self.host.stdin.write(b"quit\n")
                self.host.stdin.flush()
                self.host.wait(timeout=3)
            except (OSError, subprocess.TimeoutExpired):
                self.host.kill()
                self.host.wait(timeout=5)
        if self.host is not None:
            self.host.stdin.close()
            self.host_log.close()
        if self._outcome_failed():
            kept = os.path.join(os.getcwd(), "capture-" + self._testMethodName)
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(self.work, kept, ignore=shutil.ignore_patterns("run"))
            sys.stderr.write("\nscreenshots and host output kept in %s\n" % kept)

    def _outcome_failed(self):
        outcome = getattr(self, "_outcome", None)
        result = getattr(outcome, "result", None)
        if result is None:
            return False
        return any(test is self for test, _ in result.failures + result.errors)

    # --- the X server and the host -------------------------------------------------------

    def start_host(self):
        env = dict(self.env, QT_QPA_PLATFORM="xcb")
        if self.scale_factor:
            env["QT_SCALE_FACTOR"] = str(self.scale_factor)
        self.host_log = open(os.path.join(self.work, "host-stderr.txt"), "wb")
        self.host = subprocess.Popen([HOST, LIBRARY], env=env, cwd=self.work,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.host_log)
        threading.Thread(target=self.read_host, args=(self.host.stdout,), daemon=True).start()
        line = self.next_line("the host window")
        self.assertTrue(line.startswith("ready "), line)
        return line.split()[1]

    def read_host(self, stream):
        with stream:
            for line in stream:
                self.lines.put(line.decode().strip())
        self.lines.put(None)

    def next_line(self, what, seconds=WAIT_SECONDS):
        try:
            line = self.lines.get(timeout=seconds)
        except queue.Empty:
            self.fail("timed out waiting for " + what)
        self.assertIsNotNone(line, "capture_host ended while waiting for " + what)
        return line

    def command(self, text):
        self.host.stdin.write(text.encode() + b"\n")
        self.host.stdin.flush()

    def result(self):
        line = self.next_line("CameraSubArea to return")
        match = re.fullmatch(r"result (-?\d+)", line)
        self.assertIsNotNone(match, "host said %r" % line)
        return int(match.group(1))

    # --- input, screenshots, clipboard ----------------------------------------------------

    def xdotool(self, *args):
        return run(["xdotool", *map(str, args)], self.env).stdout.decode()

    def drag(self, start, end, button=1):
        self.xdotool("mousemove", *start, "mousedown", button, "mousemove", *end,
                     "mouseup", button)

    def click(self, point, button=1, repeat=1):
        self.xdotool("mousemove", *point, "click", "--repeat", repeat, button)

    def key(self, *keys):
        self.xdotool("key", *keys)

    def shot(self, label):
        self.shots += 1
        path = os.path.join(self.work, "%02d-%s.png" % (self.shots, label))
        run(["import", "-window", "root", path], self.env)
        return Picture(path)

    def wait_for_screen(self, label, ready):
        """A screenshot for which `ready` holds; fails with the last one kept."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            picture = self.shot(label)
            if ready(picture):
                return picture
            if time.monotonic() > deadline:
                self.fail("the screen never showed %s (see %s)" % (label, picture.path))
            time.sleep(0.05)

    def begin_capture(self):
        """Starts a capture; returns the screen as it was, once the overlay dims all of it."""
        before = self.wait_for_screen("before", lambda shown: shown.rgb == self.desktop.rgb)
        self.command("capture")
        middle = (0, self.SCREEN[1] // 2, self.SCREEN[0], 1)
        self.wait_for_screen("overlay", lambda shown: dimmed(before.region(middle),
                                                             shown.region(middle)))
        return before

    def wait_for_selection(self, before, rect):
        """Waits until the overlay shows exactly `rect` undimmed and what is around it dimmed."""
        x, y, width, height = rect
        # Clear of the grips on the corners and in the middle of each edge, of the border
        # line just outside and of the size label above.
        inside = [shrink(rect, 6)]
        outside = [(max(0, x - 30), y + 4, max(0, min(x, 30) - 8), height - 8),
                   (x, y + height + 8, width, 20)]
        if width > 40 and height > 40:
            rows, columns = height // 2 - 16, width // 2 - 16
            inside += [(x, y + 8, 1, rows), (x + width - 1, y + 8, 1, rows),
                       (x + 8, y, columns, 1), (x + 8, y + height - 1, columns, 1)]
            outside += [(x - 2, y + 8, 1, rows), (x + width + 1, y + 8, 1, rows),
                        (x + 8, y - 2, columns, 1), (x + 8, y + height + 1, columns, 1)]

        def shows_selection(shown):
            return (all(shown.region(r) == before.region(r) for r in inside)
                    and all(dimmed(before.region(r), shown.region(r)) for r in outside))

        return self.wait_for_screen("selection", shows_selection)

    def set_clipboard_text(self, text):
        # xclip stays in the background as the owner until another client takes over; it
        # ends with the X server.
        run(["xclip", "-selection", "clipboard", "-i"], self.env, input=text.encode(),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def clipboard(self, target):
        return run(["xclip", "-selection", "clipboard", "-t", target, "-o"], self.env,
                   check=False)

    def assert_clipboard_text(self, text):
        self.assertEqual(self.clipboard("UTF8_STRING").stdout.decode(), text)
        self.assertNotIn(b"image/png", self.clipboard("TARGETS").stdout)

    def assert_picture_is_area(self, path, before, rect):
        """The PNG at `path` holds exactly the pixels of `rect` in the screenshot `before`."""
        x, y, width, height = rect
        picture = Picture(path)
        self.assertEqual((picture.width, picture.height), (width, height), "size of " + path)
        crop = os.path.join(self.work, "expected-%d-%d-%dx%d.png" % rect)
        run(["convert", before.path, "-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage",
             crop], None)
        compared = run(["compare", "-metric", "AE", path, crop, "null:"], None, check=False)
        self.assertEqual(compared.stderr.decode().strip(), "0",
                         "pixels of %s that differ from %s" % (path, crop))
        self.assertEqual(compared.returncode, 0)

    def assert_clipboard_is_area(self, before, rect):
        path = os.path.join(self.work, "clipboard-%d-%d-%dx%d.png" % rect)
        copied = self.clipboard("image/png")
        self.assertEqual(copied.returncode, 0, copied.stderr.decode())
        with open(path, "wb") as f:
            f.write(copied.stdout)
        self.assert_picture_is_area(path, before, rect)

    def assert_overlay_gone(self, before):
        self.wait_for_screen("after", lambda shown: shown.rgb == before.rgb)

    def assert_host_window_viewable(self):
        state = run(["xwininfo", "-id", self.window], self.env).stdout.decode()
        self.assertIn("Map State: IsViewable", state)

    def visible_windows(self, title):
        return run(["xdotool", "search", "--onlyvisible", "--name", title], self.env,
                   check=False).stdout.decode().split()

    def wait_until(self, probe, what):
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            value = probe()
            if value:
                return value
            if time.monotonic() > deadline:
                self.fail("timed out waiting for " + what)
            time.sleep(0.05)

    def focused_window(self, title):
        """Waits for a window named `title` to be shown and to have the keyboard."""

        def focused():
            focus = run(["xdotool", "getwindowfocus"], self.env, check=False).stdout.strip()
            shown = self.visible_windows(title)
            return focus.decode() if focus.decode() in shown else None

        return self.wait_until(focused, "a focused window named " + title)


class CopyTest(XServerCase):

    def test_drag_and_enter_copy_exactly_the_dragged_pixels(self):
        before = self.begin_capture()
        self.assert_host_window_viewable()  # the caller's window is left as it is
        rect = (200, 150, 320, 240)
        self.drag((200, 150), (520, 390))
        during = self.wait_for_selection(before, rect)
        label = (200, 130, 60, 14)  # the size label, just above the area
        self.assertFalse(dimmed(before.region(label), during.region(label)),
                         "nothing is drawn above the area")
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_overlay_gone(before)
        self.assert_host_window_viewable()
        self.assert_clipboard_is_area(before, rect)

    def test_ctrl_c_and_double_click_copy_too(self):
        before = self.begin_capture()
        first = (40, 500, 150, 90)
        self.drag((40, 500), (190, 590))
        self.wait_for_selection(before, first)
        self.key("ctrl+c")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, first)

        before = self.begin_capture()
        second = (700, 80, 260, 333)
        self.drag((960, 413), (700, 80))  # dragged up and to the left
        self.wait_for_selection(before, second)
        self.click((800, 200), repeat=2)
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, second)

    def test_second_call_during_a_capture_returns_zero_at_once(self):
        before = self.begin_capture()
        self.command("capture")
        self.assertEqual(self.result(), 0)
        rect = (300, 300, 100, 100)
        self.drag((300, 300), (400, 400))
        self.wait_for_selection(before, rect)
        self.key("KP_Enter")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)


class CancelTest(XServerCase):

    def test_escape_leaves_the_clipboard_as_it_was(self):
        self.set_clipboard_text("kept")
        before = self.begin_capture()
        self.drag((100, 100), (400, 300))
        self.wait_for_selection(before, (100, 100, 300, 200))
        self.key("Escape")
        self.assertEqual(self.result(), 0)
        self.assert_overlay_gone(before)
        self.assert_clipboard_text("kept")

    def test_right_click_drops_the_selection_and_a_second_one_cancels(self):
        self.set_clipboard_text("kept")
        before = self.begin_capture()
        rect = (500, 200, 200, 150)
        self.drag((500, 200), (700, 350))
        self.wait_for_selection(before, rect)
        self.click((600, 275), button=3)
        inside = shrink(rect, 4)
        self.wait_for_screen("dropped",
                             lambda shown: dimmed(before.region(inside), shown.region(inside)))
        self.click((600, 275), button=3)
        self.assertEqual(self.result(), 0)
        self.assert_overlay_gone(before)
        self.assert_clipboard_text("kept")

    def test_keys_before_any_selection_do_not_end_the_capture(self):
        self.set_clipboard_text("kept")
        before = self.begin_capture()
        self.key("Return", "ctrl+c", "ctrl+s", "Right", "shift+Down")
        rect = (30, 60, 50, 40)
        self.drag((30, 60), (80, 100))
        self.wait_for_selection(before, rect)  # still capturing, nothing moved
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)


class AdjustTest(XServerCase):

    def test_arrows_move_and_shift_arrows_resize_one_pixel_a_step(self):
        before = self.begin_capture()
        self.drag((300, 200), (460, 300))
        self.wait_for_selection(before, (300, 200, 160, 100))
        self.key("Right", "Right", "Right", "Down", "Down", "Left")
        self.wait_for_selection(before, (302, 202, 160, 100))
        self.key(*["shift+Right"] * 5, *["shift+Down"] * 4, "shift+Left", "shift+Up")
        rect = (302, 202, 164, 103)
        self.wait_for_selection(before, rect)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)

    def test_arrows_stop_at_the_screen_edges(self):
        width, height = self.SCREEN
        before = self.begin_capture()
        self.drag((1, 2), (61, 42))
        self.key("Left", "Left", "Up", "Up", "Up")
        self.key(*["shift+Left"] * 70)  # never narrower than one pixel
        self.key("ctrl+c")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, (0, 0, 1, 40))

        before = self.begin_capture()
        self.drag((width - 50, height - 30), (width - 10, height - 5))
        self.key(*["Right"] * 15, *["Down"] * 10, "shift+Right", "shift+Down")
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, (width - 40, height - 25, 40, 25))

    def test_mouse_moves_the_area_and_resizes_it_by_edges_and_corners(self):
        before = self.begin_capture()
        self.drag((200, 200), (400, 350))
        self.wait_for_selection(before, (200, 200, 200, 150))
        self.drag((300, 270), (340, 300))  # inside: moves
        self.wait_for_selection(before, (240, 230, 200, 150))
        self.drag((438, 378), (458, 398))  # near the bottom right corner: both edges follow
        self.wait_for_selection(before, (240, 230, 220, 170))
        self.drag((241, 310), (221, 310))  # on the left edge: only it follows
        self.wait_for_selection(before, (220, 230, 240, 170))
        self.drag((330, 229), (330, 400))  # the top edge dragged past the bottom one
        rect = (220, 400, 240, 1)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)

    def test_dragging_outside_the_area_draws_a_new_one(self):
        before = self.begin_capture()
        self.drag((100, 100), (200, 200))
        self.wait_for_selection(before, (100, 100, 100, 100))
        rect = (600, 400, 120, 80)
        self.drag((600, 400), (720, 480))
        self.wait_for_selection(before, rect)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)


class SaveTest(XServerCase):

    def test_ctrl_s_saves_a_png_where_the_user_says(self):
        self.set_clipboard_text("kept")

        # Enter takes the proposal: the Pictures folder, a name with the date and time.
        started = datetime.now().replace(microsecond=0)
        before = self.begin_capture()
        first = (120, 140, 333, 222)
        self.drag((120, 140), (453, 362))
        self.wait_for_selection(before, first)
        self.key("ctrl+s")
        self.focused_window(SAVE_DIALOG_TITLE)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_overlay_gone(before)
        saved = os.listdir(self.pictures)
        self.assertEqual(len(saved), 1, saved)
        match = PROPOSED_NAME.match(saved[0])
        self.assertIsNotNone(match, "proposed name %r" % saved[0])
        stamp = datetime.strptime(match.group(1), "%Y-%m-%d %H-%M-%S")
        self.assertTrue(started <= stamp <= datetime.now(), "time in the name: %s" % stamp)
        self.assert_picture_is_area(os.path.join(self.pictures, saved[0]), before, first)

        # A path typed into the dialog.
        before = self.begin_capture()
        second = (700, 50, 90, 410)
        self.drag((700, 50), (790, 460))
        self.wait_for_selection(before, second)
        self.key("ctrl+s")
        self.focused_window(SAVE_DIALOG_TITLE)
        typed = os.path.join(self.work, "typed")
        self.key("ctrl+a")
        self.xdotool("type", "--delay", "2", typed)  # no suffix: .png is added
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_picture_is_area(typed + ".png", before, second)

        # Cancelling the dialog goes back to the same selection; Esc then saves nothing.
        before = self.begin_capture()
        third = (50, 50, 80, 60)
        self.drag((50, 50), (130, 110))
        self.wait_for_selection(before, third)
        self.key("ctrl+s")
        dialog = self.focused_window(SAVE_DIALOG_TITLE)
        self.key("Escape")
        self.wait_for_selection(before, third)
        self.assertNotIn(dialog, self.visible_windows(SAVE_DIALOG_TITLE))
        self.key("Escape")
        self.assertEqual(self.result(), 0)
        self.assertEqual(len(os.listdir(self.pictures)), 1)
        self.assert_clipboard_text("kept")  # saving never touches the clipboard

    def test_a_failed_save_says_so_and_loses_nothing(self):
        before = self.begin_capture()
        rect = (400, 300, 64, 48)
        self.drag((400, 300), (464, 348))
        self.wait_for_selection(before, rect)
        self.key("ctrl+s")
        first_dialog = self.focused_window(SAVE_DIALOG_TITLE)
        not_a_folder = os.path.join(self.work, "not-a-folder")
        open(not_a_folder, "w").close()
        self.key("ctrl+a")
        self.xdotool("type", "--delay", "2", os.path.join(not_a_folder, "shot.png"))
        self.key("Return")
        message = self.focused_window(SAVE_FAILED_TITLE)
        self.key("Return")
        self.wait_until(lambda: message not in self.visible_windows(SAVE_FAILED_TITLE),
                        "the message box to close")
        # The dialog asks again; cancelling it goes back to the selection.
        self.wait_until(lambda: self.focused_window(SAVE_DIALOG_TITLE) != first_dialog,
                        "the save dialog to ask again")
        self.key("Escape")
        self.wait_for_selection(before, rect)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)


class ScaledScreenTest(XServerCase):
    """With Qt scaling by 2, the overlay works in device pixels all the same."""

    scale_factor = 2

    def test_area_is_copied_at_full_pixel_resolution(self):
        before = self.begin_capture()
        self.drag((200, 150), (400, 252))  # the pointer moves in logical pixels: even here
        self.wait_for_selection(before, (200, 150, 200, 102))
        self.key("Right", "shift+Down")  # one device pixel, not one logical pixel
        rect = (201, 150, 200, 103)
        self.wait_for_selection(before, rect)
        self.key("Return")
        self.assertEqual(self.result(), 1)
        self.assert_clipboard_is_area(before, rect)


class NoDesktopTest(unittest.TestCase):
    """Without an application, its GUI thread or a screen to grab, the call returns 0 at once."""

    def call(self, mode, platform):
        env = {k: v for k, v in os.environ.items() if k not in FOREIGN_VARIABLES}
        env.pop("DISPLAY", None)
        if platform:
            env["QT_QPA_PLATFORM"] = platform
        with tempfile.TemporaryDirectory(prefix="orvane-capture-") as runtime:
            os.chmod(runtime, 0o700)
            env["XDG_RUNTIME_DIR"] = runtime
            done = run([HOST, LIBRARY, mode], env)
        return done.stdout.decode().strip()

    def test_returns_zero_without_a_gui_application(self):
        self.assertEqual(self.call("--no-app", None), "result 0")
        self.assertEqual(self.call("--core-app", None), "result 0")

    def test_returns_zero_outside_the_gui_thread(self):
        self.assertEqual(self.call("--thread", "offscreen"), "result 0")

    def test_returns_zero_when_no_screen_can_be_grabbed(self):
        # The minimal platform has a screen, but grabbing it gives nothing.
        self.assertEqual(self.call("--once", "minimal"), "result 0")


if __name__ == "__main__":
    if len(sys.argv) > 2 and not sys.argv[1].startswith("-"):
        HOST = os.path.abspath(sys.argv.pop(1))
        LIBRARY = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)

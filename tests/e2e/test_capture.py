#!/usr/bin/env python3
"""Screen-area capture in the real program: a click on "截图", a real drag and real keys
over a window of colour blocks beside the program, and what ends up on the clipboard or in
a file compared pixel for pixel with what `import -window root` saw before.

Every pixel of the blocks has a colour of its own, so an area one pixel off never matches.
Each test runs a private copy of the program, so the libraries it writes beside itself
are its own.

Usage: test_capture.py PATH_TO_ORVANE_NOTEPAD
"""

import ast
import glob
import os
import re
import shutil
import subprocess
import time

import harness
from harness import ProgramTestCase, main, run
from overlay_pixels import dimmed, shrink  # tests/, on the path through harness

CAPTURE_BUTTON = (553 + 16, 3 + 16)  # 按钮5 "截图"
SCREEN = (1280, 800)
OVERLAY_TITLE = "^截图$"
SAVE_DIALOG_TITLE = "^保存截图$"
ERROR_TITLE = "^错误$"
LIBRARY = "CameraDll.dll"
UNSAVED = "typed before the error"
MISSING_FUNCTION_MESSAGE = ("运行时出错!\n\n错误信息：无法找到指定DLL库文件“CameraDll.dll”"
                            "中的输出命令“CameraSubArea”")
PROPOSED_NAME = re.compile(r"^截图 \d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.png$")
BLOCKS = (220, 560)  # size of the colour-block picture
ATSPI_ALERT = 2      # AT-SPI role of a message box

# Variables that would tie the program to the desktop the tests run from: the look of its
# dialogs, scaling, settings, the session bus.
FOREIGN_VARIABLES = ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
                     "QT_ENABLE_HIGHDPI_SCALING", "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE",
                     "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "GNOME_DESKTOP_SESSION_ID",
                     "KDE_FULL_SESSION", "XDG_CONFIG_HOME", "DBUS_SESSION_BUS_ADDRESS")


def block_colour(x, y):
    return (x & 255, y & 255, 64 + 32 * (y >> 8) + 8 * (x >> 8))


def block_pixels(rect):
    x, y, width, height = rect
    return bytes(c for row in range(y, y + height) for column in range(x, x + width)
                 for c in block_colour(column, row))


class CaptureCase(ProgramTestCase):
    SHOT_PREFIX = "e2e-capture-"
    SCREEN = SCREEN

    def setUp(self):
        self.viewer = None
        # A cleanup, not tearDown: it also runs when setUp fails half-way.
        self.addCleanup(self.release)
        super().setUp()
        for name in FOREIGN_VARIABLES:
            self.env.pop(name, None)
        self.home = os.path.join(self.work, "home")
        self.pictures = os.path.join(self.home, "Pictures")
        os.makedirs(self.pictures)
        self.env.update(HOME=self.home, LC_ALL="C.UTF-8")
        self.folder = os.path.join(self.work, "program")
        os.mkdir(self.folder)
        self.copy = os.path.join(self.folder, os.path.basename(harness.PROGRAM[0]))
        shutil.copy2(harness.PROGRAM[0], self.copy)

    def release(self):
        if self.viewer is not None:
            self.viewer.kill()
            self.viewer.wait(timeout=5)

    def start_copy(self):
        """Starts the private copy; returns its main window."""
        original = harness.PROGRAM[0]
        harness.PROGRAM[0] = self.copy
        try:
            window = self.start_program()
        finally:
            harness.PROGRAM[0] = original
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)
        return window

    def windows(self, title):
        return self.xdotool("search", "--onlyvisible", "--name", title, check=False).split()

    def focused_window(self, title):
        def focused():
            focus = self.xdotool("getwindowfocus", check=False).strip()
            return focus if focus in self.windows(title) else None
        return self.wait_until(focused, "a focused window named " + title)


class CaptureTest(CaptureCase):

    def setUp(self):
        super().setUp()
        self.window = self.start_copy()
        self.blocks = self.show_blocks()
        self.before = self.shot("before", (0, 0, *SCREEN))

    def show_blocks(self):
        """Shows the colour blocks right of the main window; returns their screen origin."""
        left, top, width, _ = self.geometry(self.window)
        path = os.path.join(self.work, "blocks.ppm")
        with open(path, "wb") as f:
            f.write(b"P6 %d %d 255\n" % BLOCKS + block_pixels((0, 0, *BLOCKS)))
        place = (left + width + 8, top)
        self.assertLessEqual(place[0] + BLOCKS[0] + 8, SCREEN[0], "no room beside the window")
        self.viewer = subprocess.Popen(
            ["display", "-geometry", "+%d+%d" % place, path], env=self.env, cwd=self.work,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        # The picture sits inside the viewer's border: find its first two pixels.
        search = (place[0], place[1], 16, 16)
        first, second = block_colour(0, 0), block_colour(1, 0)

        def origin():
            shown = self.shot("blocks", search)
            for y in range(shown.height):
                for x in range(shown.width - 1):
                    if shown.pixel(x, y) == first and shown.pixel(x + 1, y) == second:
                        return search[0] + x, search[1] + y
            return None

        found = self.wait_until(origin, "the colour blocks to be shown")
        whole = self.settled_shot("blocks", lambda s: True, (*found, *BLOCKS))
        self.assertEqual(whole.rgb, block_pixels((0, 0, *BLOCKS)),
                         "the screen shows the blocks exactly")
        return found

    def on_screen(self, rect):
        """A rectangle given inside the blocks, in screen coordinates."""
        x, y, width, height = rect
        return (self.blocks[0] + x, self.blocks[1] + y, width, height)

    def region(self, shot, rect):
        x, y, width, height = rect
        return b"".join(shot.rgb[3 * ((y + row) * shot.width + x):
                                 3 * ((y + row) * shot.width + x + width)]
                        for row in range(height))

    def begin_capture(self):
        self.click_client(*CAPTURE_BUTTON)
        self.wait_until(lambda: self.windows(OVERLAY_TITLE), "the capture overlay")
        blocks = (*self.blocks, *BLOCKS)
        # Input goes to the overlay once it is painted: all of the blocks dimmed.
        self.wait_until(lambda: dimmed(self.region(self.before, blocks),
                                       self.shot("overlay", blocks).rgb),
                        "the overlay to dim the screen")

    def select(self, rect):
        """Drags over a rectangle (screen coordinates) and waits until it is shown selected."""
        x, y, width, height = rect
        self.xdotool("mousemove", str(x), str(y), "mousedown", "1",
                     "mousemove", str(x + width), str(y + height), "mouseup", "1")
        self.wait_for_selection(rect)

    def wait_for_selection(self, rect):
        """Waits until exactly `rect` is shown as it was and the pixels around it dimmed."""
        x, y, width, height = rect
        # The edges' outermost pixels and the lines two pixels outside, between the grips
        # on the corners and in the middle of each edge; a strip below, clear of the border.
        rows, columns = height // 2 - 16, width // 2 - 16
        inside = [shrink(rect, 6),
                  (x, y + 8, 1, rows), (x + width - 1, y + 8, 1, rows),
                  (x + 8, y, columns, 1), (x + 8, y + height - 1, columns, 1)]
        outside = [(x, y + height + 8, width, 10),
                   (x - 2, y + 8, 1, rows), (x + width + 1, y + 8, 1, rows),
                   (x + 8, y - 2, columns, 1), (x + 8, y + height + 1, columns, 1)]
        screen = (0, 0, *SCREEN)

        def shown():
            now = self.shot("selection", screen)
            return (all(self.region(now, r) == self.region(self.before, r) for r in inside)
                    and all(dimmed(self.region(self.before, r), self.region(now, r))
                            for r in outside))

        self.wait_until(shown, "the selection %s to be shown" % (rect,))

    def wait_for_overlay_to_close(self):
        self.wait_until(lambda: not self.windows(OVERLAY_TITLE), "the overlay to close")

    def assert_picture_is_area(self, path, rect):
        """The PNG at `path` holds exactly the pixels of `rect` in the screenshot before."""
        x, y, width, height = rect
        size = run(["identify", "-format", "%w %h", path], check=False).stdout.split()
        self.assertEqual(size, [str(width).encode(), str(height).encode()], "size of " + path)
        expected = os.path.join(self.work, "expected-%d-%d-%dx%d.png" % rect)
        run(["convert", self.before.path, "-crop", "%dx%d+%d+%d" % (width, height, x, y),
             "+repage", expected])
        compared = run(["compare", "-metric", "AE", path, expected, "null:"], check=False)
        self.shots["result"] = path
        self.shots["expected"] = expected
        self.assertEqual(compared.stderr.decode().strip(), "0",
                         "pixels of the result that differ from the screen before")
        self.assertEqual(compared.returncode, 0)

    def clipboard(self, target):
        return run(["xclip", "-selection", "clipboard", "-t", target, "-o"], env=self.env,
                   check=False)

    def assert_clipboard_is_area(self, rect):
        copied = self.clipboard("image/png")
        self.assertEqual(copied.returncode, 0, copied.stderr.decode())
        path = os.path.join(self.work, "clipboard.png")
        with open(path, "wb") as f:
            f.write(copied.stdout)
        self.assert_picture_is_area(path, rect)

    def assert_main_window_as_before(self, geometry, when):
        self.assertIn(self.window, self.windows("Orvane"), "main window shown " + when)
        state = run(["xwininfo", "-id", self.window], env=self.env).stdout.decode()
        self.assertIn("Map State: IsViewable", state, when)
        self.assertEqual(self.geometry(self.window), geometry, "main window geometry " + when)

    def test_drag_and_enter_copy_the_dragged_pixels_beside_the_unchanged_window(self):
        written = os.path.join(self.folder, LIBRARY)
        with open(written, "rb") as f:
            self.assertEqual(f.read(4), b"\x7fELF", "the library written at start-up")
        geometry = self.geometry(self.window)
        rect = self.on_screen((17, 41, 163, 297))

        self.begin_capture()
        overlay = self.windows(OVERLAY_TITLE)
        self.assertEqual(len(overlay), 1, overlay)
        pid = self.xdotool("getwindowpid", overlay[0], check=False).strip()
        self.assertEqual(pid, str(self.program.pid), "the overlay is the program's own")
        self.select(rect)
        self.assert_main_window_as_before(geometry, "during the capture")

        self.xdotool("key", "Return")
        self.wait_for_overlay_to_close()
        self.assert_clipboard_is_area(rect)
        self.assert_main_window_as_before(geometry, "after the capture")
        self.assertIsNone(self.program.poll(), "the program is still running")

    def test_escape_leaves_the_clipboard_as_it_was(self):
        # xclip stays behind as the clipboard's owner until the X server ends.
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=b"kept text",
                       env=self.env, timeout=harness.WAIT_SECONDS, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.begin_capture()
        self.select(self.on_screen((30, 60, 120, 90)))
        self.xdotool("key", "Escape")
        self.wait_for_overlay_to_close()
        self.assertEqual(self.clipboard("UTF8_STRING").stdout, b"kept text")
        self.assertNotIn(b"image/png", self.clipboard("TARGETS").stdout)

    def test_arrows_move_the_captured_area_one_pixel_a_step(self):
        x, y, width, height = self.on_screen((20, 60, 121, 151))
        self.begin_capture()
        self.select((x, y, width, height))
        self.xdotool("key", "Right", "Right", "Right", "Down", "Down")
        moved = (x + 3, y + 2, width, height)
        self.wait_for_selection(moved)
        self.xdotool("key", "Return")
        self.wait_for_overlay_to_close()
        self.assert_clipboard_is_area(moved)

    def test_ctrl_s_saves_the_pixels_in_the_pictures_folder(self):
        rect = self.on_screen((30, 250, 150, 211))
        self.begin_capture()
        self.select(rect)
        self.xdotool("key", "ctrl+s")
        dialog = self.focused_window(SAVE_DIALOG_TITLE)
        self.xdotool("key", "Return")  # takes the proposed folder and name
        self.wait_until(lambda: dialog not in self.windows(SAVE_DIALOG_TITLE),
                        "the save dialog to close")

        def saved():
            # The file is written under another name and renamed when complete.
            return [name for name in os.listdir(self.pictures) if name.endswith(".png")]

        names = self.wait_until(saved, "the picture in %s" % self.pictures)
        self.assertEqual(len(names), 1, names)
        self.assertRegex(names[0], PROPOSED_NAME)
        self.assert_picture_is_area(os.path.join(self.pictures, names[0]), rect)
        self.assertFalse(self.windows(OVERLAY_TITLE), "the capture has ended")


class BrokenLibraryTest(CaptureCase):
    """A CameraDll.dll of the user's own beside the program (a library, but without
    CameraSubArea) is kept at start-up; the first click on "截图" shows the run-time error
    box, with a line naming the file to delete, and ends the program, unsaved text kept
    first."""

    def setUp(self):
        self.bus = None
        self.helpers = []  # accessibility processes the bus started for the program
        super().setUp()
        self.broken = os.path.join(self.folder, LIBRARY)
        components = os.path.join(os.path.dirname(os.path.abspath(harness.PROGRAM[0])),
                                  "components")
        shutil.copy(os.path.join(components, "speex.dll"), self.broken)
        self.broken_size = os.path.getsize(self.broken)
        self.start_session_bus()

    def release(self):
        self.stop_session_bus()
        super().release()

    # The box's text is read the way a screen reader reads it: over AT-SPI, on a private
    # session bus that starts the accessibility bus on demand.

    def start_session_bus(self):
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                    env=self.env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + harness.WAIT_SECONDS
        address = b""
        while not address.endswith(b"\n") and time.monotonic() < deadline:
            chunk = self.read_with_deadline(self.bus.stdout.fileno(), deadline)
            if not chunk:
                break
            address += chunk
        self.assertTrue(address.strip(), "the session bus did not say its address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address.strip().decode()
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def stop_session_bus(self):
        if self.bus is None:
            return
        self.bus.kill()
        self.bus.wait(timeout=5)
        self.bus.stdout.close()
        # The accessibility helpers leave with the session bus; make sure of it.
        deadline = time.monotonic() + 5
        for pid in self.helpers:
            while self.alive(pid) and time.monotonic() < deadline:
                time.sleep(0.05)
            if self.alive(pid):
                os.kill(pid, 9)

    @staticmethod
    def alive(pid):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return False
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"

    def gdbus(self, address, destination, path, method, *args):
        where = ["--session"] if address is None else ["--address", address]
        done = run(["gdbus", "call", *where, "--dest", destination, "--object-path", path,
                    "--method", method, *args], env=self.env, check=False)
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        return done.stdout.decode().strip()

    def bus_pid(self, address, name):
        answer = self.gdbus(address, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus.GetConnectionUnixProcessID", name)
        return int(re.fullmatch(r"\(uint32 (\d+),\)", answer).group(1))

    def accessibility_bus(self):
        answer = self.gdbus(None, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress")
        address = ast.literal_eval(re.fullmatch(r"\((.*),\)", answer).group(1))
        self.helpers.append(self.bus_pid(None, "org.a11y.Bus"))
        # The registry is started on demand, when the program first calls on it.
        self.wait_until(lambda: self.gdbus(address, "org.freedesktop.DBus",
                                           "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus.NameHasOwner",
                                           "org.a11y.atspi.Registry") == "(true,)",
                        "the accessibility registry")
        self.helpers.append(self.bus_pid(address, "org.a11y.atspi.Registry"))
        return address

    def children(self, address, node):
        answer = self.gdbus(address, node[0], node[1], "org.a11y.atspi.Accessible.GetChildren")
        return re.findall(r"\('([^']+)', (?:objectpath )?'([^']+)'\)", answer)

    def name(self, address, node):
        answer = self.gdbus(address, node[0], node[1], "org.freedesktop.DBus.Properties.Get",
                            "org.a11y.atspi.Accessible", "Name")
        return ast.literal_eval(re.fullmatch(r"\(<(.*)>,\)", answer).group(1))

    def role(self, address, node):
        answer = self.gdbus(address, node[0], node[1], "org.a11y.atspi.Accessible.GetRole")
        return int(re.fullmatch(r"\(uint32 (\d+),\)", answer).group(1))

    def message_box_texts(self, address, title):
        """The texts shown in the program's message box titled `title`, or None."""
        root = ("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
        for application in self.children(address, root):
            for window in self.children(address, application):
                if (self.name(address, window) == title
                        and self.role(address, window) == ATSPI_ALERT):
                    return [self.name(address, child)
                            for child in self.children(address, window)]
        return None

    def test_first_click_shows_the_run_time_error_and_ends_with_255(self):
        self.start_copy()
        self.assertEqual(os.path.getsize(self.broken), self.broken_size,
                         "start-up keeps the file there")
        self.assertFalse(self.windows(ERROR_TITLE), "no error before the click")
        address = self.accessibility_bus()
        self.click_client(400, 300)  # the editor
        self.xdotool("type", UNSAVED)

        self.click_client(*CAPTURE_BUTTON)
        box = self.focused_window(ERROR_TITLE)
        texts = self.wait_until(lambda: self.message_box_texts(address, "错误"),
                                "the box to be seen over AT-SPI")
        expected = "%s\n删除“%s”" % (MISSING_FUNCTION_MESSAGE, self.broken)
        self.assertTrue(any(text.startswith(expected) for text in texts), texts)
        left, top, width, height = self.geometry(box)
        shown = self.shot("error", (left, top, width, height))
        stop_red = sum(1 for p in shown.pixels((0, 0, height, height))
                       if p[0] > 180 and p[1] < 90 and p[2] < 90)
        self.assertGreater(stop_red, 100, "a red stop icon on the box's left")
        self.assertFalse(self.windows(OVERLAY_TITLE), "no capture started")

        self.xdotool("key", "Return")
        try:
            status = self.program.wait(timeout=harness.WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end after the box")
        self.assertEqual(status, 255)
        self.assertEqual(os.path.getsize(self.broken), self.broken_size,
                         "the file is left as it was")
        # The unsaved text was kept before the program ended.
        kept = glob.glob(os.path.join(self.env["XDG_STATE_HOME"], "orvane-notepad",
                                      "recovered-*.txt"))
        self.assertEqual(len(kept), 1)
        with open(kept[0], "rb") as f:
            self.assertEqual(f.read(), UNSAVED.encode())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""What the end-to-end tests share: their own Xvfb, the real program, real input through
xdotool, screenshots.

Each test script takes the program's path as its first argument (or ORVANE_NOTEPAD=...).

Screenshots are taken with ImageMagick's `import`, decoded to raw RGB and measured here.
When the test fails they are copied into the current directory and their paths printed.
"""

import functools
import os
import select
import shutil
import subprocess
import sys
import time
import unittest

# The shared X server helper lives in tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from xvfb_server import XvfbTestCase  # noqa: E402

PROGRAM = [os.environ.get("ORVANE_NOTEPAD", "")]  # set by main()

WINDOW_WIDTH, WINDOW_HEIGHT = 783, 583
PROGRAM_NAME = "Orvane教程视频录制记事本DIY版V6.3 "
HOME_PAGE = "www.orvane.example"

# Client coordinates (left, top, width, height) from the window's design.
LOGO = (3, 3, 153, 93)
BANNER = (163, 43, 603, 53)
TOOLBAR = (160, 3, 520, 33)  # the buttons and the speed box, right of the logo
MOVE_UP_BUTTON = (683, 3, 33, 33)
VERSION_LABEL_POINT = (750, 8)  # inside the "V6.3" label (723, -3, 53, 23)
EDITOR_NORMAL_TOP, EDITOR_NORMAL_HEIGHT = 103, 453
EDITOR_COMPACT_TOP, EDITOR_COMPACT_HEIGHT = 23, 553
MENU_ITEMS = 13  # 退出, 上移还原, 本软件更新, 定制软件专版, 关于Orvane, 对本软件有建议或意见,
#                 朗读时标出句子, 导出语音和字幕…, 打字到当前窗口, 发音词典…, 自然节奏,
#                 热键设置…, 语音设置…
EXIT_ITEM, RESTORE_ITEM = 0, 1

COLOUR_TOLERANCE = 12  # per channel, for "same colour" on a pixel
WAIT_SECONDS = 30  # for what a slow (sanitizer, loaded) build does; passing runs wait far less


def run(args, timeout=10, check=True, env=None):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                          check=check, env=env)


class Shot:
    """A screenshot as raw 8-bit RGB; coordinates are relative to its top left corner."""

    def __init__(self, path, width, height, rgb):
        self.path, self.width, self.height, self.rgb = path, width, height, rgb

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i:i + 3])

    def pixels(self, region):
        left, top, width, height = region
        for y in range(max(top, 0), min(top + height, self.height)):
            for x in range(max(left, 0), min(left + width, self.width)):
                yield self.pixel(x, y)

    def spread(self, region):
        """Standard deviation of the grey level (0..255) over a region."""
        greys = [sum(p) / 3 for p in self.pixels(region)]
        mean = sum(greys) / len(greys)
        return (sum((g - mean) ** 2 for g in greys) / len(greys)) ** 0.5

    def fraction_unlike(self, region, colour):
        """Share of a region's pixels whose colour differs from `colour`."""
        pixels = list(self.pixels(region))
        return sum(1 for p in pixels if not similar(p, colour)) / len(pixels)

    def fraction_changed(self, other, region):
        """Share of a region's pixels that differ between two shots."""
        pairs = list(zip(self.pixels(region), other.pixels(region)))
        return sum(1 for a, b in pairs if not similar(a, b)) / len(pairs)

    def first_row_unlike(self, x, rows, colour):
        """The first y in `rows` at column x whose pixel is not `colour`, or None."""
        for y in rows:
            if not similar(self.pixel(x, y), colour):
                return y
        return None


def text_lines(shot):
    """(first, last) rows of each line of dark text in a shot, leaving out a 2-pixel frame."""
    inked = [y for y in range(2, shot.height - 2)
             if any(sum(shot.pixel(x, y)) < 3 * 128 for x in range(4, shot.width - 4))]
    lines = []
    for y in inked:
        if lines and y - lines[-1][1] <= 4:  # gaps inside a line of glyphs are small
            lines[-1][1] = y
        else:
            lines.append([y, y])
    return lines


def offline_command(command):
    """The command in a network namespace of its own with no network, where that can be
    made (root): the program's update check at start-up then reaches nothing outside
    the machine (it shows the offline warning, which the tests close). The X server is
    still reached through its socket file."""
    if not hasattr(offline_command, "works"):
        offline_command.works = (
            os.geteuid() == 0 and shutil.which("unshare") is not None and
            subprocess.run(["unshare", "--net", "true"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL).returncode == 0)
    return (["unshare", "--net", "--"] + command) if offline_command.works else command


def similar(a, b):
    return all(abs(p - q) <= COLOUR_TOLERANCE for p, q in zip(a, b))


def keeps_screenshots(step):
    """Wraps a test or a setUp: on failure the screenshots and the program's output are
    kept before the cleanups end the program."""
    @functools.wraps(step)
    def wrapper(self, *args, **kwargs):
        try:
            return step(self, *args, **kwargs)
        except BaseException:
            self.keep_screenshots()
            raise
    return wrapper


class ProgramTestCase(XvfbTestCase):
    """A test with its own X server and the program under test; screenshots are kept on
    failure of any test or setUp of a subclass."""

    SHOT_PREFIX = "e2e-"
    SCREEN = (1280, 800)
    WORK_PREFIX = "orvane-e2e-"
    XVFB_SECONDS = WAIT_SECONDS

    def __init_subclass__(cls, **kwargs):
        super().__init_subclass__(**kwargs)
        for name, step in list(vars(cls).items()):
            if callable(step) and (name == "setUp" or name.startswith("test")):
                setattr(cls, name, keeps_screenshots(step))


    def setUp(self):
        self.assertTrue(PROGRAM[0] and os.access(PROGRAM[0], os.X_OK),
                        "give the program's path as the first argument or in ORVANE_NOTEPAD")
        self.shots = {}  # label: path
        self.program = None
        self.program_log = None
        super().setUp()
        # Cleanups run even when setUp fails half-way, unlike tearDown.
        self.addCleanup(self.release_program)

    def release_program(self):
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
        if self.program is not None:
            try:
                self.program.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        if self.program_log is not None:
            self.program_log.close()

    # --- the X server and the program -------------------------------------------------

    def start_xvfb(self):
        super().start_xvfb()
        self.env = dict(os.environ)
        self.env["DISPLAY"] = self.display
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["XDG_RUNTIME_DIR"] = self.work
        # A program killed with unsaved text leaves an autosave copy for the next start to
        # offer, and a chosen font or mode is remembered: each test keeps its own settings
        # and state, never the user's nor another test's.
        self.env["XDG_STATE_HOME"] = os.path.join(self.work, "state")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "config")
        # One copy runs per desktop session, found on the session bus: a test's program
        # meets another only on a bus the test made for itself (dbus-run-session).
        if not os.environ.get("ORVANE_TEST_BUS"):
            self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.wait_until(lambda: run(["xdpyinfo"], check=False, env=self.env).returncode == 0,
                        "Xvfb answering")

    @staticmethod
    def read_with_deadline(fd, deadline):
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        return os.read(fd, 64) if ready else b""

    def start_program(self, command=None):
        """Starts the program (or the given command line, which ends in it) offline."""
        if self.program_log is not None:
            self.program_log.close()
        self.program_log = open(os.path.join(self.work, "program.log"), "wb")
        self.program = subprocess.Popen(offline_command(command or [PROGRAM[0]]), env=self.env,
                                        cwd=self.work, stdout=self.program_log,
                                        stderr=subprocess.STDOUT)

        def window():
            self.assertIsNone(self.program.poll(), "the program ended during start-up")
            self.dismiss_start_up_boxes()
            found = self.xdotool("search", "--onlyvisible", "--name", "Orvane", check=False)
            return found.split()[0] if found.strip() else None

        return self.wait_until(window, "the main window to be shown")

    def dismiss_start_up_boxes(self):
        """The online check may stand before the window: offline warning or update offer.
        Esc closes either without opening anything."""
        for title in ("语音可能不可用！", "有更新！"):
            for box in self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title,
                                    check=False).split():
                self.xdotool("windowfocus", "--sync", box, check=False)
                self.xdotool("key", "Escape", check=False)

    def xdotool(self, *args, check=True):
        if args and args[0] == "mousemove":
            self.pointer = None  # only click_client keeps track of where the pointer is
        return run(["xdotool", *args], check=check, env=self.env).stdout.decode()

    def geometry(self, window):
        fields = dict(line.split("=", 1)
                      for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        return tuple(int(fields[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def visible_windows(self):
        return set(self.xdotool("search", "--onlyvisible", "--class", "orvane-notepad",
                                check=False).split())

    def windows_named(self, name):
        return set(self.xdotool("search", "--onlyvisible", "--name", name, check=False).split())

    def wait_for_window(self, name, what):
        """A visible window of that name, once one shows; fails if the program ends first."""
        def found():
            self.assertIsNone(self.program.poll(), "the program ended")
            windows = self.windows_named(name)
            return windows.pop() if windows else None
        return self.wait_until(found, what)

    # --- waiting, pointer, screenshots -------------------------------------------------

    def wait_until(self, probe, what, seconds=WAIT_SECONDS):
        deadline = time.monotonic() + seconds
        while True:
            result = probe()
            if result:
                return result
            if time.monotonic() > deadline:
                self.fail("timed out waiting for " + what)
            time.sleep(0.05)

    def paste_into_editor(self, text, point=(400, 300)):
        """Puts text into the editor at the click point through the clipboard (Chinese
        cannot be typed with xdotool)."""
        subprocess.run(["xclip", "-selection", "clipboard", "-loops", "1"],
                       input=text.encode("utf-8"), env=self.env, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.click_client(*point)
        self.xdotool("key", "--clearmodifiers", "ctrl+v")

    def click_client(self, x, y):
        target = (self.origin[0] + x, self.origin[1] + y)
        # "mousemove --sync" waits for motion, so it would hang on the spot it is at.
        if getattr(self, "pointer", None) != target:
            self.xdotool("mousemove", "--sync", str(target[0]), str(target[1]))
        self.pointer = target
        self.xdotool("click", "1")

    def shot(self, label, region=None):
        """Screenshot of a screen region, by default the main window's client area.

        The latest shot of each label is kept for the failure report."""
        index = list(self.shots).index(label) if label in self.shots else len(self.shots)
        path = os.path.join(self.work, "%d-%s.png" % (index + 1, label))
        left, top, width, height = region or (*self.origin, WINDOW_WIDTH, WINDOW_HEIGHT)
        run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, left, top),
             "+repage", path], env=self.env)
        self.shots[label] = path
        rgb = run(["convert", path, "-depth", "8", "rgb:-"]).stdout
        self.assertEqual(len(rgb), 3 * width * height, "screenshot size")
        return Shot(path, width, height, rgb)

    def settled_shot(self, label, ready, region=None):
        """A screenshot once `ready` holds for it and painting has settled (two shots in a
        row agree). If that never happens, the last shot, for the checks to explain."""
        previous = None
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            current = self.shot(label, region)
            if previous is not None and current.rgb == previous.rgb and ready(current):
                return current
            if time.monotonic() > deadline:
                return current
            previous = current
            time.sleep(0.05)

    def open_menu(self):
        """Hovers the "V6.3" label until the pop-up menu appears; returns its window."""
        before = self.visible_windows()
        x, y = VERSION_LABEL_POINT
        left, top = self.origin
        for attempt in range(5):
            # Come from outside the label so that it sees the pointer arrive and move.
            self.xdotool("mousemove", "--sync", str(left + 400), str(top + 300))
            time.sleep(0.1)
            self.xdotool("mousemove", "--sync", str(left + x + attempt), str(top + y))
            self.xdotool("mousemove", str(left + x + attempt + 1), str(top + y))
            deadline = time.monotonic() + 2
            while time.monotonic() < deadline:
                new = self.visible_windows() - before
                if new:
                    self.assertEqual(len(new), 1, "more than one new window: %s" % new)
                    return new.pop()
                time.sleep(0.05)
        self.fail("the menu did not appear when the pointer moved over V6.3")

    def menu_item_point(self, menu, item):
        """Screen point in the middle of a menu item: the menu is a column of equal rows."""
        left, top, width, height = self.geometry(menu)
        row = height / MENU_ITEMS
        return left + width // 2, int(top + row * (item + 0.5))

    def check_menu_rows(self, menu):
        """The menu shows one line of text in each of its equal rows, and nothing else."""
        left, top, width, height = self.geometry(menu)
        menu_shot = self.settled_shot("menu", lambda s: len(text_lines(s)) == MENU_ITEMS,
                                      (left, top, width, height))
        lines = text_lines(menu_shot)
        self.assertEqual(len(lines), MENU_ITEMS, "text lines in the menu: %s" % lines)
        row = height / MENU_ITEMS
        for index, (first, last) in enumerate(lines):
            middle = (first + last) / 2
            self.assertTrue(row * index <= middle < row * (index + 1),
                            "menu line %d (y %d..%d) is outside its row" % (index, first, last))

    def choose_menu_item(self, item):
        menu = self.open_menu()
        self.check_menu_rows(menu)
        x, y = self.menu_item_point(menu, item)
        self.xdotool("mousemove", "--sync", str(x), str(y))
        time.sleep(0.1)  # let the menu highlight the item under the pointer
        self.xdotool("click", "1")
        return menu

    def keep_screenshots(self):
        saved = []
        for path in getattr(self, "shots", {}).values():
            target = os.path.join(os.getcwd(), self.SHOT_PREFIX + os.path.basename(path))
            if os.path.exists(path):
                shutil.copyfile(path, target)
                saved.append(target)
        log = os.path.join(getattr(self, "work", ""), "program.log")
        if os.path.exists(log):
            if self.program_log is not None:
                self.program_log.flush()
            with open(log, "rb") as f:
                sys.stderr.write("program output:\n" + f.read().decode("utf-8", "replace"))
        for target in saved:
            sys.stderr.write("screenshot: %s\n" % target)




def main():
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        PROGRAM[0] = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)

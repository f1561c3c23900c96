#!/usr/bin/env python3
"""The program in a desktop session with a window manager (openbox), and without a sound
device (SDL's audio driver forced to one that does not exist): the title the window
manager reads has no control characters; the save dialog is shown in Chinese (its
screenshot is kept for a look: e2e-desktop-save-dialog.png); the font dialog's first
opening shows the editor's font, so confirming it leaves the editor as it was; "语音"
says that no sound device was found and the buttons stay idle, their disabled captions
readable.

Usage: test_desktop.py PATH_TO_ORVANE_NOTEPAD
"""

import os
import shutil
import subprocess

from harness import HOME_PAGE, PROGRAM_NAME, ProgramTestCase, main, run

SAVE_AS_BUTTON = (373 + 16, 3 + 16)  # 按钮4 "另存"
FONT_BUTTON = (463 + 16, 3 + 16)     # 按钮8 "字体"
READ_BUTTON = (604 + 11, 3 + 16)     # 按钮10 "语音"
READING_BUTTONS = (604, 3, 64, 33)   # 语音, 暂停, 结束
PAUSE_BUTTON = (625 + 3, 3 + 3, 23 - 6, 33 - 6)  # inside the frames of 按钮11 "暂停"
EDITOR_INSIDE = (10, 110, 740, 420)
CARET_PIXELS = 60  # a blinking caret may differ between two shots
SAVE_AS_TITLE = "请输入欲另存到的文本文件名:"
FONT_TITLE = "字体"
NO_DEVICE_CAPTION = "语音"


def luminance(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


class DesktopTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-desktop-"

    def setUp(self):
        super().setUp()
        self.env["SDL_AUDIODRIVER"] = "nonexistent"
        manager = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.end, manager)
        self.wait_until(lambda: b"window id" in run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False, env=self.env).stdout,
            "openbox to manage the screen")

    @staticmethod
    def end(process):
        if process.poll() is None:
            process.kill()
        process.wait(timeout=5)

    def test_title_dialogs_and_reading_without_a_sound_device(self):
        window = self.start_program()
        self.origin = self.client_origin(window)
        self.check_title_for_the_window_manager(window)
        self.check_save_dialog()
        self.check_font_dialog_first_opening()
        self.check_reading_without_a_sound_device()

    def check_title_for_the_window_manager(self, window):
        raw = run(["xprop", "-id", window, "-notype", "_NET_WM_NAME"], env=self.env).stdout
        value = raw.decode("utf-8").split("=", 1)[1].strip()
        self.assertEqual(value, '"%s %s"' % (PROGRAM_NAME, HOME_PAGE),
                         "each line break one space, no control character")
        self.assertFalse(any(ord(c) < 0x20 for c in value))

    def check_save_dialog(self):
        self.click_client(*SAVE_AS_BUTTON)
        dialog = self.wait_for_window(SAVE_AS_TITLE, "the save dialog")
        # Its frame, drawn by the window manager, is left out: only the dialog's own texts.
        _, _, width, height = self.geometry(dialog)
        self.settled_shot("save-dialog", lambda s: True, (*self.client_origin(dialog), width, height))
        shutil.copyfile(self.shots["save-dialog"],
                        os.path.join(os.getcwd(), self.SHOT_PREFIX + "save-dialog.png"))
        self.close_with_escape(dialog, SAVE_AS_TITLE)

    def check_font_dialog_first_opening(self):
        self.click_client(400, 300)
        self.xdotool("type", "--delay", "10", "AaBb Font 123")
        before = self.editor("editor before the font dialog")
        self.click_client(*FONT_BUTTON)
        dialog = self.wait_for_window("^%s$" % FONT_TITLE, "the font dialog")
        self.xdotool("windowfocus", "--sync", dialog, check=False)
        self.xdotool("key", "Return")  # 确定, unchanged
        self.wait_until(lambda: dialog not in self.windows_named("^%s$" % FONT_TITLE),
                        "the font dialog to close")
        # The font is set before the click is handled: the shot shows the editor after it.
        self.click_client(400, 300)
        after = self.settled_shot("editor after the font dialog", lambda s: True,
                                  self.region(EDITOR_INSIDE))
        self.assertLessEqual(self.differing(after, before), CARET_PIXELS,
                             "confirming the font dialog's first opening changed the editor")

    def check_reading_without_a_sound_device(self):
        self.xdotool("mousemove", "--sync", str(self.origin[0] + 420),
                     str(self.origin[1] + 320))
        idle = self.shot("buttons idle", self.region(READING_BUTTONS))
        self.check_disabled_caption_contrast()
        self.click_client(*READ_BUTTON)
        box = self.wait_for_window("^%s$" % NO_DEVICE_CAPTION, "the message about the sound device")
        self.assertEqual(len(self.windows_named("^%s$" % NO_DEVICE_CAPTION)), 1)
        self.shot("no sound device", (*self.client_origin(box), *self.geometry(box)[2:]))
        self.xdotool("windowfocus", "--sync", box, check=False)
        self.xdotool("key", "Return")
        self.wait_until(lambda: box not in self.windows_named("^%s$" % NO_DEVICE_CAPTION),
                        "the message to close")
        self.xdotool("mousemove", "--sync", str(self.origin[0] + 420),
                     str(self.origin[1] + 320))
        self.wait_until(
            lambda: self.differing(self.shot("buttons after", self.region(READING_BUTTONS)),
                                   idle) == 0,
            "语音, 暂停 and 结束 to look idle as before the click")
        self.assertIsNone(self.program.poll(), "the program ended")

    def check_disabled_caption_contrast(self):
        """暂停 is disabled while idle: its darkest caption pixel against its face."""
        pause = self.shot("pause button", self.region(PAUSE_BUTTON))
        pixels = list(pause.pixels((0, 0, pause.width, pause.height)))
        face = max(set(pixels), key=pixels.count)
        darkest = min(pixels, key=luminance)
        self.assertGreaterEqual(contrast(darkest, face), 3.0,
                                "disabled caption %s on %s" % (darkest, face))

    # --- helpers ------------------------------------------------------------------------

    def client_origin(self, window):
        """xdotool's window position counts the frame twice under a window manager; the
        absolute position from xwininfo is right."""
        info = run(["xwininfo", "-id", window], env=self.env).stdout.decode()
        fields = dict(line.strip().split(":", 1) for line in info.splitlines()
                      if line.strip().startswith("Absolute upper-left"))
        return (int(fields["Absolute upper-left X"]), int(fields["Absolute upper-left Y"]))

    def region(self, client):
        left, top, width, height = client
        return (self.origin[0] + left, self.origin[1] + top, width, height)

    def editor(self, label):
        return self.shot(label, self.region(EDITOR_INSIDE))

    def close_with_escape(self, dialog, name):
        self.xdotool("windowfocus", "--sync", dialog, check=False)
        self.xdotool("key", "Escape")
        self.wait_until(lambda: dialog not in self.windows_named(name), "the dialog to close")

    @staticmethod
    def differing(a, b):
        return sum(1 for p, q in zip(a.pixels((0, 0, a.width, a.height)),
                                     b.pixels((0, 0, b.width, b.height))) if p != q)


if __name__ == "__main__":
    main()

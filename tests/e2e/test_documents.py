#!/usr/bin/env python3
"""A script file in the real program: opened through the real file dialog (the path typed
with xdotool), the window title then shows it, the text is changed, "退出" asks about the
change, Esc (Cancel) keeps the program running, and "退出" again answered with Return
(the default button, Yes) saves the file in GBK before the program ends.

Usage: test_documents.py PATH_TO_ORVANE_NOTEPAD
"""

import os
import time

from harness import EXIT_ITEM, PROGRAM_NAME, WAIT_SECONDS, ProgramTestCase, main

OPEN_BUTTON = (283 + 16, 3 + 16)  # 按钮2 "打开"
EDITOR_POINT = (300, 250)  # not (400, 300), where open_menu starts its pointer moves
OPEN_DIALOG_TITLE = "请输入欲打开的文本文件名:"
QUESTION_CAPTION = "_启动窗口"
BANNER = PROGRAM_NAME + " V/Q：800163063 微博@Orvane录制"  # line break as one space
SCRIPT = "第一行讲稿，录视频用。\r\n第二行 ABC\r\n"
ADDED = "added 42"


class DocumentsTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-documents-"

    def test_open_change_exit_cancel_then_yes_saves(self):
        self.run_scenario()

    def run_scenario(self):
        path = os.path.join(self.work, "script.txt")
        with open(path, "wb") as f:
            f.write(SCRIPT.encode("gbk"))

        window = self.start_program()
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)

        # "打开": the dialog comes up with the keyboard focus in its name field.
        self.click_client(*OPEN_BUTTON)
        dialog = self.wait_for_window(OPEN_DIALOG_TITLE, "the open dialog")
        self.open_through_dialog(dialog, path)
        expected_title = path + "   " + BANNER
        self.wait_until(lambda: self.title(window) == expected_title,
                        "the title %r (it is %r)" % (expected_title, self.title(window)))

        # Change the text: a line added at the end.
        self.click_client(*EDITOR_POINT)
        self.xdotool("key", "--clearmodifiers", "ctrl+End")
        self.xdotool("type", "--delay", "15", ADDED)
        self.shot("changed")

        # "退出" asks; Esc answers Cancel and the program goes on, the file untouched.
        self.choose_menu_item(EXIT_ITEM)
        question = self.wait_for_window(QUESTION_CAPTION, "the question about changed text")
        self.xdotool("windowfocus", "--sync", question, check=False)
        self.xdotool("key", "Escape")
        self.wait_until(lambda: question not in self.windows_named(QUESTION_CAPTION),
                        "the question to close")

        # "退出" again: the question coming back shows that Cancel kept the program going.
        # Return presses the default button, Yes: the file is saved and the program ends.
        self.choose_menu_item(EXIT_ITEM)
        question = self.wait_for_window(QUESTION_CAPTION, "the question the second time")
        self.assertIsNone(self.program.poll(), "Cancel keeps the program running")
        self.assertIn(window, self.visible_windows())
        with open(path, "rb") as f:
            self.assertEqual(f.read(), SCRIPT.encode("gbk"), "nothing saved on Cancel")
        self.xdotool("windowfocus", "--sync", question, check=False)
        self.xdotool("key", "Return")
        try:
            status = self.program.wait(timeout=WAIT_SECONDS)
        except Exception:
            self.fail("the program did not end after Yes")
        self.assertEqual(status, 0)
        with open(path, "rb") as f:
            saved = f.read()
        self.assertEqual(saved, (SCRIPT + ADDED).encode("gbk"),
                         "the changed text, in GBK with its CR LF and no mark")

    # --- helpers ---------------------------------------------------------------------

    def title(self, window):
        found = self.xdotool("getwindowname", window, check=False)
        return found[:-1] if found.endswith("\n") else found

    def open_through_dialog(self, dialog, path):
        """Types the path into the name field and confirms it; a second Return when the
        first only closed the name completer's list. Without a window manager nothing
        gives the new dialog the input focus on a loaded machine, so the test does; and
        while the dialog stays the path is typed again over whatever the field holds."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            self.xdotool("windowfocus", "--sync", dialog, check=False)
            # Ctrl+A is the program's global read-aloud key: select with Home, Shift+End.
            self.xdotool("key", "Home", "shift+End")
            self.xdotool("type", "--delay", "15", path)
            for _ in range(2):
                self.xdotool("key", "Return")
                gone = time.monotonic() + 3
                while dialog in self.windows_named(OPEN_DIALOG_TITLE):
                    if time.monotonic() > gone:
                        break
                    time.sleep(0.1)
                else:
                    return
            if time.monotonic() > deadline:
                self.shot("dialog")
                self.fail("timed out waiting for the open dialog to accept the path")


if __name__ == "__main__":
    main()

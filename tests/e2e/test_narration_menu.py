#!/usr/bin/env python3
"""导出语音和字幕… in the window: the export synthesises on a worker, so while it runs its
progress box keeps moving and answers the keyboard; Esc on the box cancels it, and the
export then removes what it wrote (its temporary audio file) and writes nothing else.

Usage: test_narration_menu.py PATH_TO_ORVANE_NOTEPAD
"""

import os
import time

from harness import PROGRAM, WAIT_SECONDS, ProgramTestCase, main

EXPORT_ITEM = 7
DIALOG_TITLE = "导出语音和字幕"
PROGRESS_TITLE = "^信息：$"
SENTENCE = "春天来了，山坡上的小草悄悄探出头，河边的柳树抽出嫩绿枝条，在微风中轻轻摇摆。\r\n"


class NarrationMenuTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-narration-menu-"

    def test_the_progress_box_moves_and_cancel_leaves_nothing(self):
        script = os.path.join(self.work, "lesson.txt")
        with open(script, "wb") as f:
            f.write((SENTENCE * 400).encode("gbk"))  # long enough to be cancelled midway
        window = self.start_program([PROGRAM[0], script])
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)

        self.choose_menu_item(EXPORT_ITEM)
        dialog = self.wait_for_window("^%s$" % DIALOG_TITLE, "the export's file dialog")
        self.name_file(dialog, os.path.join(self.work, "out.wav"))
        box = self.wait_for_window(PROGRESS_TITLE, "the progress box")
        region = self.geometry(box)
        first = self.shot("progress", region)
        self.wait_until(lambda: self.shot("progress", region).rgb != first.rgb,
                        "the progress box to show the export going on")

        self.xdotool("windowfocus", "--sync", box, check=False)
        self.xdotool("key", "Escape")
        self.wait_until(lambda: box not in self.windows_named(PROGRESS_TITLE),
                        "the progress box to close after Esc")
        self.assertIsNone(self.program.poll(), "the program goes on after a cancel")
        # The box hides at once; the worker leaves the engine, then removes its file.
        self.wait_until(lambda: not [name for name in os.listdir(self.work) if "out" in name],
                        "the cancelled export to leave nothing behind")

    def name_file(self, dialog, path):
        """Types the path into the dialog's name field and confirms it (again while the
        dialog stays: nothing gives it the focus without a window manager)."""
        deadline = time.monotonic() + WAIT_SECONDS
        while dialog in self.windows_named("^%s$" % DIALOG_TITLE):
            self.assertLess(time.monotonic(), deadline, "the dialog did not take the name")
            self.xdotool("windowfocus", "--sync", dialog, check=False)
            self.xdotool("key", "Home", "shift+End")
            self.xdotool("type", "--delay", "15", path)
            for _ in range(2):
                self.xdotool("key", "Return")
                time.sleep(0.5)
                if dialog not in self.windows_named("^%s$" % DIALOG_TITLE):
                    return


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Unsaved text survives a lost display: while it is edited the program keeps a copy in
$XDG_STATE_HOME/orvane-notepad/autosave; when the X server dies it writes a recovery
copy before it ends; the next start offers the text back, and Yes puts it into the
editor, marked changed, under the document's old path.

Usage: test_autosave.py PATH_TO_ORVANE_NOTEPAD
"""

import glob
import os
import stat
import time

from harness import PROGRAM, WAIT_SECONDS, ProgramTestCase, main

SCRIPT = "第一行\r\n"
TYPED = "typed before the display died"
EDITOR_POINT = (400, 300)
EXIT_ITEM = 0  # "退出" in the "V6.3" menu
BOX_CAPTION = "^_启动窗口$"


class AutosaveTest(ProgramTestCase):
    def test_lost_display_keeps_the_text_and_the_next_start_offers_it_back(self):
        state = os.path.join(self.env["XDG_STATE_HOME"], "orvane-notepad")
        script = os.path.join(self.work, "script.txt")
        with open(script, "wb") as f:
            f.write(SCRIPT.encode("gbk"))
        window = self.start_program([PROGRAM[0], script])
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)
        self.click_client(*EDITOR_POINT)
        self.xdotool("key", "--clearmodifiers", "ctrl+End")
        self.xdotool("type", "--delay", "15", TYPED)
        typed_at = time.monotonic()

        copy = os.path.join(state, "autosave", "%d.txt" % self.program.pid)
        expected = (SCRIPT + TYPED).encode("gbk")
        self.wait_until(lambda: self.content(copy) == expected, "the autosave copy")
        print("autosave copy complete %.2f s after the last keystroke was sent"
              % (time.monotonic() - typed_at))
        self.assertEqual(stat.S_IMODE(os.stat(copy).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(copy)).st_mode), 0o700)
        with open(copy[:-4] + ".info", "rb") as f:
            self.assertIn(("path=" + script).encode(), f.read())

        # The X server dies: the program ends on its own, leaving a recovery copy.
        self.xvfb.kill()
        self.xvfb.wait(timeout=WAIT_SECONDS)
        self.program.wait(timeout=WAIT_SECONDS)
        recovered = glob.glob(os.path.join(state, "recovered-*.txt"))
        self.assertEqual(len(recovered), 1, self.output())
        self.assertEqual(self.content(recovered[0]), expected)
        self.assertIn(recovered[0], self.output())
        self.assertEqual(self.content(copy), expected, "the autosave copy is kept")

        # The next start offers the text back; Return answers Yes.
        self.start_xvfb()
        self.start_program()
        box = self.wait_for_window(BOX_CAPTION, "the offer to restore the text")
        self.xdotool("windowfocus", "--sync", box, check=False)
        self.xdotool("key", "Return")
        self.wait_until(lambda: not os.path.exists(copy), "the old copy to be taken over")

        # Marked changed: "退出" asks, and Yes saves to the old path without a dialog.
        window = self.wait_for_window("Orvane", "the main window")
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)
        self.choose_menu_item(EXIT_ITEM)
        question = self.wait_for_window(BOX_CAPTION, "the question about changed text")
        self.xdotool("windowfocus", "--sync", question, check=False)
        self.xdotool("key", "Return")
        self.assertEqual(self.program.wait(timeout=WAIT_SECONDS), 0)
        self.assertEqual(self.content(script), expected)
        self.assertEqual(glob.glob(os.path.join(state, "autosave", "*")), [],
                         "saved: no copy is left")

    # --- helpers ---------------------------------------------------------------------

    @staticmethod
    def content(path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return None

    def output(self):
        self.program_log.flush()
        with open(os.path.join(self.work, "program.log"), "rb") as f:
            return f.read().decode("utf-8", "replace")


if __name__ == "__main__":
    main()

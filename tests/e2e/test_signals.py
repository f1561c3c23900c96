#!/usr/bin/env python3
"""SIGTERM, SIGINT and SIGHUP end the real program in order: it handles them itself (even
with the audio library's SDL running), keeps unsaved text in a recovery file in the
script's own encoding under $XDG_STATE_HOME/orvane-notepad, says where on standard error,
and exits with status 0; without unsaved text it writes nothing.

Usage: test_signals.py PATH_TO_ORVANE_NOTEPAD
"""

import glob
import os
import signal
import stat
import subprocess
import time

from harness import WAIT_SECONDS, ProgramTestCase, main

SCRIPT = "清晨的阳光洒进窗台，妈妈在厨房里煮着热腾腾的小米粥。爷爷戴上老花镜，翻开昨天的报纸。"
TYPED = " added"
STOP_BUTTON = (645 + 11, 3 + 16)  # 按钮12 "结束"


class SignalTest(ProgramTestCase):
    def start(self):
        self.state = os.path.join(self.work, "state")
        self.audio = os.path.join(self.work, "audio.raw")
        self.env.update(XDG_STATE_HOME=self.state, SDL_AUDIODRIVER="disk",
                        SDL_DISKAUDIOFILE=self.audio)
        window = self.start_program()
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)
        return window

    def handled_signals(self):
        with open("/proc/%d/status" % self.program.pid) as f:
            caught = int(next(line for line in f if line.startswith("SigCgt:")).split()[1], 16)
        return {s for s in (signal.SIGHUP, signal.SIGINT, signal.SIGTERM) if caught >> (s - 1) & 1}

    def end_with(self, number):
        self.program.send_signal(number)
        try:
            return self.program.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end after signal %d" % number)

    def output(self):
        self.program_log.flush()
        with open(os.path.join(self.work, "program.log"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def recovered(self):
        return glob.glob(os.path.join(self.state, "orvane-notepad", "recovered-*.txt"))

    def test_term_while_reading_keeps_the_unsaved_text(self):
        self.start()
        self.assertEqual(self.handled_signals(), {signal.SIGHUP, signal.SIGINT, signal.SIGTERM})
        self.paste_into_editor(SCRIPT)
        self.xdotool("type", TYPED)
        # Reading under way: the audio output carries sound.
        self.xdotool("key", "ctrl+a")
        self.wait_until(lambda: os.path.exists(self.audio) and self.has_sound(), "speech",
                        seconds=30)
        self.assertEqual(self.end_with(signal.SIGTERM), 0)

        files = self.recovered()
        self.assertEqual(len(files), 1, self.output())
        with open(files[0], "rb") as f:
            self.assertEqual(f.read(), (SCRIPT + TYPED).encode("gb18030"),
                             "a new script is kept in GBK, as it would be saved")
        self.assertIn(files[0], self.output())
        folder = os.stat(os.path.dirname(files[0])).st_mode
        self.assertEqual(stat.S_IMODE(folder), 0o700, "the folder is private to the user")

    def test_interrupt_without_changes_writes_nothing(self):
        self.start()
        self.assertEqual(self.end_with(signal.SIGINT), 0)
        self.assertEqual(self.recovered(), [])
        self.assertNotIn("recovery", self.output())

    def test_hang_up_under_the_exit_question_ends_without_answer(self):
        self.start()
        self.click_client(300, 200)  # not where the menu is opened from
        self.xdotool("type", "unsaved")
        before = self.visible_windows()
        self.choose_menu_item(0)  # "退出" asks about the changed text
        self.wait_until(lambda: self.visible_windows() - before, "the question")
        self.assertEqual(self.end_with(signal.SIGHUP), 0)
        files = self.recovered()
        self.assertEqual(len(files), 1, self.output())
        with open(files[0], "rb") as f:
            self.assertEqual(f.read(), b"unsaved")

    def has_sound(self):
        with open(self.audio, "rb") as f:
            data = f.read()
        return any(abs(int.from_bytes(data[i:i + 2], "little", signed=True)) > 64
                   for i in range(0, len(data) - 1, 2))


if __name__ == "__main__":
    main()

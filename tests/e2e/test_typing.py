#!/usr/bin/env python3
"""The typing effect in the real program: a script pasted into the editor is typed
back by a real click on "打字", paused and continued midway with "打字控制", and ends
as the same text (read back from the screen).

Usage: test_typing.py PATH_TO_ORVANE_NOTEPAD
"""

import subprocess
import time

from harness import ProgramTestCase, main, run

TYPING_BUTTON = (173 + 16, 3 + 16)      # 按钮7 "打字"
CONTROL_BUTTON = (243 + 16, 3 + 16)     # 按钮1 "打字控制"
EDITOR_INSIDE = (10, 110, 740, 420)     # client region inside the editor's frame
SCRIPT = "Typing 测试: 你好，世界！\nline two ★ 123"
CARET_PIXELS = 60  # a blinking caret may differ between two shots


class TypingTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-typing-"

    def test_typed_text_equals_the_script_with_a_pause_midway(self):
        self.run_scenario()

    def editor(self, label):
        x, y, w, h = EDITOR_INSIDE
        return self.shot(label, (self.origin[0] + x, self.origin[1] + y, w, h))

    def differing(self, a, b):
        return sum(1 for p, q in zip(a.pixels((0, 0, a.width, a.height)),
                                     b.pixels((0, 0, b.width, b.height))) if p != q)

    def run_scenario(self):
        window = self.start_program()
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)

        # The script goes into the editor through the clipboard (Chinese cannot be typed
        # with xdotool), then the editor is read back as a picture.
        self.paste_into_editor(SCRIPT)
        pasted = self.wait_until(lambda: self.stable_editor("pasted", lambda s: s.spread(
            (0, 0, s.width, s.height)) > 5), "the pasted script")

        # Typing at the design speed "7": 210 ms a character, about 7 s for the script.
        # The pause comes as soon as the first characters show, well before the end.
        self.click_client(*TYPING_BUTTON)
        self.wait_until(lambda: self.typing_begun(pasted), "the typing to begin")
        self.click_client(*CONTROL_BUTTON)
        paused = self.wait_until(lambda: self.stable_editor("paused"), "the typing to pause")
        time.sleep(0.8)
        still = self.editor("still paused")
        self.assertLessEqual(self.differing(paused, still), CARET_PIXELS,
                             "nothing is typed while paused")
        self.assertGreater(self.differing(paused, pasted), CARET_PIXELS,
                           "the pause came midway")
        blank = self.differing(paused, self.blank_editor(paused))
        self.assertGreater(blank, CARET_PIXELS, "something was typed before the pause")

        self.click_client(*CONTROL_BUTTON)
        done = self.wait_until(
            lambda: self.stable_editor("done", lambda s: self.differing(s, pasted) <=
                                       CARET_PIXELS), "the script to be typed completely", 20)
        self.assertLessEqual(self.differing(done, pasted), CARET_PIXELS,
                             "the typed text equals the script")

    def typing_begun(self, pasted):
        shot = self.editor("typing")
        return (self.differing(shot, pasted) > CARET_PIXELS and
                self.differing(shot, self.blank_editor(shot)) > CARET_PIXELS)

    def stable_editor(self, label, ready=lambda s: True):
        """The editor once two shots 0.3 s apart agree (up to the caret)."""
        first = self.editor(label)
        time.sleep(0.3)
        second = self.editor(label)
        if self.differing(first, second) <= CARET_PIXELS and ready(second):
            return second
        return None

    @staticmethod
    def blank_editor(shot):
        class Blank:
            width, height = shot.width, shot.height

            @staticmethod
            def pixels(region):
                return iter([(255, 255, 255)] * (shot.width * shot.height))
        return Blank()


if __name__ == "__main__":
    main()

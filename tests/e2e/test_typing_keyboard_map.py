#!/usr/bin/env python3
"""The keyboard map while the program types into another window: a typical Chinese script
changes it seldom (at most once per 20 Chinese characters, counted by the receiving
client); SIGTERM, SIGINT, SIGHUP and the main window destroyed by another client mid-run
end the program keeping the script and leave the map as it was before (xmodmap -pke); a
layout loaded mid-run (setxkbmap) costs no character; a receiving window that closes
mid-run gets it back at once; after a SIGKILL mid-run, the next start puts back the key
codes the killed copy had borrowed.

Usage: test_typing_keyboard_map.py ORVANE_NOTEPAD XKB_TEXT_RECEIVER
"""

import glob
import os
import signal
import subprocess
import sys

from harness import PROGRAM, WAIT_SECONDS, ProgramTestCase, main, run
from test_typing_into_windows import Receiver

RECEIVER = [""]
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                       "typical-script.txt"), encoding="utf-8") as f:
    SCRIPT = f.read()
SPEED_BOX = (214, 19)
EDITOR_POINT = (400, 300)


class KeyboardMapTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-typing-keyboard-map-"

    def setUp(self):
        super().setUp()
        config = os.path.join(self.work, "config", "orvane-notepad")
        os.makedirs(config)
        with open(os.path.join(config, "orvane-notepad.conf"), "w") as f:
            f.write("[typing]\nintoFocusedWindow=true\n")
        self.state = os.path.join(self.work, "state")
        self.env.update(XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                        XDG_STATE_HOME=self.state)
        self.before = self.keymap()

    def keymap(self):
        return run(["xmodmap", "-pke"], env=self.env).stdout

    def start_with_script(self):
        """The program with the script in its editor and speed 1 (30 ms)."""
        window = self.start_program()
        self.origin = self.geometry(window)[:2]
        self.paste_into_editor(SCRIPT, EDITOR_POINT)
        self.click_client(*SPEED_BOX)
        self.xdotool("click", "--repeat", "2", "1")
        self.xdotool("type", "1")
        return window

    def type_into_receiver(self):
        receiver = Receiver(RECEIVER[0], self.env)
        self.addCleanup(receiver.close)
        receiver.id = receiver.window.get(timeout=10)
        self.xdotool("windowfocus", "--sync", receiver.id)
        self.xdotool("key", "ctrl+q")
        return receiver

    def borrowing(self, receiver):
        """Waits until the run is under way with key codes borrowed."""
        self.wait_until(lambda: len(receiver.snapshot()[0]) >= 20 and self.keymap() != self.before,
                        "typing with borrowed key codes (typed %r)" % receiver.snapshot()[0])

    def test_a_typical_script_changes_the_map_seldom(self):
        self.start_with_script()
        receiver = self.type_into_receiver()
        self.wait_until(lambda: len(receiver.snapshot()[0]) >= len(SCRIPT), "the whole script",
                        seconds=120)
        self.assertEqual(receiver.snapshot()[0], SCRIPT)
        chinese = sum(1 for c in SCRIPT if ord(c) >= 0x2E80)
        self.assertLessEqual(receiver.maps, chinese / 20,
                             "%d map changes for %d Chinese characters" % (receiver.maps, chinese))
        self.wait_until(lambda: self.keymap() == self.before, "the keyboard map restored")

    def test_a_layout_loaded_mid_run_loses_nothing(self):
        # A new map empties the borrowed key codes; the program must notice before its
        # next key, though it is told only through XKB.
        run(["setxkbmap", "us"], env=self.env)
        self.before = self.keymap()
        self.start_with_script()
        receiver = self.type_into_receiver()
        self.borrowing(receiver)
        for typed in (len(receiver.snapshot()[0]), len(SCRIPT) // 2):
            self.wait_until(lambda: len(receiver.snapshot()[0]) > typed, "more typing")
            run(["setxkbmap", "us"], env=self.env)
        self.wait_until(lambda: len(receiver.snapshot()[0]) >= len(SCRIPT), "the whole script",
                        seconds=120)
        self.assertEqual(receiver.snapshot()[0], SCRIPT)
        self.wait_until(lambda: self.keymap() == self.before, "the keyboard map restored")

    def test_termination_signals_mid_run_restore_the_map(self):
        # The last ending: another client destroys the main window (xdotool windowclose is
        # XDestroyWindow); the program must not run on without it.
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP, "destroyed"):
            # A state folder each: the recovery copy of one run is not offered to the next.
            state = os.path.join(self.work, "state-%s" % number)
            self.env["XDG_STATE_HOME"] = state
            window = self.start_with_script()
            self.borrowing(self.type_into_receiver())
            if number == "destroyed":
                self.xdotool("windowclose", window)
            else:
                self.program.send_signal(number)
            self.assertEqual(self.program.wait(timeout=WAIT_SECONDS), 0)
            self.assertEqual(self.keymap(), self.before, "after %s" % number)
            self.assertTrue(glob.glob(os.path.join(state, "orvane-notepad", "recovered-*.txt")),
                            "the unsaved script kept after %s" % number)

    def test_closed_window_and_killed_copy_give_the_keys_back(self):
        self.start_with_script()
        receiver = self.type_into_receiver()
        self.borrowing(receiver)
        receiver.close()
        self.wait_until(lambda: self.keymap() == self.before,
                        "the map restored once the window closed")
        self.assertIsNone(self.program.poll())

        self.borrowing(self.type_into_receiver())
        self.program.kill()
        self.program.wait(timeout=WAIT_SECONDS)
        self.assertNotEqual(self.keymap(), self.before, "a killed copy cannot restore the map")
        records = os.path.join(self.state, "orvane-notepad", "borrowed-keys-*")
        self.assertEqual(len(glob.glob(records)), 1)
        # The next start gives the keys back before anything else (the window may wait
        # behind the offer of the killed copy's unsaved text).
        self.program = subprocess.Popen([PROGRAM[0]], env=self.env, cwd=self.work,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wait_until(lambda: self.keymap() == self.before and not glob.glob(records),
                        "the next start to restore the map and remove the record")


if __name__ == "__main__":
    RECEIVER[0] = sys.argv.pop(2)
    main()

#!/usr/bin/env python3
"""Typing into other programs' windows with the mode "打字到当前窗口" on: Ctrl+Q types the
editor's script into the focused window of a plain X client and of a Qt text box of ours;
pause and continue by Ctrl+Q, stop by Esc (grabbed only while characters are typed), a
change of focus pauses and nothing reaches the other window. The keyboard map after every
run equals the one before.

Usage: test_typing_into_windows.py ORVANE_NOTEPAD XKB_TEXT_RECEIVER QT_TEXT_RECEIVER
"""

import os
import queue
import subprocess
import sys
import threading
import time

from harness import ProgramTestCase, main, run

RECEIVERS = ["", ""]  # XkbTextReceiver, QtTextReceiver
SCRIPT = "你好，世界！Hello 123\tend €5\nline two。"
EDITOR_POINT = (400, 300)


class Receiver:
    """A receiving window of ours: its text so far and the Escape presses it got."""

    def __init__(self, program, env):
        self.process = subprocess.Popen([program], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lock = threading.Lock()
        self.text, self.escapes, self.times, self.escape_free = "", 0, [], queue.Queue()
        self.maps = 0  # changes of the keyboard map it was told of
        self.window = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        raw = b""
        for line in self.process.stdout:
            fields = line.decode().split()
            with self.lock:
                if fields[0] == "window":
                    self.window.put(fields[1])
                elif fields[0] == "escape":
                    self.escape_free.put(fields[1] == "free")
                elif fields[0] == "map":
                    self.maps += 1
                elif fields[0] == "esc":
                    self.escapes += 1
                elif fields[0] == "key":  # one key's UTF-8
                    raw += bytes.fromhex(fields[2]) if fields[2] != "-" else b""
                    self.text = raw.decode("utf-8", "replace")
                    self.times.append(int(fields[1]))
                elif fields[0] == "text":  # the whole text
                    self.text = bytes.fromhex(fields[1] if len(fields) > 1 else "").decode()

    def escape_grabbed(self):
        """Whether another client holds a grab of Esc alone (XkbTextReceiver only)."""
        self.process.stdin.write(b"escape?\n")
        self.process.stdin.flush()
        return not self.escape_free.get(timeout=10)

    def snapshot(self):
        with self.lock:
            return self.text, self.escapes

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()


class TypingIntoWindowsTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-typing-into-windows-"

    def setUp(self):
        super().setUp()
        config = os.path.join(self.work, "config", "orvane-notepad")
        os.makedirs(config)
        self.settings = os.path.join(config, "orvane-notepad.conf")
        with open(self.settings, "w") as f:
            f.write("[typing]\nintoFocusedWindow=true\n")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "config")

    def receiver(self, which):
        r = Receiver(RECEIVERS[which], self.env)
        self.addCleanup(r.close)
        r.id = r.window.get(timeout=10)
        return r

    def focus(self, receiver):
        self.xdotool("windowfocus", "--sync", receiver.id)

    def keymap(self):
        return run(["xmodmap", "-pke"], env=self.env).stdout

    def wait_text(self, receiver, ready, what, seconds=20):
        return self.wait_until(lambda: ready(receiver.snapshot()[0]),
                               "%s (it has %r)" % (what, receiver.snapshot()[0]), seconds)

    def escape_reaches(self, receiver, what):
        """Esc is let go by the program (once it has handled what came before) and, when
        pressed, reaches the receiver."""
        self.wait_until(lambda: not self.first.escape_grabbed(), "Esc to be let go: " + what)
        before = receiver.snapshot()[1]
        self.xdotool("key", "Escape")
        self.wait_until(lambda: receiver.snapshot()[1] > before, "Esc to reach " + what)

    def test_types_into_the_focused_window_only(self):
        window = self.start_program()
        self.origin = self.geometry(window)[:2]
        self.paste_into_editor(SCRIPT, EDITOR_POINT)
        keymap = self.keymap()

        # Each receiver in turn gets the whole script, exactly; the map is restored.
        first, boxed = self.receiver(0), self.receiver(1)
        self.first = first
        for receiver in (first, boxed):
            self.focus(receiver)
            self.xdotool("key", "ctrl+q")
            self.wait_text(receiver, lambda t: t == SCRIPT or len(t) > len(SCRIPT) + 3,
                           "the script in the receiver")
            self.assertEqual(receiver.snapshot()[0], SCRIPT)
            self.wait_until(lambda: self.keymap() == keymap, "the keyboard map restored")

        # Pause and continue by Ctrl+Q; Esc is not grabbed before, while paused or after.
        self.escape_reaches(boxed, "the text box before a run")
        self.xdotool("key", "ctrl+q")
        self.wait_text(boxed, lambda t: len(t) >= len(SCRIPT) + 3, "typing to begin")
        self.xdotool("key", "ctrl+q")
        self.escape_reaches(boxed, "the text box while paused")
        self.assertLess(len(boxed.snapshot()[0]), 2 * len(SCRIPT), "the pause came midway")
        self.xdotool("key", "ctrl+q")
        self.wait_text(boxed, lambda t: len(t) >= 2 * len(SCRIPT), "the rest of the script")
        self.assertEqual(boxed.snapshot()[0], SCRIPT * 2, "nothing lost or doubled")
        self.escape_reaches(boxed, "the text box after the run")

        # Esc stops a run, and is let go with it.
        self.xdotool("key", "ctrl+q")
        self.wait_text(boxed, lambda t: len(t) >= 2 * len(SCRIPT) + 3, "a third run to begin")
        self.assertTrue(first.escape_grabbed(), "Esc is grabbed while typing")
        escapes = boxed.snapshot()[1]
        self.xdotool("key", "Escape")
        self.escape_reaches(boxed, "the text box after Esc ended the run")
        self.assertEqual(boxed.snapshot()[1], escapes + 1, "the first Esc was the program's")
        stopped = boxed.snapshot()[0]
        self.wait_until(lambda: self.keymap() == keymap, "the keyboard map restored after Esc")
        self.assertEqual(boxed.snapshot()[0], stopped, "nothing typed after the stop")
        self.assertLess(len(stopped), 3 * len(SCRIPT))
        self.assertEqual(stopped, (SCRIPT * 3)[:len(stopped)])

        # The focus moves to another window midway: it gets nothing, the run pauses, and
        # Ctrl+Q back in the first window continues where it stopped.
        self.focus(first)
        self.xdotool("key", "ctrl+q")
        self.wait_text(first, lambda t: len(t) >= len(SCRIPT) + 3, "a run into the X client")
        self.focus(boxed)
        self.escape_reaches(boxed, "the other window: the run paused")
        self.assertEqual(boxed.snapshot()[0], stopped, "the other window got nothing")
        part = first.snapshot()[0]
        self.assertLess(len(part), 2 * len(SCRIPT), "the focus moved midway")
        self.focus(first)
        self.xdotool("key", "ctrl+q")
        self.wait_text(first, lambda t: len(t) >= 2 * len(SCRIPT), "the run to continue")
        self.assertEqual(first.snapshot()[0], SCRIPT * 2)
        self.assertEqual(boxed.snapshot()[0], stopped)
        self.wait_until(lambda: self.keymap() == keymap, "the keyboard map restored at the end")
        with open(self.settings) as f:
            self.assertIn("intoFocusedWindow=true", f.read())


if __name__ == "__main__":
    RECEIVERS[:] = sys.argv[2:4]
    del sys.argv[2:4]
    main()

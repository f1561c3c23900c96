#!/usr/bin/env python3
"""A user at random on the real program for about a minute: editing, reading aloud with
the hot keys, typing runs (into the editor and into the recorded application, a plain X
client beside it), the file dialogs, the capture and the menu, mixed the way a recording
goes. After every step the program must still be running and its window answering; at the
end it leaves on SIGTERM with status 0, keeping the unsaved text, and the desktop is as it
found it: the same keyboard map, and keys reach the recorded application again.
A failure names its seed (ORVANE_SESSION_SEED replays it) and the steps so far.

A window that stops answering shows as a menu that does not open, or as SIGTERM that
is not answered.

Usage: test_session.py PATH_TO_ORVANE_NOTEPAD XKB_TEXT_RECEIVER
"""

import glob
import os
import random
import signal
import subprocess
import sys
import time

from harness import WAIT_SECONDS, ProgramTestCase, main, run
from test_typing_into_windows import RECEIVERS, Receiver

SECONDS = float(os.environ.get("ORVANE_E2E_SESSION_SECONDS", "60"))
PIECES = ["第一步，打开设置。", "Hello, World! ", "然后点击确定按钮；\n", "git switch main\n",
          "第二句比较长一些，用来朗读测试。"]
# Client points of the buttons (left + half width, 3 + half height).
BUTTONS = {"打字": (190, 19), "打字控制": (265, 19), "打开": (305, 19), "保存": (350, 19),
           "另存": (395, 19), "撤销": (440, 19), "清空": (530, 19), "截图": (575, 19),
           "语音": (615, 14), "暂停": (636, 14), "结束": (656, 14)}
EXPORT_ITEM, TYPING_MODE_ITEM = 7, 8


class SessionTest(ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.env.update(XDG_STATE_HOME=os.path.join(self.work, "state"),
                        XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                        SDL_AUDIODRIVER="disk", SDL_AUDIODEVICE="",
                        SDL_DISKAUDIOFILE=os.path.join(self.work, "audio.raw"))
        window = self.start_program()
        self.main_window = window
        self.keymap = run(["xmodmap", "-pke"], env=self.env).stdout
        self.app = Receiver(RECEIVERS[0], self.env)  # the recorded application
        self.addCleanup(self.app.close)
        self.app.id = self.app.window.get(timeout=WAIT_SECONDS)
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)

    def alive(self, steps):
        code = self.program.poll()
        if code is not None:
            self.fail("the program ended with status %s after: %s" % (code, ", ".join(steps)))

    def close_other_windows(self, steps):
        """Boxes, dialogs, the capture overlay and the menu: Escape closes each."""
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            others = self.visible_windows() - {self.main_window, self.app.id}
            if not others:
                return
            for window in others:
                self.xdotool("windowfocus", "--sync", window, check=False)
                self.xdotool("key", "Escape", check=False)
            time.sleep(0.2)
            self.alive(steps)
        names = [self.xdotool("getwindowname", w, check=False).strip() for w in others]
        self.fail("windows stay open after Escape: %s, after: %s" % (names, ", ".join(steps)))

    def click(self, x, y):
        """A click at a client point (no --sync: it would wait forever when the pointer is
        there already)."""
        self.xdotool("mousemove", str(self.origin[0] + x), str(self.origin[1] + y), "sleep",
                     "0.05", "click", "1")

    def paste(self, text, taken=False):
        """With taken, returns once the program has read the pasted text (xclip then ends)."""
        clip = subprocess.Popen(["xclip", "-verbose", "-selection", "clipboard", "-loops", "1"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, env=self.env)
        clip.stdin.write(text.encode("utf-8"))
        clip.stdin.close()
        self.addCleanup(clip.kill)
        # It owns the clipboard once it says it waits.
        for line in clip.stdout:
            if b"Waiting for" in line:
                break
        self.click(420, 320)
        self.xdotool("key", "--clearmodifiers", "ctrl+v")
        if taken:
            try:
                clip.wait(timeout=WAIT_SECONDS)
            except subprocess.TimeoutExpired:
                self.fail("the program did not read the pasted text")

    def step(self, name, rng):
        if name == "type":
            self.click(420, 320)
            self.xdotool("type", "--delay", "5", rng.choice(["step one. ", "x = 1;\n", "ok "]))
        elif name == "paste":
            self.paste(rng.choice(PIECES) * rng.randint(1, 3))
        elif name == "delete":
            self.click(rng.randint(60, 700), rng.randint(120, 500))
            self.xdotool("key", "--clearmodifiers", "shift+Up", "shift+Up", "BackSpace")
        elif name == "app":
            self.xdotool("windowfocus", "--sync", self.app.id)
        elif name == "type in app":
            self.xdotool("windowfocus", "--sync", self.app.id)
            self.xdotool("type", "--delay", "5", rng.choice(["ls -l\n", "cd src ", "q"]))
        elif name in ("ctrl+a", "ctrl+z", "ctrl+q"):
            self.xdotool("key", name)
        elif name == "export":
            self.choose_menu_item(EXPORT_ITEM)
        elif name == "typing mode":
            self.choose_menu_item(TYPING_MODE_ITEM)
        else:
            self.click(*BUTTONS[name])
        time.sleep(rng.choice([0, 0.05, 0.3]))  # the user's own pace, not a wait for a result

    def test_random_recording_session(self):
        seed = int(os.environ.get("ORVANE_SESSION_SEED", str(time.time_ns() % 10**9)))
        rng = random.Random(seed)
        names = ["type", "paste", "delete", "ctrl+a", "ctrl+z", "ctrl+q", "export",
                 "typing mode", "app", "type in app"] + list(BUTTONS)
        self.paste(PIECES[1] + PIECES[0])
        steps = ["seed %d" % seed]
        deadline = time.monotonic() + SECONDS
        while time.monotonic() < deadline:
            name = rng.choice(names)
            steps.append(name)
            self.step(name, rng)
            self.alive(steps)
            self.close_other_windows(steps)
        # Something unsaved is in the editor: the signal keeps it and ends the program.
        self.paste("最后一句。", taken=True)
        self.program.send_signal(signal.SIGTERM)
        try:
            code = self.program.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end on SIGTERM; seed %d, steps: %s"
                      % (seed, ", ".join(steps)))
        self.assertEqual(code, 0, "seed %d, steps: %s" % (seed, ", ".join(steps)))
        with open(os.path.join(self.work, "program.log"), "rb") as f:
            log = f.read().decode("utf-8", "replace")
        self.assertNotIn("terminate called", log)
        # The desktop as it was: the keyboard map, and plain keys reaching the application.
        self.wait_until(lambda: run(["xmodmap", "-pke"], env=self.env).stdout == self.keymap,
                        "the keyboard map as before the session; seed %d" % seed)
        self.xdotool("windowfocus", "--sync", self.app.id)
        self.xdotool("type", "--delay", "5", "end!")
        self.wait_until(lambda: self.app.snapshot()[0].endswith("end!"),
                        "keys to reach the application after the session; seed %d" % seed)
        kept = glob.glob(os.path.join(self.work, "state", "orvane-notepad", "**", "*.txt"),
                         recursive=True)
        self.assertTrue(kept, "the unsaved text was not kept; seed %d\n%s" % (seed, log))
        print("%d steps played, seed %d" % (len(steps), seed))


if __name__ == "__main__":
    RECEIVERS[0] = sys.argv.pop(2)
    main()

#!/usr/bin/env python3
"""One copy per desktop session, actions from the command line and keys chosen in the
dialog, in the real program on its own Xvfb and on a session bus of its own (ctest runs
this under dbus-run-session). Another client's window (XcbKeyClient) has the focus and logs
the keys it gets; HotKeyProbe holds a key of its own; SDL's disk driver records the sound.

  - `--action NAME` exits 3 with one line while no copy runs, 2 for an unknown name;
    with a copy running: read-aloud gives speech, pause-reading silence, capture the
    overlay, type types the script into the focused window.
  - A second start brings the first copy's window to the front and opens its FILE there;
    `--new-instance` starts a copy of its own, which says that its keys are taken.
    Without a session bus a copy starts on its own and says why.
  - Keys changed in "热键设置…": Ctrl+A reaches the shell in xterm again while the new key
    reads aloud; a key another client holds is marked and keeps the dialog open.

Usage: test_session_actions.py PATH_TO_ORVANE_NOTEPAD PATH_TO_XCBKEYCLIENT PATH_TO_HOTKEYPROBE
"""

import os
import queue
import subprocess
import sys
import threading

import test_read_aloud as reading
from harness import PROGRAM, main, offline_command

SCRIPT = "Hello, today we record a tutorial video about the notepad."
HOT_KEY_SETTINGS_ITEM = 11  # the menu's twelfth item, "热键设置…", after 自然节奏


class SessionTest(reading.ReadAloudTest):
    """Uses the reading test's helpers (key log, sound output, the script in the editor)."""

    SHOT_PREFIX = "e2e-session-"

    def setUp(self):
        super().setUp()
        self.assertTrue(os.environ.get("DBUS_SESSION_BUS_ADDRESS"), "run under dbus-run-session")
        self.config = os.path.join(self.work, "config")
        os.makedirs(os.path.join(self.config, "orvane-notepad"))
        self.env["XDG_CONFIG_HOME"] = self.config

    def settings(self):
        path = os.path.join(self.config, "orvane-notepad", "orvane-notepad.conf")
        with open(path, encoding="utf-8") as f:
            return f.read().split()

    def action(self, name):
        done = subprocess.run(offline_command([PROGRAM[0], "--action", name]), env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        return done.returncode, done.stderr.decode("utf-8", "replace")

    def next_letter(self, log):
        """The next key other than a modifier that reached the logging window."""
        while True:
            line = log.next_line()
            if line[0] == "press" and int(line[1], 16) < 0xff00:
                return chr(int(line[1], 16)), int(line[2], 16) & 0x4  # with Ctrl?

    def test_actions_from_the_command_line(self):
        status, said = self.action("read-aloud")
        self.assertEqual(status, 3, said)
        self.assertEqual(len(said.strip().splitlines()), 1, said)
        self.assertEqual(self.action("reading")[0], 2)

        with open(os.path.join(self.config, "orvane-notepad", "orvane-notepad.conf"), "w") as f:
            f.write("[typing]\nintoFocusedWindow=true\n")
        self.open_program_with_script(SCRIPT)
        log = self.focus_key_log()

        pressed = self.audio.size()
        self.assertEqual(self.action("read-aloud"), (0, ""))
        first = self.wait_for_sound(pressed, "speech after --action read-aloud")
        self.wait_for_output(first + reading.byte_count(1), "speech to play")
        self.assertEqual(self.action("pause-reading")[0], 0)
        self.quiet_after("--action pause-reading")
        self.assertEqual(self.action("stop-reading")[0], 0)

        self.assertEqual(self.action("capture")[0], 0)
        overlay = self.wait_for_window("^截图$", "the capture overlay")
        self.xdotool("windowfocus", "--sync", overlay)
        self.xdotool("key", "Escape")
        self.wait_until(lambda: not self.windows_named("^截图$"), "the overlay to close")

        self.focus_key_log(log)
        self.assertEqual(self.action("type")[0], 0)
        self.assertEqual([self.next_letter(log) for _ in range(5)],
                         [(c, 0) for c in SCRIPT[:5].lower()], "the script typed into the window")
        self.assertEqual(self.action("type")[0], 0)  # pauses the run

    def test_without_a_session_bus_a_copy_runs_on_its_own_and_says_so(self):
        # An address where no bus listens: without any address, libdbus would start a bus
        # for the X display when dbus-launch is installed.
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.work, "no-bus")
        self.start_program()
        with open(os.path.join(self.work, "program.log"), "rb") as f:
            self.assertIn(b"no session bus", f.read())
        status, said = self.action("read-aloud")
        self.assertEqual(status, 3, said)
        self.assertIn("no session bus", said)

    def test_second_start_comes_to_the_front_and_opens_its_file(self):
        window = self.start_program()
        log = self.focus_key_log()
        path = os.path.join(self.work, "第二稿.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("second script\n")
        second = subprocess.run(offline_command([PROGRAM[0], path]), env=self.env, cwd=self.work,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(second.returncode, 0, second.stderr.decode("utf-8", "replace"))
        self.wait_until(lambda: self.xdotool("getwindowfocus").strip() == window,
                        "the first copy's window to take the focus")
        self.wait_until(lambda: self.xdotool("getwindowname", window).startswith(path),
                        "the first copy to open the file")
        self.assertEqual(len(self.windows_named("Orvane")), 1, "one main window")
        log.close()

        # A copy of its own on purpose: the first holds the keys, and the new one says so.
        before = self.visible_windows()
        separate = subprocess.Popen(offline_command([PROGRAM[0], "--new-instance"]),
                                    env=self.env, cwd=self.work, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        self.addCleanup(separate.kill)
        def two_windows():
            self.dismiss_start_up_boxes()  # the offline warning of the separate copy
            return len(self.windows_named("Orvane")) == 2
        self.wait_until(two_windows, "the separate copy")
        self.wait_until(lambda: len(self.visible_windows() - before) == 2,
                        "the separate copy's window and its notice about the keys")

    def test_keys_chosen_in_the_dialog(self):
        holder = subprocess.Popen([reading.HOLDER[0], "1:90"], env=self.env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(self.end_holder, holder)
        lines = queue.Queue()
        threading.Thread(target=lambda: [lines.put(l.strip()) for l in holder.stdout],
                         daemon=True).start()
        self.assertEqual(self.next_line(lines), "registered 33001", "Ctrl+Z held elsewhere")
        self.assertEqual(self.next_line(lines), "ready")

        self.open_program_with_script(SCRIPT)
        self.xdotool("mousemove", "0", "0")  # away from where the menu is opened from
        self.choose_menu_item(HOT_KEY_SETTINGS_ITEM)
        dialog = self.wait_for_window("^热键设置$", "the hot-key dialog")
        self.xdotool("windowfocus", "--sync", dialog)
        # 朗读/继续 has the focus. 暂停朗读's Ctrl+Z is marked as taken (a key another client
        # holds never reaches the dialog), so Return leaves the dialog open with the focus
        # in that field, where Ctrl+Alt+P lands: it is what the second Return stores.
        self.xdotool("key", "ctrl+alt+r", "Return", "ctrl+alt+p", "Return")
        self.wait_until(lambda: not self.windows_named("^热键设置$"), "the dialog to close")
        settings = self.settings()
        self.assertIn("read=Ctrl+Alt+R", settings)
        self.assertIn("pause=Ctrl+Alt+P", settings)

        # Ctrl+A is the shell's again: in xterm it goes to the start of the line, so "ec"
        # typed after it makes "echo hi > said". Ctrl+Alt+R reads, Ctrl+Alt+P pauses.
        terminal = subprocess.Popen(["xterm", "-title", "shell", "-e", "bash", "--norc",
                                     "--noprofile"], env=self.env, cwd=self.work)
        self.addCleanup(terminal.kill)
        shell = self.wait_for_window("^shell$", "xterm")
        self.xdotool("windowfocus", "--sync", shell)
        self.xdotool("type", "ho hi > said")
        self.xdotool("key", "ctrl+a")
        self.xdotool("type", "ec")
        self.xdotool("key", "Return")
        said = os.path.join(self.work, "said")
        self.wait_until(lambda: os.path.exists(said) and open(said).read() == "hi\n",
                        "the shell to run echo hi")
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+alt+r")
        first = self.wait_for_sound(pressed, "speech after Ctrl+Alt+R")
        self.wait_for_output(first + reading.byte_count(1), "speech to play")
        self.xdotool("key", "ctrl+alt+p")
        self.quiet_after("Ctrl+Alt+P")


# The reading test's own cases run from their own file.
for name in dir(reading.ReadAloudTest):
    if name.startswith("test") and name not in vars(SessionTest):
        setattr(SessionTest, name, None)

if __name__ == "__main__":
    if len(sys.argv) > 3:
        reading.KEY_CLIENT[0] = os.path.abspath(sys.argv.pop(2))
        reading.HOLDER[0] = os.path.abspath(sys.argv.pop(2))
    main()

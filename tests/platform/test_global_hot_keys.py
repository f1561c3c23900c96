#!/usr/bin/env python3
"""Global hot keys on a real X server: GlobalHotKeys in a Qt program (HotKeyProbe) against a
second X client (XcbKeyClient), with real key input through xdotool (XTEST).

Usage: test_global_hot_keys.py PATH_TO_HOTKEYPROBE PATH_TO_XCBKEYCLIENT

Each test starts its own Xvfb, so lock states and grabs never leak from one test to the next.
"""

import os
import queue
import shutil
import subprocess
import sys
import threading
import time
import unittest

# The shared X server helper lives in tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from xvfb_server import XvfbTestCase  # noqa: E402

PROBE = ""
KEY_CLIENT = ""
WAIT_SECONDS = 10

CTRL, SHIFT = 0x4, 0x1
KEYSYM_A, KEYSYM_B, KEYSYM_Z = 0x61, 0x62, 0x7A
NUMBERS = ["33001", "33002", "33003"]
CTRL_A, CTRL_Z, CTRL_Q = "1:65", "1:90", "1:81"


class Process:
    """A child process whose output lines are collected by threads; waits are bounded."""

    def __init__(self, args, env, name, seconds=WAIT_SECONDS):
        self.name = name
        self.seconds = seconds
        self.lines = queue.Queue()
        self.seen = []
        self.errors = []  # standard error, complete once the process has been reaped
        self.process = subprocess.Popen(args, env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        self.readers = [threading.Thread(target=self._read, daemon=True),
                        threading.Thread(target=self._read_errors, daemon=True)]
        for reader in self.readers:
            reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def _read_errors(self):
        for line in self.process.stderr:
            self.errors.append(line.rstrip("\n"))

    def next_line(self, what):
        """The next output line; fails the test on a time-out or when the process ended."""
        try:
            line = self.lines.get(timeout=self.seconds)
        except queue.Empty:
            raise AssertionError("%s: timed out waiting for %s; output so far: %s; errors: %s"
                                 % (self.name, what, self.seen, self.errors))
        if line is None:
            self.lines.put(None)
            raise AssertionError("%s ended (status %s) while waiting for %s; output: %s; "
                                 "errors: %s" % (self.name, self.process.wait(), what,
                                                 self.seen, self.errors))
        self.seen.append(line)
        return line

    def lines_until(self, last, what):
        """Every line up to and including the first one equal to `last`."""
        collected = []
        while not collected or collected[-1] != last:
            collected.append(self.next_line(what))
        return collected

    def finish(self):
        """Closes standard input, which asks the program to end; returns its status."""
        self.process.stdin.close()
        try:
            return self.process.wait(timeout=self.seconds)
        except subprocess.TimeoutExpired:
            return None
        finally:
            self.kill()

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for reader in self.readers:
            reader.join(timeout=self.seconds)
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            if not stream.closed:
                stream.close()


class GlobalHotKeysTest(XvfbTestCase):

    WORK_PREFIX = "orvane-hotkeys-"
    XVFB_SECONDS = WAIT_SECONDS

    def setUp(self):
        self.assertTrue(os.access(PROBE, os.X_OK) and os.access(KEY_CLIENT, os.X_OK),
                        "give the paths of HotKeyProbe and XcbKeyClient as arguments")
        super().setUp()
        self.processes = []
        self.env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb",
                        XDG_RUNTIME_DIR=self.work)

    def tearDown(self):
        for process in self.processes:
            process.kill()

    # --- the X server and the clients -------------------------------------------------

    def start(self, args, name, env=None, seconds=WAIT_SECONDS):
        process = Process(args, env or self.env, name, seconds)
        self.processes.append(process)
        return process

    def start_probe(self, *keys, window=False, options=(), env=None, wrapper=(),
                    seconds=WAIT_SECONDS):
        """HotKeyProbe with the keys registered; returns it and the registration results."""
        probe = self.start(list(wrapper) + [PROBE] + (["--window"] if window else [])
                           + list(options) + list(keys), "HotKeyProbe", env, seconds)
        results = [probe.next_line("registration").split() for _ in keys]
        for result in results:
            self.assertEqual(result[0], "registered", results)
        probe.window = None
        if window:
            probe.window = probe.next_line("its window").split()[1]
        self.assertEqual(probe.next_line("ready"), "ready")
        return probe, [result[1] for result in results]

    def start_key_log(self):
        """A window of another client, with the keyboard focus; it logs the keys it gets."""
        log = self.start([KEY_CLIENT, "window"], "key log window")
        self.focus(log.next_line("its window").split()[1])
        return log

    def focus(self, window):
        self.xdotool("windowfocus", "--sync", window)

    def xdotool(self, *args):
        # Never --window: that sends synthetic events, which bypass grabs.
        subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=WAIT_SECONDS,
                       stdout=subprocess.DEVNULL)

    def finish(self, process):
        self.assertEqual(process.finish(), 0, "%s did not end cleanly" % process.name)

    # --- what the clients saw ---------------------------------------------------------

    def hot_keys_until(self, probe, marker_key, marker_number):
        """Presses the marker hot key and returns the numbers reported before its own."""
        self.xdotool("key", marker_key)
        lines = probe.lines_until("hotkey " + marker_number, "the marker hot key")
        self.assertTrue(all(line.startswith("hotkey ") for line in lines), lines)
        return [line.split()[1] for line in lines[:-1]]

    def presses_until_b(self, log):
        """Presses plain b and returns the (keysym, modifiers) that the window got before it,
        with Lock and NumLock left out."""
        self.xdotool("key", "b")
        presses = []
        while True:
            _, keysym, state = log.next_line("the marker key b").split()
            keysym, state = int(keysym, 16), int(state, 16) & (CTRL | SHIFT)
            if (keysym, state) == (KEYSYM_B, 0):
                return presses
            presses.append((keysym, state))

    def letters(self, presses):
        # Modifier keys themselves still reach the focused window: only the letters count.
        return [press for press in presses if press[0] < 0x100]

    # --- the tests --------------------------------------------------------------------

    def test_hot_keys_are_numbered_in_call_order_and_taken_from_the_focused_window(self):
        log = self.start_key_log()
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q)
        self.assertEqual(numbers, NUMBERS)

        self.xdotool("key", "ctrl+a")
        self.xdotool("key", "ctrl+z")
        self.xdotool("key", "ctrl+a")
        self.assertEqual(self.hot_keys_until(probe, "ctrl+q", "33003"),
                         ["33001", "33002", "33001"])
        self.assertEqual(self.letters(self.presses_until_b(log)), [],
                         "a grabbed key reached the focused window")

        # The same letters without Ctrl, or with another modifier added, are not hot keys.
        self.xdotool("key", "a")
        self.xdotool("key", "ctrl+shift+z")
        self.assertEqual(self.hot_keys_until(probe, "ctrl+q", "33003"), [])
        self.assertEqual(self.letters(self.presses_until_b(log)),
                         [(KEYSYM_A, 0), (KEYSYM_Z, CTRL | SHIFT)])
        self.finish(probe)
        self.finish(log)

    def test_lock_states_do_not_matter(self):
        log = self.start_key_log()
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q)
        self.assertEqual(numbers, NUMBERS)
        for lock in ("Num_Lock", "Caps_Lock", "Num_Lock", "Caps_Lock"):
            # NumLock on, then CapsLock too, then CapsLock alone, then neither.
            self.xdotool("key", lock)
            self.xdotool("key", "ctrl+a")
            self.xdotool("key", "ctrl+z")
            self.assertEqual(self.hot_keys_until(probe, "ctrl+q", "33003"),
                             ["33001", "33002"], "after toggling " + lock)
            self.assertEqual(self.letters(self.presses_until_b(log)), [],
                             "a grabbed key reached the window after toggling " + lock)
        self.finish(probe)
        self.finish(log)

    def test_a_key_held_by_another_client_is_refused_and_left_alone(self):
        # The other client holds Ctrl+Z only with NumLock on, so a refusal must also give
        # back the variants that were grabbed before the conflict showed.
        holder = self.start([KEY_CLIENT, "hold-z"], "holder of Ctrl+NumLock+Z")
        self.assertEqual(holder.next_line("its grab"), "held")
        log = self.start_key_log()
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q)
        self.assertEqual(numbers, ["33001", "0", "33003"])

        self.xdotool("key", "ctrl+z")
        self.xdotool("key", "ctrl+a")
        self.assertEqual(self.hot_keys_until(probe, "ctrl+q", "33003"), ["33001"])
        self.assertEqual(self.letters(self.presses_until_b(log)), [(KEYSYM_Z, CTRL)],
                         "Ctrl+Z stayed grabbed after it was refused")
        for process in (probe, log, holder):
            self.finish(process)

    def test_a_held_key_counts_once(self):
        log = self.start_key_log()
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q)
        self.assertEqual(numbers, NUMBERS)
        # A key that is not grabbed, held until the server has repeated it three times,
        # shows how long a hold takes to repeat; the hot key is then held twice as long.
        self.xdotool("keydown", "a")
        start, seen = time.monotonic(), 0
        while seen < 4:
            _, keysym, _ = log.next_line("the server to repeat a held key").split()
            seen += int(keysym, 16) == KEYSYM_A
        held = time.monotonic() - start
        self.xdotool("keyup", "a")
        self.presses_until_b(log)
        self.xdotool("keydown", "ctrl+a")
        time.sleep(2 * held)
        self.xdotool("keyup", "ctrl+a")
        self.xdotool("key", "ctrl+a")
        self.assertEqual(self.hot_keys_until(probe, "ctrl+q", "33003"), ["33001", "33001"])
        self.finish(probe)
        self.finish(log)

    def test_modifier_and_key_codes(self):
        log = self.start_key_log()
        # Not Ctrl+Alt+F1..F12: the server's keymap takes those for switching consoles.
        keys = [("5:0x4B", "ctrl+alt+k"), ("6:0x31", "shift+alt+1"),
                ("3:0x7B", "ctrl+shift+F12"), ("4:0x20", "alt+space"), ("2:0x0D", "shift+Return"),
                ("1:0x28", "ctrl+Down"), ("1:0x2E", "ctrl+Delete"), ("4:0x1B", "alt+Escape"),
                ("1:0x63", "ctrl+KP_3"), ("1:0x70", "ctrl+F1"), ("2:0x74", "shift+F5"),
                ("7:0x4C", "ctrl+shift+alt+l"), ("8:0x4D", "super+m"), ("9:0x75", "ctrl+super+F6"),
                ("0:0x79", "F10")]  # code 0: the key alone
        # Unknown modifier codes, unknown key codes and a key this program holds already
        # are refused, and still use up their numbers.
        refused = ["16:65", "-1:65", "1:0x07", "1:0x5B", "5:0x4B"]
        probe, numbers = self.start_probe(*[code for code, _ in keys], *refused, CTRL_Q)
        issued = [str(33001 + i) for i in range(len(keys))]
        self.assertEqual(numbers, issued + ["0"] * len(refused) + [str(33000 + len(numbers))])
        for (_, key), number in zip(keys, issued):
            self.xdotool("key", key)
            self.assertEqual(self.hot_keys_until(probe, "ctrl+q", numbers[-1]), [number], key)
        self.assertEqual(self.letters(self.presses_until_b(log)), [])
        self.finish(probe)
        self.finish(log)

    def test_own_window_gets_its_keys_but_no_hot_key(self):
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q, window=True)
        self.assertEqual(numbers, NUMBERS)
        self.focus(probe.window)
        self.xdotool("key", "ctrl+a")
        self.xdotool("key", "a")
        self.xdotool("key", "ctrl+shift+z")
        self.xdotool("key", "b")
        # The hot key's call is queued, so it may come after the other keys. The window
        # does get the modifier keys themselves, which are not grabbed.
        lines = []
        while "hotkey 33001" not in lines or "widget-release B" not in lines:
            lines.append(probe.next_line("the hot key and the key b"))
        keys = [line for line in lines if line.startswith("widget-")
                and line.split(" ", 1)[1].split("+")[-1] not in ("Control", "Shift")]
        self.assertEqual(keys, ["widget-key A", "widget-release A", "widget-key Ctrl+Shift+Z",
                                "widget-release Z", "widget-key B", "widget-release B"])
        self.assertEqual([line for line in lines if line.startswith("hotkey")],
                         ["hotkey 33001"])
        self.finish(probe)

    def test_the_application_may_end_first(self):
        # The X connection closes with the application; touching it afterwards rarely
        # crashes by itself, so the probe runs under valgrind, which sees every stale read
        # (in a sanitizer build the sanitizer watches instead, with less reach into libxcb).
        sanitized = bool(os.environ.get("ORVANE_SANITIZE"))
        self.assertTrue(sanitized or shutil.which("valgrind"), "valgrind is needed")
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, options=["--application-first"],
                                          wrapper=[] if sanitized else ["valgrind", "-q"],
                                          seconds=60)
        self.assertEqual(numbers, NUMBERS[:2])
        self.xdotool("key", "ctrl+a")
        self.assertEqual(probe.next_line("the hot key"), "hotkey 33001")
        self.assertEqual(probe.finish(), 0, "HotKeyProbe did not end cleanly")
        stale = [line for line in probe.errors if "Invalid " in line]
        self.assertEqual(stale, [], "memory used after it was freed")

    def test_without_x11_nothing_is_registered(self):
        env = dict(self.env, QT_QPA_PLATFORM="offscreen")
        probe, numbers = self.start_probe(CTRL_A, CTRL_Z, CTRL_Q, env=env)
        self.assertEqual(numbers, ["0", "0", "0"])
        self.finish(probe)


if __name__ == "__main__":
    if len(sys.argv) >= 3:
        PROBE, KEY_CLIENT = sys.argv[1], sys.argv[2]
        del sys.argv[1:3]
    unittest.main(verbosity=2)

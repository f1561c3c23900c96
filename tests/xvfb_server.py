"""A private X server for a test: Xvfb picks a free display number itself and reports
it once it accepts connections, so tests running side by side never race for a number.
-noreset keeps it from resetting when its last client leaves (a client connecting at
that moment would be dropped)."""

import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest


def start_xvfb(width, height, seconds=10):
    """Returns (process, display): display is ":N", or None when Xvfb did not report one
    in time. The caller ends the process."""
    read_end, write_end = os.pipe()
    try:
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-noreset", "-screen", "0",
             "%dx%dx24" % (width, height), "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        write_end = None
        number = b""
        deadline = time.monotonic() + seconds
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(read_end, 64) if ready else b""
            if not chunk:
                break
            number += chunk
    finally:
        if write_end is not None:
            os.close(write_end)
        os.close(read_end)
    number = number.strip()
    return process, (":" + number.decode()) if number.isdigit() else None


class XvfbTestCase(unittest.TestCase):
    """A test with its own Xvfb (SCREEN) and scratch folder: self.work, self.xvfb and
    self.display. Both are released by clean-ups registered first, so they run after the
    test's own clean-ups and tearDown (clean-ups run last in, first out): every client has
    ended before its server, and the folder goes last. Also when setUp fails half-way."""

    SCREEN = (640, 480)
    WORK_PREFIX = "orvane-x-"
    XVFB_SECONDS = 30

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix=self.WORK_PREFIX)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.xvfb = None
        self.addCleanup(self.end_xvfb)
        self.start_xvfb()

    def start_xvfb(self):
        """Starts the test's server, or a new one once the last has ended: self.display."""
        self.end_xvfb()
        self.xvfb, self.display = start_xvfb(*self.SCREEN, seconds=self.XVFB_SECONDS)
        self.assertIsNotNone(self.display, "Xvfb did not report a display number")

    def end_xvfb(self):
        if self.xvfb is None:
            return
        if self.xvfb.poll() is None:
            self.xvfb.kill()
        try:
            self.xvfb.wait(timeout=5)
        except subprocess.TimeoutExpired:
            pass

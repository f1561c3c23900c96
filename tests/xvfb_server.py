"""A private X server for a test: Xvfb picks a free display number itself and reports
it once it accepts connections, so tests running side by side never race for a number.
-noreset keeps it from resetting when its last client leaves (a client connecting at
that moment would be dropped)."""

import os
import select
import subprocess
import time


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

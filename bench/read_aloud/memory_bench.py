#!/usr/bin/env python3
"""Reading aloud in the real program: its peak memory (VmHWM, all threads) while a long
script is read at the real pace, against the same program idle with the script in its
editor, for 10,000 and 100,000 Chinese characters. See bench/README.md.

Usage: bench/read_aloud/memory_bench.py [BUILD_DIR]     (default: build)
       SIZES=10000,100000; READ_SECONDS=30 of reading per size
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from read_aloud_bench import bench_on_xvfb, chinese_text  # noqa: E402

SIZES = [int(n) for n in os.environ.get("SIZES", "10000,100000").split(",")]
READ_SECONDS = int(os.environ.get("READ_SECONDS", "30"))
MB = 1024 * 1024


def memory(pid):
    """VmHWM and VmRSS of the process, in bytes."""
    fields = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("VmHWM", "VmRSS"):
                fields[name] = int(value.split()[0]) * 1024
    return fields["VmHWM"], fields["VmRSS"]


def main():
    with bench_on_xvfb() as bench:
        print("Peak memory (VmHWM) of the program: idle with the script in its editor, then "
              "after %d s of reading it (goal: at most 1.2 x idle + 50 MB)" % READ_SECONDS)
        print("%12s %9s %11s %9s %14s %14s" % ("characters", "idle MB", "reading MB", "goal MB",
                                               "RSS at 5 s MB", "RSS at end MB"))
        growth = {}
        for size in SIZES:
            bench.end_program()
            output = bench.start_program(chinese_text(size))
            pid = bench.program.pid
            time.sleep(2)  # the editor settles after the paste
            idle, _ = memory(pid)
            start = output.size()
            bench.xdotool("key", "ctrl+a")
            output.watch_for_sound(start, [])
            began = time.monotonic()
            time.sleep(5)
            _, early = memory(pid)
            time.sleep(max(0, READ_SECONDS - (time.monotonic() - began)))
            peak, late = memory(pid)
            if output.first_sound(output.size() - 176400, output.size()) is None:
                raise SystemExit("the reading was not sounding at the end of the window")
            goal = 1.2 * idle + 50 * MB
            growth[size] = peak - idle
            print("%12d %9.1f %11.1f %9.1f %14.1f %14.1f%s"
                  % (size, idle / MB, peak / MB, goal / MB, early / MB, late / MB,
                     "" if peak <= goal else "   over the goal"))
        if len(growth) > 1:
            print("peak growth over idle while reading: " +
                  ", ".join("%d characters %.1f MB" % (size, growth[size] / MB)
                            for size in sorted(growth)))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Narration export of 10,000 Chinese characters (orvane-notepad --export-narration, which
synthesises on a worker while the main thread watches) against `espeak-ng -w` of the same
text with the reading voice at the same speed, in one run: medians of RUNS runs each,
alternating, as wall-clock and CPU ratios (goal: wall ratio at most 1.3), first on the
machine as it is found ("idle"), then with LOAD busy processes beside it ("loaded",
default one per core). MODES=idle or MODES=loaded runs one of them.

Usage: bench/narration/export_bench.py [BUILD_DIR]"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench", "read_aloud"))
from read_aloud_bench import ESPEAK, chinese_text  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
RUNS = int(os.environ.get("RUNS", "3"))
CHARACTERS = int(os.environ.get("CHARACTERS", "10000"))
LOAD = int(os.environ.get("LOAD", str(os.cpu_count() or 1)))
MODES = os.environ.get("MODES", "idle,loaded").split(",")


def timed(args, cwd):
    """Wall-clock and CPU seconds (user + system) of one run."""
    start = time.monotonic()
    process = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise SystemExit("%s failed with %d" % (args[0], process.returncode))
    return wall, usage.ru_utime + usage.ru_stime


def measure(work, label):
    program = [os.path.join(BUILD, "orvane-notepad"), "--export-narration", "script.txt", "o.wav"]
    espeak = ESPEAK + ["-f", "script.txt", "-w", "e.wav"]
    load_before = os.getloadavg()[0]
    exports, references = [], []
    for _ in range(RUNS):
        exports.append(timed(program, work))
        references.append(timed(espeak, work))
    ew, rw = (statistics.median(t[0] for t in runs) for runs in (exports, references))
    ec, rc = (statistics.median(t[1] for t in runs) for runs in (exports, references))
    print("%s (load average %.1f): export of %d characters %.2f s (CPU %.2f s); "
          "espeak-ng -w %.2f s (CPU %.2f s); ratio %.2f wall, %.2f CPU (goal <= 1.3)"
          % (label, load_before, CHARACTERS, ew, ec, rw, rc, ew / rw, ec / rc), flush=True)


def main():
    work = tempfile.mkdtemp(prefix="export-bench-")
    with open(os.path.join(work, "script.txt"), "w", encoding="utf-8") as f:
        f.write(chinese_text(CHARACTERS))
    if "idle" in MODES:
        measure(work, "machine as found")
    if "loaded" in MODES:
        hogs = [subprocess.Popen([sys.executable, "-c", "while True: pass"])
                for _ in range(LOAD)]
        try:
            time.sleep(1)
            measure(work, "loaded, %d busy processes" % LOAD)
        finally:
            for hog in hogs:
                hog.kill()
                hog.wait()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Narration export of 10,000 Chinese characters (orvane-notepad --export-narration)
against `espeak-ng -w` of the same text with the reading voice, in one run: medians of
RUNS runs each, alternating, and the ratio (goal: at most 1.3).

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


def timed(args, cwd):
    start = time.monotonic()
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    return time.monotonic() - start


def main():
    work = tempfile.mkdtemp(prefix="export-bench-")
    with open(os.path.join(work, "script.txt"), "w", encoding="utf-8") as f:
        f.write(chinese_text(CHARACTERS))
    program = [os.path.join(BUILD, "orvane-notepad"), "--export-narration", "script.txt", "o.wav"]
    espeak = ESPEAK + ["-f", "script.txt", "-w", "e.wav"]
    exports, references = [], []
    for _ in range(RUNS):
        exports.append(timed(program, work))
        references.append(timed(espeak, work))
    e, r = statistics.median(exports), statistics.median(references)
    print("export of %d characters: %.2f s; espeak-ng -w: %.2f s; ratio %.2f (goal <= 1.3)"
          % (CHARACTERS, e, r, e / r))


if __name__ == "__main__":
    main()

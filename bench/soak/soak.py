#!/usr/bin/env python3
"""Soak: the real program on a private Xvfb with SDL's disk audio driver, driven with
real input through many reading and typing cycles; its resident memory, its thread count
and whether it still answers and exits cleanly afterwards. See bench/README.md.

Usage: bench/soak/soak.py [BUILD_DIR]     (default: build)
       READINGS=1000 reading cycles, TYPINGS=300 typing cycles, CHARACTERS=2000
"""

import array
import os
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
from harness import EXIT_ITEM, ProgramTestCase  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "bench", "read_aloud"))
from read_aloud_bench import chinese_text as script  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
READINGS = int(os.environ.get("READINGS", "1000"))
TYPINGS = int(os.environ.get("TYPINGS", "300"))
CHARACTERS = int(os.environ.get("CHARACTERS", "2000"))
WARM_UP = 10  # cycles of each kind before the baseline: first-use caches are not growth

TYPING_BUTTON = (173 + 16, 3 + 16)   # 按钮7 "打字"
SPEED_BOX = (207 + 9, 3 + 16)        # 编辑框3
CONTROL_BUTTON = (243 + 16, 3 + 16)  # 按钮1 "打字控制"
STOP_BUTTON = (645 + 11, 3 + 16)     # 按钮12 "结束"
FRAME = 4                            # signed 16-bit, two channels
SILENCE = 16                         # largest sample still counted as silence
QUIET_BYTES = 44100 * FRAME // 10    # 100 ms of silence: the sound has stopped
WAIT = 60                            # bound on every wait (generous for a loaded machine)

class AudioWatch(threading.Thread):
    """Reads the disk driver's output through a FIFO, so that nothing piles up on disk,
    and counts the loud and the quiet bytes as they arrive."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path = path
        self.lock = threading.Condition()
        self.loud = 0        # bytes with sound so far
        self.quiet_run = 0   # silent bytes since the last sound
        self.quiet_total = 0

    def run(self):
        with open(self.path, "rb", buffering=0) as fifo:
            while True:
                chunk = fifo.read(4096)
                if not chunk:
                    return
                samples = array.array("h")
                samples.frombytes(chunk[:len(chunk) // 2 * 2])
                loud = max(samples, default=0) > SILENCE or min(samples, default=0) < -SILENCE
                with self.lock:
                    if loud:
                        self.loud += len(chunk)
                        self.quiet_run = 0
                    else:
                        self.quiet_run += len(chunk)
                        self.quiet_total += len(chunk)
                    self.lock.notify_all()

    def wait(self, condition, what):
        with self.lock:
            if not self.lock.wait_for(condition, WAIT):
                raise SystemExit("timed out waiting for " + what)

    def wait_for_sound(self):
        with self.lock:
            mark = self.loud
        self.wait(lambda: self.loud > mark, "sound")

    def wait_for_quiet(self):
        with self.lock:
            mark = self.quiet_total
        # Quiet that began after the command, long enough to be more than a gap.
        self.wait(lambda: self.quiet_total - mark >= QUIET_BYTES and
                  self.quiet_run >= QUIET_BYTES, "silence")


def status(pid):
    with open("/proc/%d/status" % pid) as f:
        fields = dict(line.split(":", 1) for line in f if ":" in line)
    return int(fields["VmRSS"].split()[0]) / 1024.0, int(fields["Threads"])


class Soak(ProgramTestCase):
    def runTest(self):  # unittest needs a method name; the bench calls the steps itself
        pass

    def reading_cycle(self):
        self.xdotool("key", "ctrl+a")
        self.audio.wait_for_sound()
        self.xdotool("key", "ctrl+z")
        self.audio.wait_for_quiet()
        self.xdotool("key", "ctrl+a")
        self.audio.wait_for_sound()
        self.click_client(*STOP_BUTTON)
        self.audio.wait_for_quiet()

    def typing_cycle(self):
        self.xdotool("key", "ctrl+q")
        self.click_client(*CONTROL_BUTTON)  # pause
        self.click_client(*CONTROL_BUTTON)  # continue

    def settled_threads(self, idle):
        """Waits (boundedly) for the thread count to come back to idle; the last count."""
        deadline = time.monotonic() + 120
        while True:
            threads = status(self.program.pid)[1]
            if threads <= idle or time.monotonic() > deadline:
                return threads
            time.sleep(0.2)

    def soak(self):
        fifo = os.path.join(self.work, "audio.fifo")
        os.mkfifo(fifo)
        self.audio = AudioWatch(fifo)
        self.audio.start()
        self.env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=fifo)
        self.env.pop("SDL_DISKAUDIODELAY", None)  # the real pace: silence costs no CPU
        window = self.start_program()
        pid = self.program.pid
        left, top, _, _ = self.geometry(window)
        self.origin = (left, top)

        import subprocess
        subprocess.run(["xclip", "-selection", "clipboard", "-loops", "1"],
                       input=script(CHARACTERS).encode("utf-8"), env=self.env, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.click_client(400, 300)
        self.xdotool("key", "--clearmodifiers", "ctrl+v")
        # The speed "0.1" types a character every 3 ms, so a run ends in seconds.
        self.click_client(*SPEED_BOX)
        self.xdotool("key", "End", *["BackSpace"] * 4)
        self.xdotool("type", "0.1")
        self.click_client(400, 300)
        time.sleep(2)
        start_rss, idle_threads = status(pid)

        for _ in range(WARM_UP):
            self.reading_cycle()
        for _ in range(WARM_UP):
            self.typing_cycle()
        self.settled_threads(idle_threads)
        base_rss = status(pid)[0]
        print("idle after start-up: %.1f MB, %d threads; after %d warm-up cycles of each: "
              "%.1f MB" % (start_rss, idle_threads, WARM_UP, base_rss), flush=True)

        began = time.monotonic()
        for cycle in range(1, READINGS + 1):
            self.reading_cycle()
            if cycle % 100 == 0 or cycle == READINGS:
                print("  reading cycle %4d: %.1f MB" % (cycle, status(pid)[0]), flush=True)
        reading_seconds = time.monotonic() - began
        read_rss = status(pid)[0]
        began = time.monotonic()
        for cycle in range(1, TYPINGS + 1):
            self.typing_cycle()
            if cycle % 100 == 0 or cycle == TYPINGS:
                print("  typing cycle %4d: %.1f MB" % (cycle, status(pid)[0]), flush=True)
        typing_seconds = time.monotonic() - began
        threads = self.settled_threads(idle_threads)
        end_rss = status(pid)[0]

        # Still answering: the menu comes up; "退出" asks about the changed text, "否"
        # leaves without saving.
        before = self.visible_windows()
        self.choose_menu_item(EXIT_ITEM)
        box = self.wait_until(lambda: self.visible_windows() - before - {window},
                              "the question about changed text").pop()
        self.xdotool("windowfocus", "--sync", box)
        self.xdotool("key", "alt+n")
        code = self.program.wait(timeout=WAIT)

        print("%d reading cycles (Ctrl+A, Ctrl+Z, Ctrl+A, 结束) on %d characters in %.0f s; "
              "%d typing cycles (Ctrl+Q, pause, continue) in %.0f s"
              % (READINGS, CHARACTERS, reading_seconds, TYPINGS, typing_seconds))
        print("resident memory: %.1f MB after warm-up, %.1f after the readings, %.1f after "
              "the typing; growth %.1f MB (goal: at most 5)"
              % (base_rss, read_rss, end_rss, end_rss - base_rss))
        print("threads: %d idle, %d after the cycles (goal: back to idle)"
              % (idle_threads, threads))
        print("answered the menu and the exit question; exit status %d (goal: 0)" % code)


def main():
    harness.PROGRAM[0] = os.path.join(BUILD, "orvane-notepad")
    soak = Soak()
    try:
        soak.setUp()
        soak.soak()
    finally:
        soak.doCleanups()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Reading aloud in the real program: the time from the Ctrl+A key press to the first
sound at the audio output, for scripts of 100, 1,000 and 10,000 Chinese characters, as a
ratio to the time the espeak-ng command line takes to emit its first audio for the same
text in the same run, and the largest size's time over the smallest's; and the program's
CPU while a long reading plays and while it is paused. See bench/README.md.

Usage: bench/read_aloud/read_aloud_bench.py [BUILD_DIR]     (default: build)
       RUNS=5 runs of each size after one unmeasured warm-up; SIZES=100,1000,10000
"""

import array
import contextlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests"))
from xvfb_server import start_xvfb  # noqa: E402
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
PROGRAM = os.path.join(BUILD, "orvane-notepad")
RUNS = int(os.environ.get("RUNS", "5"))
SIZES = [int(n) for n in os.environ.get("SIZES", "100,1000,10000").split(",")]

STOP_BUTTON = (645 + 11, 3 + 16)  # 按钮12 "结束", client coordinates
FRAME = 4                          # the device format: signed 16-bit, two channels
DEVICE_BYTES_PER_SECOND = 44100 * FRAME
SILENCE = 16                       # largest sample value still counted as silence
WAIT_SECONDS = 60                  # bound on any wait (10,000 characters take seconds)
CPU_SECONDS = 10
# The reading's voice settings (speed 4, volume 10) on the espeak-ng command line.
ESPEAK = ["espeak-ng", "-v", "cmn-latn-pinyin", "-s", "152", "-a", "100"]

BASE = ("春天来了山坡上的小草悄悄探出头河边的柳树抽出嫩绿枝条在微风中轻轻摇摆孩子们放下书包"
        "跑到田野里放风筝笑声传得很远农民伯伯扛着锄头走向田间开始一年的播种")


def chinese_text(characters):
    """Prose-like text: a comma every 15 characters, a full stop every 45."""
    out = []
    for i in range(characters):
        out.append(BASE[i % len(BASE)])
        if i % 15 == 14:
            out.append("。" if i % 45 == 44 else "，")
    return "".join(out)


def run(args, env, timeout=10):
    return subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=timeout, check=True).stdout.decode()


def wait_until(probe, what, seconds=WAIT_SECONDS, pause=0.02):
    deadline = time.monotonic() + seconds
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise SystemExit("timed out waiting for " + what)
        time.sleep(pause)


class Output:
    """The disk driver's file, with the times at which it grew."""

    def __init__(self, path):
        self.path = path

    def size(self):
        return os.path.getsize(self.path) // FRAME * FRAME if os.path.exists(self.path) else 0

    def first_sound(self, start, end):
        with open(self.path, "rb") as f:
            f.seek(start)
            data = f.read((end - start) // FRAME * FRAME)
        samples = array.array("h")
        samples.frombytes(data)
        if sys.byteorder == "big":
            samples.byteswap()
        left = samples[0::2]
        if max(left, default=0) <= SILENCE and min(left, default=0) >= -SILENCE:
            return None
        return start + FRAME * next(i for i, s in enumerate(left) if abs(s) > SILENCE)

    def watch_for_sound(self, start, growth):
        """Polls the file from `start` until a sound appears in it; returns its offset.
        Appends (time, size) to `growth` at each change of size."""
        checked = start
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            size = self.size()
            now = time.monotonic()
            if not growth or size != growth[-1][1]:
                growth.append((now, size))
                found = self.first_sound(checked, size)
                if found is not None:
                    return found
                checked = size
            time.sleep(0.001)
        raise SystemExit("no sound within %d s" % WAIT_SECONDS)


def time_of(offset, growth):
    """When the byte at `offset` was written: the file grows in chunks of the C library's
    buffer, so the time is read off a straight line fitted to the growth around it."""
    near = [(t, s) for t, s in growth if abs(s - offset) < 176400]  # about a second
    if len(near) < 3:
        near = growth
    mean_t = sum(t for t, _ in near) / len(near)
    mean_s = sum(s for _, s in near) / len(near)
    slope = (sum((t - mean_t) * (s - mean_s) for t, s in near) /
             sum((t - mean_t) ** 2 for t, _ in near))
    return mean_t + (offset - mean_s) / slope


def espeak_first_audio(text_file):
    """Seconds from launching the espeak-ng command line on the text to the first sound
    (a sample louder than SILENCE) on its standard output, a 22,050 Hz mono WAV."""
    start = time.monotonic()
    espeak = subprocess.Popen(ESPEAK + ["-f", text_file, "--stdout"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    try:
        received = bytearray()
        checked = 44  # the header
        while True:
            chunk = os.read(espeak.stdout.fileno(), 65536)
            if not chunk:
                raise SystemExit("espeak-ng ended without a sound")
            received += chunk
            end = checked + (len(received) - checked) // 2 * 2
            if end > checked:
                samples = array.array("h")
                samples.frombytes(bytes(received[checked:end]))
                if sys.byteorder == "big":
                    samples.byteswap()
                if any(abs(v) > SILENCE for v in samples):
                    return time.monotonic() - start
                checked = end
    finally:
        espeak.kill()
        espeak.wait()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def cpu_share(pid, seconds):
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - start_cpu) / (time.monotonic() - start)


class Bench:
    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="orvane-read-bench-")
        self.xvfb = None
        self.program = None

    def close(self):
        self.end_program()
        if self.xvfb is not None:
            self.xvfb.kill()
            self.xvfb.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def start_xvfb(self):
        self.xvfb, display = start_xvfb(1280, 800)
        if display is None:
            raise SystemExit("Xvfb did not start")
        # The state folder is the bench's own: a killed run's autosave copy would be
        # offered back at the next start, in front of the editor.
        self.env = dict(os.environ, DISPLAY=display,
                        QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.work,
                        XDG_STATE_HOME=os.path.join(self.work, "state"),
                        SDL_AUDIODRIVER="disk")
        self.env.pop("SDL_DISKAUDIODELAY", None)  # the real pace, as the user hears it

    def xdotool(self, *args):
        return run(["xdotool", *args], self.env)

    def start_program(self, text):
        """The program with the text in its editor; returns its audio output."""
        output = Output(os.path.join(self.work, "output-%d.raw" % len(text)))
        env = dict(self.env, SDL_DISKAUDIOFILE=output.path)
        # Without a network, so that the update check at start-up reaches nothing outside.
        command = [PROGRAM]
        if os.geteuid() == 0 and shutil.which("unshare") and subprocess.run(
                ["unshare", "--net", "true"], stderr=subprocess.DEVNULL).returncode == 0:
            command = ["unshare", "--net", "--"] + command
        self.pointer = None
        self.program = subprocess.Popen(command, env=env, cwd=self.work,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def window():
            if self.program.poll() is not None:
                raise SystemExit("the program ended during start-up")
            for title in ("语音可能不可用！", "有更新！"):  # start-up boxes: Esc closes them
                for box in self.search("--name", "^%s$" % title):
                    subprocess.run(["xdotool", "windowfocus", "--sync", box, "key", "Escape"],
                                   env=self.env, timeout=10, stderr=subprocess.DEVNULL)
            found = self.search("--name", "Orvane")
            return found[0] if found else None

        main_window = wait_until(window, "the main window", 20)
        fields = dict(line.split("=", 1) for line in
                      self.xdotool("getwindowgeometry", "--shell", main_window).split())
        self.origin = (int(fields["X"]), int(fields["Y"]))
        subprocess.run(["xclip", "-selection", "clipboard", "-loops", "1"],
                       input=text.encode("utf-8"), env=self.env, timeout=10,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.click(400, 300)
        self.xdotool("key", "--clearmodifiers", "ctrl+v")
        time.sleep(1.0 + len(text) / 20000)  # the editor takes the text
        wait_until(lambda: output.size() > 0, "the audio output")
        return output

    def search(self, *args):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", *args], env=self.env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
        return found.stdout.decode().split()

    def end_program(self):
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
            self.program.wait()
        self.program = None

    def click(self, x, y):
        target = (self.origin[0] + x, self.origin[1] + y)
        # "mousemove --sync" waits for motion, so it would hang on the spot it is at.
        if getattr(self, "pointer", None) != target:
            if getattr(self, "pointer", None) is None:  # it may start on the very spot
                self.xdotool("mousemove", "0", "0")
            self.xdotool("mousemove", "--sync", str(target[0]), str(target[1]))
            self.pointer = target
        self.xdotool("click", "1")

    def read_once(self, output):
        """Ctrl+A, then the seconds until the first sound was written; ends the reading."""
        growth = []
        start = output.size()
        # Polling before the press gives the growth line its left half.
        settle = time.monotonic() + 0.5
        while time.monotonic() < settle:
            size = output.size()
            if not growth or size != growth[-1][1]:
                growth.append((time.monotonic(), size))
            time.sleep(0.001)
        # keydown alone: the press reaches the server as xdotool ends.
        self.xdotool("keydown", "ctrl+a")
        pressed = time.monotonic()
        self.xdotool("keyup", "ctrl+a")
        offset = output.watch_for_sound(start, growth)
        end = time.monotonic() + 0.3  # the growth after the sound, for the line's right half
        while time.monotonic() < end:
            size = output.size()
            if size != growth[-1][1]:
                growth.append((time.monotonic(), size))
            time.sleep(0.001)
        latency = time_of(offset, growth) - pressed
        self.click(*STOP_BUTTON)
        time.sleep(0.5)
        return latency



@contextlib.contextmanager
def bench_on_xvfb():
    """A Bench on its private X server, ended (program and server) afterwards."""
    if not os.access(PROGRAM, os.X_OK):
        raise SystemExit("missing %s; build it: cmake --build %s --target orvane-notepad"
                         % (PROGRAM, BUILD))
    bench = Bench()
    try:
        bench.start_xvfb()
        yield bench
    finally:
        bench.close()


def main():
    with bench_on_xvfb() as bench:
        print("Ctrl+A to the first sound at the audio output, against espeak-ng's first audio "
              "for the same text (%d runs each, medians)" % RUNS)
        print("%12s %12s %12s %8s" % ("characters", "program ms", "espeak-ng ms", "ratio"))
        output = None
        medians = {}
        for size in SIZES:
            bench.end_program()
            text = chinese_text(size)
            text_file = os.path.join(bench.work, "text-%d.txt" % size)
            with open(text_file, "w", encoding="utf-8") as f:
                f.write(text)
            output = bench.start_program(text)
            cold = bench.read_once(output)  # warm-up of both, not in the medians
            espeak_first_audio(text_file)
            program, espeak = [], []
            for _ in range(RUNS):  # alternating, so that background load hits both alike
                espeak.append(espeak_first_audio(text_file))
                program.append(bench.read_once(output))
            p, e = statistics.median(program), statistics.median(espeak)
            medians[size] = p
            print("%12d %12.0f %12.0f %8.2f" % (size, 1000 * p, 1000 * e, p / e))
            print("%12s program: %s" % ("", " ".join("%.0f" % (1000 * v) for v in program)))
            print("%12s espeak-ng: %s" % ("", " ".join("%.0f" % (1000 * v) for v in espeak)))
            print("%12s first reading after start-up: %.0f ms" % ("", 1000 * cold))
        if len(medians) > 1:
            small, large = min(medians), max(medians)
            print("first sound for %d characters / for %d (goal: at most 1.5): %.2f"
                  % (large, small, medians[large] / medians[small]))

        # CPU of the whole program, with the longest script read at the real pace.
        pid = bench.program.pid
        start, began = output.size(), time.monotonic()
        idle = cpu_share(pid, CPU_SECONDS)
        fed = (output.size() - start) / (time.monotonic() - began)
        print("audio output while idle: %.0f bytes a second, %.3f of the device's %d "
              "(44,100 Hz, 16-bit stereo; goal: 0.9 to 1.12)"
              % (fed, fed / DEVICE_BYTES_PER_SECOND, DEVICE_BYTES_PER_SECOND))
        start = output.size()
        bench.xdotool("key", "ctrl+a")
        output.watch_for_sound(start, [])
        time.sleep(2)  # past the end of synthesis and the first buffers
        start = output.size()
        playing = cpu_share(pid, CPU_SECONDS)
        if output.first_sound(start, output.size()) is None:
            raise SystemExit("the reading did not play while its CPU was measured")
        bench.xdotool("key", "ctrl+z")
        time.sleep(1)
        start = output.size()
        paused = cpu_share(pid, CPU_SECONDS)
        if output.first_sound(start, output.size()) is not None:
            raise SystemExit("the reading went on while paused")
        print("CPU of the program, %% of one core over %d s (goal: under 2 %%): "
              "idle %.2f, reading %.2f, paused %.2f" % (CPU_SECONDS, 100 * idle, 100 * playing,
                                                       100 * paused))


if __name__ == "__main__":
    main()

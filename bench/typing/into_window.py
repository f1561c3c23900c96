#!/usr/bin/env python3
"""Rhythm of typing into another program's window: the real program types 500 characters
(mixed Chinese and Latin) at speed 1 (30 ms) into XkbTextReceiver on a private Xvfb.
Reports the mean period between characters as a ratio to the interval, the drift (last
hundred against the first), and the program's CPU share of one core while typing.

Usage: bench/typing/into_window.py BUILD_DIR
"""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))
from xvfb_server import start_xvfb  # noqa: E402

CHARACTERS = 500
INTERVAL_MS = 30
SCRIPT = ("你好，世界！Hello typing 123 " * 40)[:CHARACTERS]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    work = tempfile.mkdtemp(prefix="orvane-bench-")
    xvfb, display = start_xvfb(1280, 800, seconds=10)
    # Its own state folder too: the killed program's autosave copy stays there.
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=work,
               XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_STATE_HOME=os.path.join(work, "state"))
    os.makedirs(os.path.join(work, "config", "orvane-notepad"))
    with open(os.path.join(work, "config", "orvane-notepad", "orvane-notepad.conf"), "w") as f:
        f.write("[typing]\nintoFocusedWindow=true\n")
    xdo = lambda *a: subprocess.run(["xdotool", *a], env=env, capture_output=True,
                                    text=True).stdout
    program = subprocess.Popen([os.path.join(build, "orvane-notepad")], env=env, cwd=work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    receiver = None
    try:
        window = ""
        for _ in range(200):
            for title in ("语音可能不可用！", "有更新！"):
                for box in xdo("search", "--onlyvisible", "--name", "^%s$" % title).split():
                    xdo("windowfocus", "--sync", box)
                    xdo("key", "Escape")
            window = xdo("search", "--onlyvisible", "--name", "Orvane").split()
            if window:
                break
            time.sleep(0.1)
        geometry = dict(l.split("=") for l in xdo("getwindowgeometry", "--shell",
                                                  window[0]).split())
        left, top = int(geometry["X"]), int(geometry["Y"])
        subprocess.run(["xclip", "-selection", "clipboard", "-loops", "1"], env=env,
                       input=SCRIPT.encode(), stdout=subprocess.DEVNULL, timeout=10)
        xdo("mousemove", "--sync", str(left + 400), str(top + 300))
        xdo("click", "1")
        xdo("key", "--clearmodifiers", "ctrl+v")
        # Speed box: "1".
        xdo("mousemove", "--sync", str(left + 214), str(top + 19))
        xdo("click", "--repeat", "3", "1")
        xdo("type", "1")
        time.sleep(1)
        receiver = subprocess.Popen([os.path.join(build, "tests/e2e/XkbTextReceiver")], env=env,
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        target = receiver.stdout.readline().split()[1]
        xdo("windowfocus", "--sync", target)
        cpu_before, wall_before = cpu_seconds(program.pid), time.monotonic()
        xdo("key", "ctrl+q")
        times = []
        while len(times) < CHARACTERS:
            fields = receiver.stdout.readline().split()
            if fields and fields[0] == "key" and fields[2] != "-":
                times.append(int(fields[1]) / 1000.0)
        cpu = (cpu_seconds(program.pid) - cpu_before) / (time.monotonic() - wall_before)
        periods = [b - a for a, b in zip(times, times[1:])]
        mean = sum(periods) / len(periods)
        first = sum(periods[:100]) / 100
        last = sum(periods[-100:]) / 100
        print("characters %d, interval %d ms" % (CHARACTERS, INTERVAL_MS))
        print("mean period %.2f ms, ratio to the interval %.4f" % (mean, mean / INTERVAL_MS))
        print("first hundred %.2f ms, last hundred %.2f ms, drift ratio %.4f"
              % (first, last, last / first))
        print("program CPU while typing: %.2f %% of a core" % (100 * cpu))
    finally:
        if receiver:
            receiver.stdin.close()
            receiver.wait(timeout=5)
        program.kill()
        program.wait()
        xvfb.kill()
        xvfb.wait()


if __name__ == "__main__":
    main()

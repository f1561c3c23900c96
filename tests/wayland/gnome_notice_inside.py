#!/usr/bin/env python3
"""Runs inside a headless mutter (test_gnome_notice.py starts it): starts the program twice
with a script, answers the hot-key notice the first time (ticks 不再提示 and closes it),
asks for `--action read-aloud`, and prints what the program told the compositor as one JSON
line. What each start shows is read from its Wayland requests (WAYLAND_DEBUG): the titles of
its top-level windows, and when the compositor gave the keyboard to the notice.
Usage: gnome_notice_inside.py PROGRAM SCRIPT MUTTER_KEYS FOLDER"""
import array, json, os, re, signal, subprocess, sys, time

program, script, keys_helper, folder = sys.argv[1:5]
NOTICE = '热键'
audio = os.path.join(folder, 'audio.raw')
env = dict(os.environ, WAYLAND_DEBUG='client', SDL_AUDIODRIVER='disk', SDL_AUDIODEVICE='',
           SDL_DISKAUDIOFILE=audio)


def wait_for(condition, what, seconds=90):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.05)
    raise SystemExit('timed out waiting for ' + what)


class Start:
    """One start of the program, its Wayland requests and events logged to a file."""

    def __init__(self, name):
        self.log = os.path.join(folder, name + '.log')
        self.proc = subprocess.Popen([program, script], env=env, stdout=subprocess.DEVNULL,
                                     stderr=open(self.log, 'w'))

    def lines(self):
        with open(self.log, encoding='utf-8', errors='replace') as f:
            return f.read().splitlines()

    def titles(self):
        return re.findall(r'xdg_toplevel@\d+\.set_title\("(.*)"\)', '\n'.join(self.lines()))

    def focused_after_title(self, part):
        """Whether the keyboard came to the program after a window was titled with part."""
        lines = self.lines()
        titled = [i for i, line in enumerate(lines) if 'set_title(' in line and part in line]
        return titled and any('wl_keyboard@' in line and '.enter(' in line for line in lines[titled[0]:])

    def end(self):
        alive = self.proc.poll() is None
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(30)
        return alive


keyboard = subprocess.Popen(['python3', keys_helper], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)


def press(names):
    keyboard.stdin.write(names + '\n')
    keyboard.stdin.flush()
    if keyboard.stdout.readline().strip() != 'ok':
        raise SystemExit('the keyboard failed')


if keyboard.stdout.readline().strip() != 'ok':
    raise SystemExit('no keyboard from mutter')
name = os.path.basename(script)
result = {}

first = Start('first')
wait_for(lambda: first.focused_after_title(NOTICE), 'the hot-key notice with the keyboard')
press('Tab space Tab Return')  # to 不再提示, tick it, back to 确定, press it
# A top-level exists once shown; the title names the script once it is read in. (The
# compositor may keep the keyboard elsewhere for a new window.)
wait_for(lambda: any(name in t for t in first.titles()), 'the window with the script')
subprocess.run([program, '--action', 'read-aloud'], env=env, timeout=60, check=True)
seen, sound = 0, False


def heard():
    global seen
    data = open(audio, 'rb').read() if os.path.exists(audio) else b''
    samples = array.array('h', data[seen:len(data) // 2 * 2])
    seen += 2 * len(samples)
    return any(abs(sample) > 16 for sample in samples)


result['sound'] = bool(wait_for(heard, 'speech after --action read-aloud', 60))
result['first_alive'] = first.end()
result['first_titles'] = first.titles()

second = Start('second')
wait_for(lambda: any(name in t for t in second.titles()), 'the second start\'s window with the script')
result['second_alive'] = second.end()
result['second_titles'] = second.titles()
keyboard.stdin.close()
print(json.dumps(result))

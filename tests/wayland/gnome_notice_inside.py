#!/usr/bin/env python3
"""Runs inside a headless mutter (test_gnome_notice.py starts it): starts the program twice
with a script, answers the hot-key notice the first time (ticks 不再提示 and closes it),
asks for `--action read-aloud`, and prints what the program told the compositor as one JSON
line. What each start shows is read from its Wayland requests (WAYLAND_DEBUG): the titles of
its top-level windows, and when the compositor gave the keyboard to the notice. The second
start is judged once it has had the session's answer about a shortcuts portal.
Usage: gnome_notice_inside.py PROGRAM SCRIPT MUTTER_KEYS FOLDER"""
import array, json, os, re, signal, subprocess, sys, threading, time

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

    def notice(self):
        """The notice's line number, xdg_toplevel and wl_surface, once it was titled."""
        lines = self.lines()
        for i, line in enumerate(lines):
            titled = re.search(r'xdg_toplevel@(\d+)\.set_title\(".*' + NOTICE, line)
            if titled:
                toplevel = titled.group(1)
                made = '\n'.join(lines[:i])
                xdg = re.findall(r'xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@' +
                                 toplevel + r'\)', made)[-1]
                surface = re.findall(r'get_xdg_surface\(new id xdg_surface@' + xdg +
                                     r', wl_surface@(\d+)\)', made)[-1]
                return i, toplevel, surface, lines[i:]
        return None

    def notice_has_keyboard(self):
        """Whether the keyboard came to the notice itself (the main window may get it after
        the notice was made)."""
        found = self.notice()
        return found and any(re.search(r'wl_keyboard@\d+\.enter\(\d+, wl_surface@' + found[2] +
                                       r',', line) for line in found[3])

    def notice_closed(self):
        found = self.notice()
        return found and any('xdg_toplevel@' + found[1] + '.destroy()' in line
                             for line in found[3])

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
wait_for(first.notice_has_keyboard, 'the hot-key notice with the keyboard')
press('Tab space Tab Return')  # to 不再提示, tick it, back to 确定, press it
wait_for(first.notice_closed, 'the hot-key notice to close')
settings = os.path.join(os.environ['XDG_CONFIG_HOME'], 'orvane-notepad', 'orvane-notepad.conf')
wait_for(lambda: os.path.exists(settings) and 'hotKeyNoticeSilenced=1' in open(settings).read(),
         'the ticked 不再提示 to be stored (or a key was lost)', 30)
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

# The second start asks the bus whether a shortcuts portal exists and decides on the notice
# when the answer comes, maybe after its window is shown. The bus monitor sees the answer
# go to it; a request to it made after that is handled after the answer, so once it
# returns, a notice would have been made.
monitor = subprocess.Popen(['dbus-monitor', '--session'], stdout=subprocess.PIPE, text=True)
watched = []
threading.Thread(target=lambda: watched.extend(monitor.stdout), daemon=True).start()
wait_for(lambda: any('NameAcquired' in line for line in watched), 'the bus monitor')


def portal_answered():
    text = ''.join(watched)
    asked = re.search(r'sender=(\S+) -> destination=org\.freedesktop\.portal\.Desktop serial=(\d+)'
                      r'[^\n]*member=Get\n\s*string "org\.freedesktop\.portal\.GlobalShortcuts"', text)
    return asked and re.search(r'destination=' + re.escape(asked.group(1)) + r' .*reply_serial=' +
                               asked.group(2) + r'\b', text)


second = Start('second')
# (A notice shown before the script is read in may hold it back until the notice is closed.)
wait_for(lambda: any(name in t or NOTICE in t for t in second.titles()),
         'the second start\'s window with the script')
wait_for(portal_answered, 'the second start\'s question about a shortcuts portal to be answered')
subprocess.run([program, '--action', 'stop-reading'], env=env, timeout=60, check=True)
monitor.terminate()
result['second_alive'] = second.end()
result['second_titles'] = second.titles()
keyboard.stdin.close()
print(json.dumps(result))

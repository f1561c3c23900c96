#!/usr/bin/env python3
"""Reading aloud and the global hot keys in the real program, with another client's window
holding the keyboard focus. SDL's disk audio driver writes what reached the audio output
to a file: Ctrl+A makes speech appear there, Ctrl+Z turns it into silence, Ctrl+A goes on
from where the pause left off (checked against a second reading of the same script from
its start), a real click on "结束" ends the reading. Ctrl+Q starts the typing effect, and
the pointer over "语音" brings up the hot-key balloon. With Ctrl+A held by another client
before start-up, the program still starts and Ctrl+Q still types. A sentence read aloud
sounds like its exported narration resampled by sox to the device's rate. Reading a
10,000-character script, the sentence marked in the editor (scrolled into view, told apart
on screenshots by the width of its band) is the one being heard by the times of the
exported subtitles, through a pause and after it.

Usage: test_read_aloud.py PATH_TO_ORVANE_NOTEPAD PATH_TO_XCBKEYCLIENT PATH_TO_HOTKEYPROBE
"""

import array
import operator
import os
import queue
import random
import subprocess
import sys
import threading
import time
import unittest
import wave

from harness import PROGRAM, WAIT_SECONDS, ProgramTestCase, main, run

KEY_CLIENT = [""]  # XcbKeyClient: a window of another client that logs the keys it gets
HOLDER = [""]      # HotKeyProbe: holds a hot key of its own choosing

READ_BUTTON = (604 + 11, 3 + 16)   # 按钮10 "语音"
STOP_BUTTON = (645 + 11, 3 + 16)   # 按钮12 "结束"
CLEAR_BUTTON = (508 + 16, 3 + 16)  # 按钮9 "清空"
EDITOR_INSIDE = (10, 110, 740, 420)
CARET_PIXELS = 60  # a blinking caret may differ between two shots

# A script without repeated phrases, so that a piece of its speech matches only one place.
SCRIPT = ("清晨的阳光洒进窗台，妈妈在厨房里煮着热腾腾的小米粥。爷爷戴上老花镜，翻开昨天的报纸，"
          "一边读一边点头。院子外面传来卖豆腐的吆喝声，邻居家的黄狗跟着跑了过去。姐姐背起书包"
          "匆匆出门，说今天要参加学校的演讲比赛。弟弟还躺在被窝里，抱着枕头不肯起床。桌上摆着"
          "刚蒸好的包子，香气飘满整个屋子。窗外的麻雀叽叽喳喳地叫个不停，好像也在催促大家快点"
          "吃早饭。")

# The device format the audio library asks for: signed 16-bit, two channels, 44100 Hz.
RATE = 44100
FRAME = 4
BYTES_PER_SECOND = RATE * FRAME
SILENCE = 16  # largest sample value still counted as silence (about -66 dBFS)

SPEECH_SECONDS = 15      # bound on the wait for the first sound of a reading
HEARD_SECONDS = 2.5      # speech heard before the pause
SETTLE_SECONDS = 0.4     # a command takes effect within this
QUIET_SECONDS = 1.5      # how long a paused or ended reading is watched
PIECE_SECONDS = 0.5      # the speech after continue that is looked for
REPEAT = 0.8             # waveform correlation above this: the piece was heard before
ENVELOPE_WINDOW = 882    # frames: 20 ms, longer than a voice period
PIECE_HOP, FINE_HOP = 440, 110  # frames between two loudness values: 10 and 2.5 ms
ENVELOPE_MATCH = 0.97    # loudness correlation of the same words in two readings
POSITION_SLACK = 0.04    # seconds: readings differ a little in pace

# A long script of one sentence per line; the sentence lengths (characters with the full
# stop) run through LENGTHS in a new order every round, so that among the sentences near
# a point of the reading the width of the marked band tells which one it is.
LENGTHS = range(3, 15)
LONG_SCRIPT_CHARACTERS = 10000
POOL = ("春夏秋冬山水花草树木日月星云风雨雪霜江河湖海田野村庄城市街道学校老师同学朋友家庭父母兄弟"
        "姐妹读书写字唱歌跳舞画画游泳跑步爬山划船钓鱼种菜做饭洗衣打扫整理收拾准备开始结束继续休息"
        "睡觉起床早晨中午下午晚上今天明天昨天每年每月时候地方东西南北前后左右上下里外高低长短大小")
MARK = (0xFF, 0xE8, 0x8C)  # the reading mark's background
GLYPH = 20                 # pixels: the editor's Chinese characters are 20 pixels square
# Seconds the mark may trail or lead what is heard: the reading looks every 50 ms, the
# screen follows, its pace differs a little from the export's, and a pause's key takes
# effect a few ms after it is sent. Shorter than any sentence, so the mark cannot be on
# the wrong one without that showing.
MARK_LAG = 0.3
FOLLOWED_SECONDS = 6       # of the reading watched before the pause, and after continue

# One short sentence without inner punctuation (about 4 s, under the export's longest
# clause): the export synthesises it as one piece, as the reading does the whole text.
SENTENCE = "今天学习录制教程视频。"
FIDELITY = 0.99          # waveform correlation of the reading with sox's conversion
ALIGN_SECONDS = 0.01     # the two onsets found by level may differ by this much


def long_script():
    rng = random.Random(16)
    lines, lengths = [], list(LENGTHS)
    while sum(map(len, lines)) < LONG_SCRIPT_CHARACTERS:
        rng.shuffle(lengths)
        # Any three sentences in a row differ in length, across rounds too.
        while lines and {len(lines[-1]), len(lines[-2])} & set(lengths[:2]):
            rng.shuffle(lengths)
        lines += ["".join(rng.choice(POOL) for _ in range(n - 1)) + "。" for n in lengths]
    return lines


def seconds(byte_count):
    return byte_count / BYTES_PER_SECOND


def byte_count(seconds_):
    return int(seconds_ * RATE) * FRAME


class AudioOutput:
    """The disk driver's file: raw frames of two signed 16-bit samples; byte offsets."""

    def __init__(self, path):
        self.path = path

    def size(self):
        return os.path.getsize(self.path) // FRAME * FRAME if os.path.exists(self.path) else 0

    def samples(self, start, end):
        """The interleaved samples of the whole frames in [start, end)."""
        with open(self.path, "rb") as f:
            f.seek(start)
            data = f.read(max(0, end - start) // FRAME * FRAME)
        samples = array.array("h")
        samples.frombytes(data[:len(data) // FRAME * FRAME])
        if sys.byteorder == "big":
            samples.byteswap()
        return samples

    def left(self, start, end):
        return self.samples(start, end)[0::2]

    def first_sound(self, start, end):
        """Byte offset of the first frame louder than silence in [start, end), or None."""
        left = self.left(start, end)
        if max(left, default=0) <= SILENCE and min(left, default=0) >= -SILENCE:
            return None
        return start + FRAME * next(i for i, s in enumerate(left) if abs(s) > SILENCE)

    def last_sound(self, start, end):
        left = self.left(start, end)
        loud = [i for i, s in enumerate(left) if abs(s) > SILENCE]
        return start + FRAME * loud[-1] if loud else None

    def loudest(self, start, end):
        left = self.left(start, end)
        return max(max(left, default=0), -min(left, default=0))


def correlation(needle, haystack, lag, needle_energy, energies):
    """Normalised correlation of `needle` with `haystack` shifted by `lag`; `energies` are
    prefix sums of the haystack's squares."""
    window = energies[lag + len(needle)] - energies[lag]
    if window <= 0 or needle_energy <= 0:
        return 0.0
    products = sum(map(operator.mul, needle, haystack[lag:lag + len(needle)]))
    return products / (needle_energy * window) ** 0.5


def prefix_squares(values):
    sums = [0]
    for v in values:
        sums.append(sums[-1] + v * v)
    return sums


def best_correlation(needle, haystack, lags):
    needle_energy = sum(v * v for v in needle)
    energies = prefix_squares(haystack)
    return max(((correlation(needle, haystack, lag, needle_energy, energies), lag)
                for lag in lags), default=(0.0, 0))


def decimate(values, factor):
    return [sum(values[i:i + factor]) / factor for i in range(0, len(values) - factor + 1, factor)]


def locate(needle, haystack, coarse=8, candidates=3):
    """Where `needle` fits best in `haystack`: (correlation, sample offset). The search
    runs on decimated audio first, then sample by sample around its best candidates."""
    if len(haystack) < len(needle):
        return 0.0, 0
    small, big = decimate(needle, coarse), decimate(haystack, coarse)
    small_energy = sum(v * v for v in small)
    energies = prefix_squares(big)
    scores = sorted(((correlation(small, big, lag, small_energy, energies), lag)
                     for lag in range(len(big) - len(small) + 1)), reverse=True)
    chosen = []
    for _, lag in scores:
        if all(abs(lag - other) > 40 for other in chosen):
            chosen.append(lag)
        if len(chosen) == candidates:
            break
    best = (0.0, 0)
    for lag in chosen:
        fine = range(max(0, lag * coarse - 2 * coarse),
                     min(len(haystack) - len(needle), lag * coarse + 2 * coarse) + 1)
        best = max(best, best_correlation(needle, haystack, fine))
    return best


def envelope(samples, hop):
    """Loudness (RMS over ENVELOPE_WINDOW frames) every `hop` frames."""
    squares = prefix_squares(samples)
    return [((squares[i + ENVELOPE_WINDOW] - squares[i]) / ENVELOPE_WINDOW) ** 0.5
            for i in range(0, len(samples) - ENVELOPE_WINDOW + 1, hop)]


def pearson(a, b):
    mean_a, mean_b = sum(a) / len(a), sum(b) / len(b)
    da, db = [v - mean_a for v in a], [v - mean_b for v in b]
    spread = (sum(v * v for v in da) * sum(v * v for v in db)) ** 0.5
    return sum(map(operator.mul, da, db)) / spread if spread else 0.0


def envelope_match(needle, haystack, first, last):
    """Best correlation of a piece's envelope (a value every PIECE_HOP frames) with that of
    a longer stretch (every FINE_HOP frames) placed from frame `first` to `last` into it;
    (correlation, frame offset)."""
    every = PIECE_HOP // FINE_HOP
    span = every * (len(needle) - 1) + 1
    steps = range(max(0, first // FINE_HOP), min(len(haystack) - span, last // FINE_HOP) + 1)
    correlation_, step = max(((pearson(needle, haystack[i:i + span:every]), i) for i in steps),
                             default=(0.0, 0))
    return correlation_, step * FINE_HOP


class KeyLog:
    """XcbKeyClient's window: takes the focus and logs the key presses it receives."""

    def __init__(self, env):
        self.process = subprocess.Popen([KEY_CLIENT[0], "window"], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.split())
        self.lines.put(None)

    def next_line(self, seconds_=10):
        try:
            line = self.lines.get(timeout=seconds_)
        except queue.Empty:
            line = None
        if line is None:
            raise AssertionError("the key log window gave no line")
        return line

    def close(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.reader.join(timeout=5)
        self.process.stdout.close()


class ReadAloudTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-read-aloud-"

    def setUp(self):
        super().setUp()
        self.audio = AudioOutput(os.path.join(self.work, "output.raw"))
        self.env["SDL_AUDIODRIVER"] = "disk"
        self.env["SDL_DISKAUDIOFILE"] = self.audio.path
        self.env.pop("SDL_DISKAUDIODELAY", None)  # real-time pace

    # --- the hot keys and the reading ---------------------------------------------------

    def test_hot_keys_read_pause_continue_and_type_while_another_window_has_the_focus(self):
        self.read_pause_continue_stop_type()

    def test_ctrl_a_held_by_another_client_before_start_up(self):
        self.start_with_ctrl_a_held_elsewhere()

    def read_pause_continue_stop_type(self):
        self.open_program_with_script()
        self.check_output_format_while_idle()
        log = self.focus_key_log()

        # Ctrl+A: speech reaches the output.
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        first = self.wait_for_sound(pressed, "speech after Ctrl+A")
        self.wait_for_output(first + byte_count(HEARD_SECONDS), "speech to play")

        # Ctrl+Z: the output goes on with silence only.
        self.xdotool("key", "ctrl+z")
        paused = self.quiet_after("Ctrl+Z")
        heard_end = self.audio.last_sound(first, paused)
        self.assertGreater(heard_end - first, byte_count(HEARD_SECONDS / 2),
                           "speech played before the pause")

        # Ctrl+A again: the speech continues.
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        resumed = self.wait_for_sound(pressed, "speech after the second Ctrl+A")
        self.wait_for_output(resumed + byte_count(2 * PIECE_SECONDS), "continued speech")

        # A real click on "结束": silence again.
        self.click_stop(log)
        self.quiet_after("the click on 结束")

        # After 结束 a new reading starts from the beginning of the script: it is the
        # reference for what the first reading said, without pause, in order.
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        again = self.wait_for_sound(pressed, "speech of a new reading after 结束")
        self.wait_for_output(again + (heard_end - first) + byte_count(2.5), "the new reading")
        self.click_stop(log)
        self.quiet_after("the second click on 结束")
        self.check_continued_where_paused(first, heard_end, resumed, again)
        self.check_stereo_speech()

        self.check_balloon_over_read_button(lines=1)
        self.check_ctrl_q_types()
        self.assertEqual(self.letters_until_marker(log), [],
                         "a hot key reached the window that has the focus")
        log.close()

    def start_with_ctrl_a_held_elsewhere(self):
        holder = subprocess.Popen([HOLDER[0], "1:65"], env=self.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(self.end_holder, holder)
        lines = queue.Queue()

        def forward():
            for line in holder.stdout:
                lines.put(line.strip())

        threading.Thread(target=forward, daemon=True).start()
        self.assertEqual(self.next_line(lines), "registered 33001", "the other client's grab")
        self.assertEqual(self.next_line(lines), "ready")

        self.open_program_with_script(on_start=self.check_notice_at_read_button)
        self.check_ctrl_q_types()

        # Ctrl+A goes to the client that holds it; the program does not read.
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        self.assertEqual(self.next_line(lines), "hotkey 33001",
                         "Ctrl+A did not reach the client that holds it")
        self.wait_for_output(pressed + byte_count(QUIET_SECONDS), "output after Ctrl+A")
        self.assertLessEqual(self.audio.loudest(pressed, self.audio.size()), SILENCE,
                             "the program read although Ctrl+A belongs to another client")
        # The tip over 语音 adds a line saying that another program holds its key.
        self.check_balloon_over_read_button(lines=2)
        self.assertIsNone(self.program.poll(), "the program ended")

    def test_clearing_the_script_while_it_is_read_ends_neither_the_program_nor_the_reading(self):
        self.open_program_with_script()
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        first = self.wait_for_sound(pressed, "speech after Ctrl+A")
        self.click_client(*CLEAR_BUTTON)
        self.wait_until(lambda: self.editor("cleared").spread((0, 0, 740, 420)) <= 5,
                        "the cleared editor")
        # The second sentence begins about 5 s in: its mark is looked for in the empty editor.
        past = first + byte_count(12)
        self.wait_until(lambda: self.program.poll() is not None or self.audio.size() >= past,
                        "the reading past its second sentence", 30)
        self.assertIsNone(self.program.poll(), "the program ended")
        self.assertIsNotNone(self.audio.first_sound(first + byte_count(10), first + byte_count(12)),
                             "the reading ended")

    def test_reading_sounds_like_the_exported_narration_resampled_by_sox(self):
        reference = self.narration_at_device_rate(SENTENCE)
        sound = [i for i, s in enumerate(reference) if abs(s) > SILENCE]
        reference = reference[sound[0]:sound[-1] + 1]

        self.open_program_with_script(SENTENCE)
        pressed = self.audio.size()
        self.click_client(*READ_BUTTON)
        first = self.wait_for_sound(pressed, "speech after a click on 语音")
        margin = byte_count(ALIGN_SECONDS)
        self.wait_for_output(first + FRAME * len(reference) + margin, "the reading")
        heard = self.audio.left(first - margin, first + FRAME * len(reference) + margin)
        match, lag = locate(reference, heard)
        self.assertGreaterEqual(match, FIDELITY, "the reading is not the exported narration "
                                "(correlation %.4f at %+.1f ms)"
                                % (match, (lag - margin // FRAME) * 1000 / RATE))
        print("reading against sox's conversion: correlation %.6f" % match, file=sys.stderr)

    def test_the_mark_follows_the_sentence_heard_in_a_long_script_and_holds_at_a_pause(self):
        self.lines = lines = long_script()
        script = "\n".join(lines) + "\n"
        with open(os.path.join(self.work, "long.txt"), "w", encoding="utf-8") as f:
            f.write(script)
        # The sentences' times in the audio, from the export of the same script.
        export = subprocess.Popen(
            [PROGRAM[0], "--export-narration", "long.txt", "long.wav"], cwd=self.work,
            env={k: v for k, v in os.environ.items() if k != "DISPLAY"},
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(export.kill)
        # After the paste the end of the script is in view: the mark must bring the
        # sentence being heard into it.
        self.open_program_with_script(script)
        # Done before the reading, which then has the machine to itself.
        cues, lead = self.exported_cues(export, lines)
        pressed = self.audio.size()
        self.xdotool("key", "ctrl+a")
        first = self.wait_for_sound(pressed, "speech after Ctrl+A")
        # Output sizes are turned into seconds of the reading at the end: (mark width,
        # output sizes before and after the look, output written while paused).
        looks = self.look_at_mark(first + byte_count(FOLLOWED_SECONDS), 0)

        # Ctrl+Z: silence, and the mark stays on the sentence the pause fell in.
        before = self.audio.size()
        self.xdotool("key", "ctrl+z")
        paused = self.audio.size()
        self.quiet_after("Ctrl+Z")
        held = (self.mark_band(self.editor("paused")), before, paused, 0)

        # Ctrl+A: the reading goes on from there, the pause taking no time of it.
        self.xdotool("key", "ctrl+a")
        hold = self.audio.size() - paused
        resumed = self.wait_for_sound(paused + hold, "speech after the second Ctrl+A")
        looks += self.look_at_mark(resumed + byte_count(FOLLOWED_SECONDS), hold)

        begin = first - byte_count(lead)  # where the reading's audio starts in the output
        spans = [(seconds(before - begin - gap), seconds(after - begin - gap))
                 for _, before, after, gap in looks + [held]]
        marked = [self.check_mark(cues, look[0], *span)
                  for look, span in zip(looks + [held], spans)]
        # When a new sentence's mark appeared, from the sentence's start: after the last
        # screenshot showing the one before, before the end of the first showing it.
        changes = ["%.0f..%.0f" % (1000 * max(0.0, spans[i][0] - cues[marked[i + 1]][0]),
                                   1000 * (spans[i + 1][1] - cues[marked[i + 1]][0]))
                   for i in range(len(looks) - 1)
                   if marked[i + 1] == marked[i] + 1 > 0 and looks[i][3] == looks[i + 1][3]]
        print("mark against the voice: %d screenshots (%.0f ms each) of sentences %s, paused "
              "on %d; each new sentence marked within %s ms of its start" % (
                  len(looks), 1000 * sum(b - a for a, b in spans) / len(spans),
                  sorted(set(marked)), marked[-1], changes), file=sys.stderr)

    # --- steps --------------------------------------------------------------------------

    def exported_cues(self, export, lines):
        """The export's cues, one per line of the script: [(start, end)] in seconds; and
        the silence before its first sound."""
        _, errors = export.communicate(timeout=120)
        self.assertEqual(export.returncode, 0, errors.decode())
        with open(os.path.join(self.work, "long.srt"), encoding="utf-8") as f:
            blocks = [block.splitlines() for block in f.read().strip().split("\n\n")]

        def clock(text):
            hours, minutes, rest = text.strip().split(":")
            return int(hours) * 3600 + int(minutes) * 60 + float(rest.replace(",", "."))

        self.assertEqual([block[2] for block in blocks], lines, "one cue per sentence")
        cues = [tuple(clock(t) for t in block[1].split("-->")) for block in blocks]
        with wave.open(os.path.join(self.work, "long.wav")) as w:
            rate = w.getframerate()
            samples = array.array("h", w.readframes(rate))
        if sys.byteorder == "big":
            samples.byteswap()
        lead = next(i for i, s in enumerate(samples) if abs(s) > SILENCE)
        return cues, lead / rate

    def look_at_mark(self, until, gap):
        """Screenshots of the mark until the output reaches `until`."""
        looks = []
        while not looks or self.audio.size() < until:
            before = self.audio.size()
            band = self.mark_band(self.editor("mark"))
            looks.append((band, before, self.audio.size(), gap))
        return looks

    def check_mark(self, cues, band, early, late):
        """The index of the marked sentence, which is one heard between `early` and `late`
        seconds into the reading, give or take MARK_LAG; -1 when nothing is marked yet at
        the start."""
        if band is None and early <= MARK_LAG:
            return -1
        self.assertIsNotNone(band, "no sentence marked %.2f s into the reading" % late)
        near = [k for k, (start, end) in enumerate(cues)
                if start <= late + MARK_LAG and end >= early - MARK_LAG]
        found = [k for k in near if abs(band - len(self.lines[k]) * GLYPH) <= GLYPH // 2]
        self.assertEqual(len(found), 1, "the mark (%d pixels: %d characters) is not on a "
                         "sentence heard %.2f..%.2f s into the reading: those are %s of %s "
                         "characters" % (band, round(band / GLYPH), early, late, near,
                                         [len(self.lines[k]) for k in near]))
        return found[0]

    def mark_band(self, shot):
        """Width in pixels of the one band of the mark's colour in a shot, or None."""
        colour = bytes(MARK)
        row_bytes = 3 * shot.width
        spans = {}
        for y in range(shot.height):
            row = shot.rgb[y * row_bytes:(y + 1) * row_bytes]
            xs = [i // 3 for i in range(0, row_bytes, 3) if row[i:i + 3] == colour] \
                if colour in row else []
            if len(xs) >= 4:
                spans[y] = (xs[0], xs[-1])
        if not spans:
            return None
        rows = sorted(spans)
        self.assertEqual(rows[-1] - rows[0] + 1, len(rows), "the mark is not one band: rows %s"
                         % rows)
        return max(r for _, r in spans.values()) - min(l for l, _ in spans.values()) + 1

    # --- steps --------------------------------------------------------------------------

    def narration_at_device_rate(self, text):
        """The left channel of `text`'s narration, exported by the program and converted
        to the device's format by sox."""
        with open(os.path.join(self.work, "sentence.txt"), "w", encoding="utf-8") as f:
            f.write(text)
        env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        export = subprocess.run([PROGRAM[0], "--export-narration", "sentence.txt",
                                 "narration.wav"], cwd=self.work, env=env, timeout=60,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.assertEqual(export.returncode, 0, export.stderr.decode())
        converted = os.path.join(self.work, "converted.wav")
        run(["sox", os.path.join(self.work, "narration.wav"), "-r", str(RATE), "-c", "2",
             "-b", "16", converted], timeout=30)
        with wave.open(converted) as w:
            self.assertEqual((w.getframerate(), w.getnchannels(), w.getsampwidth()),
                             (RATE, 2, 2))
            samples = array.array("h", w.readframes(w.getnframes()))
        if sys.byteorder == "big":
            samples.byteswap()
        return samples[0::2]

    def open_program_with_script(self, script=SCRIPT, on_start=None):
        window = self.start_program()
        self.origin = self.geometry(window)[:2]
        if on_start:
            on_start()
        self.paste_into_editor(script)
        self.wait_until(lambda: self.editor("script").spread((0, 0, 740, 420)) > 5,
                        "the pasted script")

    def focus_key_log(self, log=None):
        if log is None:
            log = KeyLog(self.env)
            self.addCleanup(log.close)
            kind, log.window = log.next_line()
            self.assertEqual(kind, "window")
            # Away from the program's window, which stays fully visible.
            self.xdotool("windowmove", "--sync", log.window, "1060", "680")
        self.xdotool("windowfocus", "--sync", log.window)
        self.assertEqual(int(self.xdotool("getwindowfocus").strip()), int(log.window))
        return log

    def click_stop(self, log):
        """A real click on "结束". The click gives the program the focus; it goes back to
        the other client's window."""
        self.click_client(*STOP_BUTTON)
        self.focus_key_log(log)

    def letters_until_marker(self, log):
        """The letter keys the focused window got before a plain b pressed now."""
        self.xdotool("key", "b")
        letters = []
        while True:
            line = log.next_line()
            if line[0] != "press":
                continue
            keysym, state = int(line[1], 16), int(line[2], 16) & 0x5  # Ctrl and Shift
            if (keysym, state) == (ord("b"), 0):
                return letters
            if keysym < 0x100:
                letters.append((chr(keysym), state))

    def check_output_format_while_idle(self):
        """Nothing plays yet, and idle output is digital silence (the pace at which the
        device is fed is measured by bench/read_aloud/read_aloud_bench.py)."""
        start_size = self.audio.size()
        self.wait_for_output(start_size + BYTES_PER_SECOND // 2,
                             "half a second of audio output to be written")
        self.assertEqual(self.audio.loudest(0, self.audio.size()), 0, "sound before any reading")

    def check_stereo_speech(self):
        """A mono reading reaches both channels alike: were the device format other than
        interleaved signed 16-bit stereo, the pairs read here would differ."""
        samples = self.audio.samples(0, self.audio.size())
        self.assertGreater(max(samples), SILENCE)
        self.assertTrue(samples[0::2] == samples[1::2], "left and right channels differ")

    def check_continued_where_paused(self, first, heard_end, resumed, again):
        heard = heard_end - first

        # Nothing heard before the pause comes back: within one reading the same stretch
        # of speech is the same samples, so a repeat would correlate near 1.
        piece = self.audio.left(resumed, resumed + byte_count(PIECE_SECONDS))
        repeat, lag = locate(piece, self.audio.left(first, heard_end + FRAME))
        self.assertLess(repeat, REPEAT, "the speech after continue repeats what was heard "
                        "%.2f s into the reading (correlation %.2f)" % (lag / RATE, repeat))

        # The second reading says the script from its start: there the continued speech
        # must be found right after what was heard. The engine's speech varies a little
        # from one reading to the next (pitch, pause lengths), so short pieces are
        # compared by their loudness over time.
        margin = byte_count(0.25)
        slack = byte_count(POSITION_SLACK) // FRAME
        reference = envelope(self.audio.left(again - margin, again + heard + byte_count(2.5)),
                             FINE_HOP)
        opening = envelope(self.audio.left(first, first + byte_count(PIECE_SECONDS)), PIECE_HOP)
        match, _ = envelope_match(opening, reference, margin // FRAME - slack,
                                  margin // FRAME + slack)
        self.assertGreater(match, ENVELOPE_MATCH, "a new reading after 结束 does not start "
                           "from the beginning of the script (correlation %.3f)" % match)

        continued = envelope(self.audio.left(resumed, resumed + byte_count(PIECE_SECONDS)),
                             PIECE_HOP)
        # Paused in a gap between words, the reading goes on with the rest of the gap.
        next_sound = self.audio.first_sound(again + heard + FRAME, again + heard + byte_count(2))
        self.assertIsNotNone(next_sound, "the new reading went silent after %.3f s"
                             % seconds(heard))
        match, _ = envelope_match(continued, reference, (margin + heard) // FRAME - slack,
                                  (next_sound - again + margin) // FRAME + slack)
        best, offset = envelope_match(continued, reference, 0, len(reference) * FINE_HOP)
        self.assertGreater(match, ENVELOPE_MATCH, "the speech after continue is not what "
                           "follows the %.3f s heard (correlation %.3f); it fits best %.3f s "
                           "into the script (correlation %.3f)" % (
                               seconds(heard), match, seconds(offset * FRAME - margin), best))

    def check_notice_at_read_button(self):
        """A key refused at start is said once, without hovering, in a balloon at its
        button that goes by itself; no box waits for an answer."""
        main = self.xdotool("search", "--onlyvisible", "--name", "Orvane").split()
        notice = self.wait_until(lambda: self.visible_windows() - set(main),
                                 "the notice about Ctrl+A")
        self.assertEqual(len(notice), 1, "one notice")
        left, top, _, _ = self.geometry(notice.pop())
        x, y = self.origin[0] + READ_BUTTON[0], self.origin[1] + 36  # under 语音's middle
        self.assertLess(abs(left + 16 - x) + abs(top - y), 12, "the notice points at 语音")
        self.wait_until(lambda: not self.visible_windows() - set(main), "the notice to go")

    def check_balloon_over_read_button(self, lines):
        before = self.visible_windows()
        x, y = self.origin[0] + READ_BUTTON[0], self.origin[1] + READ_BUTTON[1]
        balloon = None
        for attempt in range(3):
            # From outside the button, so that it sees the pointer arrive and move.
            self.xdotool("mousemove", "--sync", str(x), str(y + 200))
            self.xdotool("mousemove", "--sync", str(x - 2 + attempt), str(y))
            self.xdotool("mousemove", str(x - 1 + attempt), str(y))
            deadline = time.monotonic() + 2
            while balloon is None and time.monotonic() < deadline:
                new = self.visible_windows() - before
                balloon = new.pop() if len(new) == 1 else None
                time.sleep(0.05)
            if balloon:
                break
        self.assertIsNotNone(balloon, "no balloon over 语音")
        info = run(["xwininfo", "-id", balloon], env=self.env).stdout.decode()
        self.assertIn("Override Redirect State: yes", info)
        left, top, width, height = self.geometry(balloon)
        # Its tail points at the cursor: the cursor is at its edge.
        cursor_x = min(max(x, left), left + width - 1)
        cursor_y = min(max(y, top), top + height - 1)
        self.assertLessEqual(max(abs(cursor_x - x), abs(cursor_y - y)), 4,
                             "the balloon %s is not at the cursor %s" % ((left, top, width,
                                                                         height), (x, y)))
        # Below the tail (12 pixels) and inside the outline, the body holds dark text.
        body = (3, 14, width - 6, height - 17)
        tip = self.settled_shot("balloon", lambda s: self.dark_columns(s, body),
                                (left, top, width, height))
        columns = self.dark_columns(tip, body)
        self.assertTrue(columns and columns[-1] - columns[0] > width // 3,
                        "no line of text in the balloon (dark columns %s)" % columns)
        rows = self.dark_rows(tip, body)
        # Chinese glyphs fill their line from top to bottom: lines part at an empty row.
        found = sum(1 for i, y in enumerate(rows) if i == 0 or y - rows[i - 1] > 1)
        self.assertEqual(found, lines, "lines of text in the balloon (dark rows %s)" % rows)

    @staticmethod
    def dark_columns(shot, region):
        left, top, width, height = region
        return [x for x in range(left, left + width)
                if any(sum(shot.pixel(x, y)) < 3 * 100 for y in range(top, top + height))]

    @staticmethod
    def dark_rows(shot, region):
        left, top, width, height = region
        return [y for y in range(top, top + height)
                if any(sum(shot.pixel(x, y)) < 3 * 100 for x in range(left, left + width))]

    def check_ctrl_q_types(self):
        before = self.editor("before Ctrl+Q")
        self.xdotool("key", "ctrl+q")
        self.wait_until(lambda: self.differing(self.editor("after Ctrl+Q"), before) > CARET_PIXELS,
                        "the typing effect to change the editor")

    # --- waiting on the output and the screen -------------------------------------------

    def wait_for_output(self, size, what, seconds_=10):
        self.wait_until(lambda: self.audio.size() >= size, what, seconds_)

    def wait_for_sound(self, start, what):
        checked = [start]

        def sound():
            end = self.audio.size()
            found = self.audio.first_sound(checked[0], end)
            checked[0] = end
            return found

        return self.wait_until(sound, what, SPEECH_SECONDS)

    def quiet_after(self, what):
        """Waits for a command to settle (the output is silent for SETTLE_SECONDS; a busy
        machine may take longer to get there), then watches the output: it must keep
        being written, with silence only. Returns the offset where the watch began."""
        since = self.audio.size()

        def settled():
            end = self.audio.size() // FRAME * FRAME
            begin = end - byte_count(SETTLE_SECONDS)
            return begin >= since and self.audio.loudest(begin, end) <= SILENCE

        self.wait_until(settled, "silence after " + what)
        start = self.audio.size()
        self.wait_for_output(start + byte_count(QUIET_SECONDS), "output after " + what)
        loudest = self.audio.loudest(start, self.audio.size())
        self.assertLessEqual(loudest, SILENCE, "sound (peak %d) after %s" % (loudest, what))
        return start

    def editor(self, label):
        x, y, w, h = EDITOR_INSIDE
        return self.shot(label, (self.origin[0] + x, self.origin[1] + y, w, h))

    @staticmethod
    def differing(a, b):
        return sum(1 for p, q in zip(a.pixels((0, 0, a.width, a.height)),
                                     b.pixels((0, 0, b.width, b.height))) if p != q)

    @staticmethod
    def next_line(lines, seconds_=10):
        try:
            return lines.get(timeout=seconds_)
        except queue.Empty:
            return None

    def end_holder(self, holder):
        if holder.poll() is None:
            holder.stdin.close()
            try:
                holder.wait(timeout=5)
            except subprocess.TimeoutExpired:
                holder.kill()
                holder.wait()
        holder.stdout.close()


if __name__ == "__main__":
    if len(sys.argv) > 3:
        KEY_CLIENT[0] = os.path.abspath(sys.argv.pop(2))
        HOLDER[0] = os.path.abspath(sys.argv.pop(2))
    main()

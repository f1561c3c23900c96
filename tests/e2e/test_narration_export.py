"""orvane-notepad --export-narration SCRIPT OUT.wav without a display: the WAV's length
against espeak-ng reading the same text, the SRT parsed by ffprobe (one cue per
sentence, in order, none longer than about 7 s, the last ending with the audio)."""
import array
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import wave

PROGRAM = os.path.abspath(sys.argv[1])
SENTENCES = [
    "今天我们来学习如何使用这个记事本。",
    "首先，打开一个文件，然后点击朗读按钮！",
    "你会听到声音吗？",
    # Long: cut at its clauses into cues of at most about 7 s.
    "春天来了，山坡上的小草悄悄探出头，河边的柳树抽出嫩绿枝条，在微风中轻轻摇摆，"
    "孩子们放下书包跑到田野里放风筝，笑声传得很远，农民伯伯扛着锄头走向田间。",
    "最后一句没有标点",
]
LONG_SENTENCE = 3


def seconds(path):
    return float(subprocess.check_output(["soxi", "-D", path]).decode())


def cues(srt):
    out = subprocess.check_output(
        ["ffprobe", "-v", "error", "-show_entries", "packet=pts_time,duration_time",
         "-of", "csv=p=0", srt]).decode().split()
    return [(float(a), float(a) + float(b)) for a, b in (line.split(",") for line in out)]


def median_pitch(path, frames=40):
    """The voice's pitch in Hz: the median best autocorrelation lag (60-500 Hz) of the
    loudest 30 ms frames, at 8 kHz."""
    with wave.open(path) as w:
        rate = w.getframerate() // 2
        x = array.array("h", w.readframes(w.getnframes()))[::2]
    n = rate * 3 // 100
    blocks = [x[i:i + n] for i in range(0, len(x) - n, n)]
    loud = sorted(blocks, key=lambda b: -sum(v * v for v in b))[:frames]
    lags = range(rate // 500, rate // 60)
    pitches = sorted(rate / max(lags, key=lambda lag: sum(b[i] * b[i + lag]
                                                          for i in range(n - lag)))
                     for b in loud)
    return pitches[len(pitches) // 2]


def main():
    work = tempfile.mkdtemp(prefix="narration-")
    script = os.path.join(work, "script.txt")
    with open(script, "w", encoding="utf-8") as f:
        f.write("\r\n".join(SENTENCES) + "\r\n")
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    # Settings of its own: the voice is what this test stores.
    env["XDG_CONFIG_HOME"] = tempfile.mkdtemp(prefix="narration-config-")
    result = subprocess.run([PROGRAM, "--export-narration", "script.txt", "out.wav"], cwd=work,
                            env=env, stderr=subprocess.PIPE, timeout=120)
    progress = result.stderr.decode()
    assert result.returncode == 0, progress
    assert progress.strip().splitlines()[-1].endswith("100%"), progress

    wav = os.path.join(work, "out.wav")
    info = subprocess.check_output(["soxi", wav]).decode()
    assert "Sample Rate    : 16000" in info and "Channels       : 1" in info, info
    assert "16-bit Signed Integer PCM" in info, info
    # The reading voice (speed 4, volume 10) on espeak-ng's command line; Mandarin only,
    # since the engine reads Latin words with an English voice.
    reference = os.path.join(work, "espeak.wav")
    subprocess.run(["espeak-ng", "-v", "cmn-latn-pinyin", "-s", "152", "-a", "100", "-f", script,
                    "-w", reference], check=True, timeout=120)
    length, expected = seconds(wav), seconds(reference)
    assert abs(length - expected) <= 0.01 * expected, (length, expected)

    timed = cues(os.path.join(work, "out.srt"))
    with open(os.path.join(work, "out.srt"), encoding="utf-8") as f:
        texts = ["".join(block.splitlines()[2:]) for block in f.read().strip().split("\n\n")]
    assert len(timed) == len(texts), (timed, texts)
    for (start, end), (next_start, _) in zip(timed, timed[1:]):
        assert start < end <= next_start + 0.001, timed
    assert all(end - start <= 7.5 for start, end in timed), timed
    assert timed[0][0] == 0 and abs(timed[-1][1] - length) <= 0.1, (timed[-1], length)
    # Every sentence is one cue, except the long one, which is the cues between.
    long_cues = len(texts) - (len(SENTENCES) - 1)
    assert long_cues >= 2, texts
    expected_texts = (SENTENCES[:LONG_SENTENCE] + ["".join(texts[LONG_SENTENCE:LONG_SENTENCE +
                                                                   long_cues])] +
                      SENTENCES[LONG_SENTENCE + 1:])
    got = texts[:LONG_SENTENCE] + ["".join(texts[LONG_SENTENCE:LONG_SENTENCE + long_cues])] + \
        texts[LONG_SENTENCE + long_cues:]
    assert got == expected_texts, got

    # A script that cannot be read: a clear message and no files.
    bad = subprocess.run([PROGRAM, "--export-narration", "missing.txt", "none.wav"], cwd=work,
                         env=env, stderr=subprocess.PIPE, timeout=60)
    assert bad.returncode != 0 and b"missing.txt" in bad.stderr, bad.stderr
    assert not os.path.exists(os.path.join(work, "none.wav"))
    assert sorted(os.listdir(work)) == ["espeak.wav", "out.srt", "out.wav", "script.txt"], \
        os.listdir(work)
    other_formats(work, env, length)
    stops_cleanly(work, env)
    voice_settings(script, env, length, wav)
    print("narration export: %.2f s of audio, %d cues" % (length, len(timed)))


def other_formats(work, env, wav_length):
    """MP3 with WebVTT, Opus with LRC: what ffprobe reads is what was asked for."""
    for audio, subtitles, codec in (("out.mp3", "out.vtt", "mp3"), ("out.opus", "out.lrc", "opus")):
        subprocess.run([PROGRAM, "--export-narration", "script.txt", audio, subtitles], cwd=work,
                       env=env, check=True, stderr=subprocess.DEVNULL, timeout=120)
        probe = subprocess.check_output(
            ["ffprobe", "-v", "error", "-show_entries", "stream=codec_name:format=duration",
             "-of", "default=noprint_wrappers=1", os.path.join(work, audio)]).decode()
        assert "codec_name=" + codec in probe, probe
        duration = float(probe.split("duration=")[1].split()[0])
        assert abs(duration - wav_length) < 0.2, (audio, duration, wav_length)
        timed = cues(os.path.join(work, subtitles))
        assert timed and timed[0][0] == 0 and abs(timed[-1][0] - wav_length) < 8, timed
        os.remove(os.path.join(work, audio))
        os.remove(os.path.join(work, subtitles))


def stops_cleanly(work, env):
    """SIGTERM mid-export, a FIFO as the script, an output that cannot be written."""
    folder = tempfile.mkdtemp(prefix="narration-stop-")
    with open(os.path.join(folder, "long.txt"), "w", encoding="utf-8") as f:
        f.write("".join(SENTENCES) * 200)
    export = subprocess.Popen([PROGRAM, "--export-narration", "long.txt", "long.wav"], cwd=folder,
                              env=env, stderr=subprocess.PIPE)
    export.stderr.readline()  # the first progress line: synthesis is under way
    export.terminate()
    assert export.wait(timeout=60) == 128 + signal.SIGTERM, export.returncode
    export.stderr.close()
    assert os.listdir(folder) == ["long.txt"], os.listdir(folder)

    os.mkfifo(os.path.join(folder, "fifo"))
    refused = subprocess.run([PROGRAM, "--export-narration", "fifo", "f.wav"], cwd=folder, env=env,
                             stderr=subprocess.PIPE, timeout=60)
    assert refused.returncode == 1 and b"fifo" in refused.stderr, refused.stderr

    unwritable = subprocess.run([PROGRAM, "--export-narration", "long.txt", "/proc/n.wav"],
                                cwd=folder, env=env, stderr=subprocess.PIPE, timeout=60)
    assert unwritable.returncode == 1, unwritable.stderr
    assert b"%" not in unwritable.stderr and b"/proc/n.wav" in unwritable.stderr, unwritable.stderr
    assert sorted(os.listdir(folder)) == ["fifo", "long.txt"], os.listdir(folder)


def voice_settings(script, env, default_length, default_wav):
    """The voice settings reach the export: speed 8, volume 6, pitch 7 and the third female
    variant sound as espeak-ng with the same values does: faster and higher than the default.
    A stored value that cannot be used is named, and its default speaks."""
    work = tempfile.mkdtemp(prefix="narration-voice-")
    settings = os.path.join(env["XDG_CONFIG_HOME"], "orvane-notepad", "orvane-notepad.conf")
    os.makedirs(os.path.dirname(settings), exist_ok=True)
    with open(settings, "w") as f:
        f.write("[voice]\nspeed=8\nvolume=6\npitch=7\nname=female3\n")
    voiced = subprocess.run([PROGRAM, "--export-narration", script, "voiced.wav"],
                            cwd=work, env=env, stderr=subprocess.PIPE, timeout=120)
    assert voiced.returncode == 0, voiced.stderr
    reference = os.path.join(work, "espeak-voiced.wav")
    subprocess.run(["espeak-ng", "-v", "cmn-latn-pinyin+f3", "-s", "265", "-a", "76", "-p", "70",
                    "-f", script, "-w", reference], check=True, timeout=120)
    voiced_wav = os.path.join(work, "voiced.wav")
    faster, expected = seconds(voiced_wav), seconds(reference)
    assert abs(faster - expected) <= 0.02 * expected, (faster, expected)
    assert faster < 0.75 * default_length, (faster, default_length)
    higher, expected = median_pitch(voiced_wav), median_pitch(reference)
    assert abs(higher - expected) <= 0.05 * expected, (higher, expected)
    assert higher > 1.5 * median_pitch(default_wav), (higher, median_pitch(default_wav))

    with open(settings, "w") as f:
        f.write("[voice]\nspeed=99\n")
    fallback = subprocess.run([PROGRAM, "--export-narration", script, "fallback.wav"],
                              cwd=work, env=env, stderr=subprocess.PIPE, timeout=120)
    assert fallback.returncode == 0, fallback.stderr
    assert b'voice/speed "99"' in fallback.stderr, fallback.stderr
    again = seconds(os.path.join(work, "fallback.wav"))
    assert abs(again - default_length) <= 0.01 * default_length, (again, default_length)


if __name__ == "__main__":
    # Every folder the test makes goes under one that is removed after a pass (kept to
    # look at after a failure).
    tempfile.tempdir = tempfile.mkdtemp(prefix="orvane-e2e-")
    main()
    shutil.rmtree(tempfile.tempdir, ignore_errors=True)

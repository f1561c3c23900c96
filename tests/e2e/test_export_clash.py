"""--export-narration refuses an output that is the script itself, however it is named
(the same name, the subtitle file of the audio, a link): status 1, one line naming the
clash, nothing written."""
import os
import shutil
import subprocess
import sys
import tempfile

PROGRAM = os.path.abspath(sys.argv[1])


def main():
    work = tempfile.mkdtemp(prefix="export-clash-")
    script = "今天我们来学习如何使用这个记事本。\r\n".encode("gb18030")
    for name in ("s.txt", "lesson.srt"):
        with open(os.path.join(work, name), "wb") as f:
            f.write(script)
    os.symlink("s.txt", os.path.join(work, "link.wav"))
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    for source, output, clash in (("s.txt", "s.txt", "s.txt"),
                                  ("lesson.srt", "lesson.wav", "lesson.srt"),
                                  ("s.txt", "link.wav", "link.wav")):
        before = sorted(os.listdir(work))
        result = subprocess.run([PROGRAM, "--export-narration", source, output], cwd=work,
                                env=env, stderr=subprocess.PIPE, timeout=60)
        lines = result.stderr.decode().strip().splitlines()
        assert result.returncode == 1, (source, output, result.returncode, lines)
        assert len(lines) == 1 and clash in lines[0], lines
        assert sorted(os.listdir(work)) == before, (before, os.listdir(work))
        for name in ("s.txt", "lesson.srt"):
            with open(os.path.join(work, name), "rb") as f:
                assert f.read() == script, name
    print("ok")


if __name__ == "__main__":
    # Every folder the test makes goes under one that is removed after a pass (kept to
    # look at after a failure).
    tempfile.tempdir = tempfile.mkdtemp(prefix="orvane-e2e-")
    main()
    shutil.rmtree(tempfile.tempdir, ignore_errors=True)

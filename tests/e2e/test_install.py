#!/usr/bin/env python3
"""The program as people install it: `cmake --install` into a prefix and the Debian
package unpacked with `dpkg -x`, each made read-only with a bind mount and started with a
file on the command line: the title names the file, "语音" reads aloud (sound reaches
SDL's disk driver), no error box, nothing is written under the prefix nor into the user's
cache. The package's copy has the desktop entry's window class and the installed icon,
and its save dialogs start in the documents folder, then where the last one was
confirmed, and write the encoding chosen in their type list. A portable copy in a read-only folder writes its libraries once into the per-user
cache. An upgrade replaces a library an earlier build wrote and keeps one the user
changed; a library of the user's without the needed function gives the run-time error
box, and an empty one is replaced (kept as NAME.damaged). The command line
answers without a display, and the desktop entry and AppStream file validate.

Mounting needs root (tests run as root); those cases are skipped otherwise.

Usage: test_install.py PATH_TO_ORVANE_NOTEPAD BUILD_FOLDER
"""

import array
import glob
import hashlib
import os
import shutil
import subprocess
import sys

from harness import PROGRAM, ProgramTestCase, main, run

BUILD = [""]
APP_ID = "example.orvane.Notepad"
LIBRARIES = ("bass.dll", "speex.dll", "msc.dll", "CameraDll.dll")
STAMP = "bundled-libraries.sha256"
CHECKED = "bundled-libraries.checked"  # what the last comparison found; may lag behind
READ_BUTTON = (604 + 11, 3 + 16)  # 按钮10 "语音"
SAVE_AS_BUTTON = (373 + 16, 3 + 16)  # 按钮4 "另存"
SAVE_AS_TITLE = "请输入欲另存到的文本文件名:"
SCRIPT = "你好，这是安装以后的第一次朗读。"
SILENCE = 16
SPEECH_SECONDS = 20


def can_mount():
    return os.geteuid() == 0 and shutil.which("unshare") and subprocess.run(
        ["unshare", "--mount", "true"], stderr=subprocess.DEVNULL).returncode == 0


def read_only(folder, command):
    """The command in a mount namespace of its own where folder is a read-only bind mount."""
    script = 'mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && shift && exec "$@"'
    return ["unshare", "--mount", "--", "sh", "-c", script, "sh", folder] + command


def snapshot(folder):
    """Every path under folder with its size, time and inode: any write shows."""
    found = {}
    for root, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(root, name)
            info = os.lstat(path)
            found[os.path.relpath(path, folder)] = (info.st_size, info.st_mtime_ns, info.st_ino)
    return found


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class InstallTest(ProgramTestCase):
    def setUp(self):
        super().setUp()
        self.cache = os.path.join(self.work, "cache")
        self.env["XDG_CACHE_HOME"] = self.cache
        self.audio = os.path.join(self.work, "audio.raw")
        self.env["SDL_AUDIODRIVER"] = "disk"
        self.env["SDL_DISKAUDIOFILE"] = self.audio
        self.script = os.path.join(self.work, "第一课.txt")
        with open(self.script, "wb") as f:
            f.write(SCRIPT.encode("gbk"))
        # A user of their own, whose documents folder has a name of its own.
        self.env["HOME"] = os.path.join(self.work, "home")
        self.env["XDG_CONFIG_HOME"] = os.path.join(self.work, "config")
        self.documents = os.path.join(self.env["HOME"], "文档")
        os.makedirs(self.documents)
        os.makedirs(self.env["XDG_CONFIG_HOME"])
        with open(os.path.join(self.env["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
            f.write('XDG_DOCUMENTS_DIR="$HOME/文档"\n')

    def test_installed_prefix_and_debian_package_run_read_only_and_write_nothing(self):
        if not can_mount():
            self.skipTest("needs root to mount")
        prefix = os.path.join(self.work, "prefix")
        run(["cmake", "--install", BUILD[0], "--prefix", prefix], timeout=120)
        for library in LIBRARIES:
            self.assertTrue(os.path.isfile(os.path.join(prefix, "lib/orvane-notepad", library)))
        self.check_read_only_run(prefix, "usr-local")

        package_folder = os.path.join(self.work, "package")
        run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD[0], "CPackConfig.cmake"),
             "-B", package_folder], timeout=300)
        packages = glob.glob(os.path.join(package_folder, "orvane-notepad_6.3_*.deb"))
        self.assertEqual(len(packages), 1, os.listdir(package_folder))
        depends = run(["dpkg-deb", "-f", packages[0], "Depends"]).stdout.decode()
        # libcurl and libsndfile are opened by soname: no binary names them for dpkg-shlibdeps.
        for needed in ("espeak-ng-data", "libespeak-ng1", "libqt6widgets6", "libsdl2", "libcurl4",
                       "libsndfile1"):
            self.assertIn(needed, depends)
        root = os.path.join(self.work, "unpacked")
        run(["dpkg", "-x", packages[0], root])
        for path in ("usr/share/applications/%s.desktop" % APP_ID,
                     "usr/share/metainfo/%s.metainfo.xml" % APP_ID,
                     "usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
                     "usr/share/icons/hicolor/16x16/apps/%s.png" % APP_ID,
                     "usr/share/icons/hicolor/256x256/apps/%s.png" % APP_ID,
                     "usr/share/man/man1/orvane-notepad.1.gz"):
            self.assertTrue(os.path.isfile(os.path.join(root, path)), path)
        self.assertIn("qt6-translations-l10n",
                      run(["dpkg-deb", "-f", packages[0], "Recommends"]).stdout.decode())
        self.stop_program()
        window = self.check_read_only_run(os.path.join(root, "usr"), "package")
        self.check_window_class_and_icon(window, os.path.join(root, "usr"))
        self.check_save_dialogs(window)

    def test_portable_copy_in_a_read_only_folder_writes_its_libraries_once_into_the_cache(self):
        if not can_mount():
            self.skipTest("needs root to mount")
        folder = os.path.join(self.work, "portable")
        os.mkdir(folder)
        shutil.copy2(self.program_path(), folder)
        program = os.path.join(folder, "orvane-notepad")
        window = self.start_program(read_only(folder, [program, self.script]))
        self.origin = self.geometry(window)[:2]
        written = self.wait_until(lambda: self.cache_libraries(), "the libraries in the cache")
        self.assertEqual(os.listdir(folder), ["orvane-notepad"])
        self.read_aloud()
        self.stop_program()

        before = snapshot(self.cache)
        self.start_program(read_only(folder, [program]))
        self.assertEqual(snapshot(self.cache), before, "the second start wrote nothing")
        self.assertEqual(self.cache_libraries(), written)

    def test_upgrade_replaces_what_an_earlier_build_wrote_and_keeps_what_the_user_changed(self):
        folder = os.path.join(self.work, "program")
        os.mkdir(folder)
        shutil.copy2(self.program_path(), folder)
        program = os.path.join(folder, "orvane-notepad")
        built = os.path.join(BUILD[0], "components")
        with open(os.path.join(built, "CameraDll.dll"), "rb") as f:
            changed = f.read() + b"patched by the user"  # still a library
        older = b"msc.dll of an older build"
        self.write(folder, "msc.dll", older)
        self.write(folder, "CameraDll.dll", changed)
        self.write(folder, STAMP, ("%s  msc.dll\n%s  CameraDll.dll\n" % (
            hashlib.sha256(older).hexdigest(), hashlib.sha256(b"as written").hexdigest())
        ).encode())

        self.start_program([program])
        self.wait_until(lambda: all(os.path.exists(os.path.join(folder, n)) for n in LIBRARIES),
                        "the libraries in the program's folder")
        for name in ("msc.dll", "speex.dll", "bass.dll"):
            self.assertEqual(sha256(os.path.join(folder, name)),
                             sha256(os.path.join(built, name)), name)
        with open(os.path.join(folder, "CameraDll.dll"), "rb") as f:
            self.assertEqual(f.read(), changed)
        with open(os.path.join(folder, STAMP)) as f:
            self.assertIn("%s  msc.dll" % sha256(os.path.join(built, "msc.dll")), f.read())
        self.stop_program()

        # A library of the user's own without the engine's functions stays: the speech
        # engine's first use (the first reading) ends the program with the run-time error
        # box. An empty bass.dll is no library at all: it is put aside and the built one
        # written.
        with open(os.path.join(built, "speex.dll"), "rb") as f:
            users = f.read()
        self.write(folder, "msc.dll", users)
        self.write(folder, "bass.dll", b"")
        script = os.path.join(self.work, "first-reading.txt")
        self.write(self.work, "first-reading.txt", SCRIPT.encode("gbk"))
        self.start_program([program, script])
        self.xdotool("key", "ctrl+a")

        def error_box():
            found = self.xdotool("search", "--onlyvisible", "--name", "^错误$", check=False)
            return found.split()[0] if found.strip() else None

        box = self.wait_until(error_box, "the run-time error box")
        self.xdotool("windowfocus", "--sync", box, check=False)
        self.xdotool("key", "Return")
        self.assertEqual(self.program.wait(timeout=10), 255)
        with open(os.path.join(folder, "msc.dll"), "rb") as f:
            self.assertEqual(f.read(), users)
        self.assertEqual(sha256(os.path.join(folder, "bass.dll")),
                         sha256(os.path.join(built, "bass.dll")))
        self.assertEqual(os.path.getsize(os.path.join(folder, "bass.dll.damaged")), 0)

    def test_command_line_without_display_and_desktop_files_validate(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "QT_QPA_PLATFORM")}
        version = run([self.program_path(), "--version"], env=env)
        self.assertEqual(version.stdout.decode(), "orvane-notepad 6.3\n")
        self.assertIn("Usage:", run([self.program_path(), "--help"], env=env).stdout.decode())
        misuse = run([self.program_path(), "--no-such-option"], env=env, check=False)
        self.assertEqual(misuse.returncode, 2)
        self.assertIn("Usage:", misuse.stderr.decode())
        headless = run([self.program_path(), self.script], env=env, check=False)
        self.assertEqual(headless.returncode, 1)
        self.assertEqual(headless.stderr.decode().count("\n"), 1, headless.stderr)
        self.assertIn("DISPLAY", headless.stderr.decode())

        data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../data")
        desktop = run(["desktop-file-validate", os.path.join(data, APP_ID + ".desktop")],
                      check=False)
        self.assertEqual(desktop.returncode, 0, desktop.stdout + desktop.stderr)
        self.assertEqual(desktop.stdout, b"", "warnings too")
        metainfo = run(["appstreamcli", "validate", "--no-net",
                        os.path.join(data, APP_ID + ".metainfo.xml")], check=False)
        self.assertEqual(metainfo.returncode, 0, metainfo.stdout + metainfo.stderr)

    # --- helpers ---------------------------------------------------------------------

    @staticmethod
    def program_path():
        return PROGRAM[0]

    def check_read_only_run(self, prefix, label):
        before = snapshot(prefix)
        window = self.start_program(read_only(prefix, [os.path.join(prefix, "bin/orvane-notepad"),
                                                      self.script]))
        self.origin = self.geometry(window)[:2]
        self.wait_until(lambda: self.xdotool("getwindowname", window).startswith(self.script),
                        "the title to name the file (%s)" % label)
        self.read_aloud()
        self.assertEqual(snapshot(prefix), before, "nothing written under the prefix")
        self.assertFalse(os.path.exists(os.path.join(self.cache, "orvane-notepad")),
                         "the installed libraries were used")
        return window

    def check_window_class_and_icon(self, window, prefix):
        """The window's class is the desktop entry's StartupWMClass, and its icon is the
        installed icon (the 128-pixel size compared pixel by pixel)."""
        wm_class = run(["xprop", "-id", window, "-notype", "WM_CLASS"], env=self.env)
        instance_and_class = wm_class.stdout.decode().split("=", 1)[1].strip()
        self.assertEqual(instance_and_class, '"orvane-notepad", "orvane-notepad"')
        with open(os.path.join(prefix, "share/applications", APP_ID + ".desktop")) as f:
            self.assertIn("StartupWMClass=orvane-notepad\n", f.read())

        # As numbers: xprop draws icons as text pictures by default.
        raw = run(["xprop", "-id", window, "-notype", "-f", "_NET_WM_ICON", "32c", " = $0+\n",
                   "_NET_WM_ICON"], env=self.env)
        values = [int(v) for v in raw.stdout.decode().split("=", 1)[1].replace(",", " ").split()]
        icons, i = {}, 0
        while i + 2 <= len(values):
            width, height = values[i], values[i + 1]
            icons[(width, height)] = values[i + 2:i + 2 + width * height]
            i += 2 + width * height
        self.assertIn((128, 128), set(icons), "icon sizes: %s" % sorted(icons))
        png = os.path.join(prefix, "share/icons/hicolor/128x128/apps", APP_ID + ".png")
        rgba = run(["convert", png, "-depth", "8", "rgba:-"]).stdout
        worst = 0
        for n, argb in enumerate(icons[(128, 128)]):
            r, g, b, a = rgba[4 * n:4 * n + 4]
            shown = ((argb >> 16) & 255, (argb >> 8) & 255, argb & 255, argb >> 24)
            expected = (r, g, b, a) if a else (shown[0], shown[1], shown[2], 0)
            worst = max(worst, *(abs(p - q) for p, q in zip(shown, expected)))
        self.assertLessEqual(worst, 3, "the window's icon is the installed one")

    def check_save_dialogs(self, window):
        """An installed copy's first save dialog starts in the documents folder, later
        ones where the last one was confirmed; the type list chooses the encoding."""
        elsewhere = os.path.join(self.work, "elsewhere")
        os.mkdir(elsewhere)
        first = os.path.join(self.documents, "first.txt")
        self.save_as("first.txt", "Down")  # GBK -> UTF-8
        self.wait_until(lambda: os.path.exists(first), "first.txt in the documents folder")
        with open(first, "rb") as f:
            self.assertEqual(f.read(), SCRIPT.encode("utf-8"))
        self.wait_until(lambda: self.xdotool("getwindowname", window).startswith(first),
                        "the title to name the file saved")
        second = os.path.join(elsewhere, "second.txt")
        self.save_as(second, "Up")  # UTF-8 -> GBK
        # The save is over once the title names it; a click on 另存 before that is ignored.
        self.wait_until(lambda: self.xdotool("getwindowname", window).startswith(second),
                        "the title to name the second file")
        self.save_as("third.txt", None)  # the folder used last, the encoding as it is
        third = os.path.join(elsewhere, "third.txt")
        self.wait_until(lambda: os.path.exists(third), "third.txt where second.txt went")
        for name in ("second.txt", "third.txt"):
            with open(os.path.join(elsewhere, name), "rb") as f:
                self.assertEqual(f.read(), SCRIPT.encode("gbk"), name)

    def save_as(self, name, type_key):
        """另存: the type list stepped with type_key (None: left), the name typed."""
        self.click_client(*SAVE_AS_BUTTON)
        dialog = self.wait_until(lambda: self.windows_named("^%s$" % SAVE_AS_TITLE),
                                 "the save dialog").pop()
        self.xdotool("windowfocus", "--sync", dialog, check=False)
        # Into the type list and back: the name field then has its text selected.
        self.xdotool("key", "alt+t", *([type_key] if type_key else []), "alt+n")
        self.xdotool("type", "--delay", "10", name)
        self.xdotool("key", "Return")
        self.wait_until(lambda: not self.windows_named("^%s$" % SAVE_AS_TITLE),
                        "the save dialog to close")

    def read_aloud(self):
        self.click_client(*READ_BUTTON)

        def heard():
            self.assertIsNone(self.program.poll(), "the program ended (an error box?)")
            if not os.path.exists(self.audio):
                return False
            samples = array.array("h")
            with open(self.audio, "rb") as f:
                data = f.read()
            samples.frombytes(data[:len(data) // 2 * 2])
            return any(abs(s) > SILENCE for s in samples)

        self.wait_until(heard, "speech at the audio output", seconds=SPEECH_SECONDS)
        self.assertEqual(self.xdotool("search", "--onlyvisible", "--name", "^错误$",
                                      check=False).strip(), "", "no error box")

    def cache_libraries(self):
        folders = glob.glob(os.path.join(self.cache, "orvane-notepad", "*"))
        if len(folders) != 1:
            return None
        present = sorted(n for n in os.listdir(folders[0]) if n != CHECKED)
        return present if present == sorted(LIBRARIES + (STAMP,)) else None

    def stop_program(self):
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
            self.program.wait(timeout=10)
        if os.path.exists(self.audio):
            os.remove(self.audio)

    @staticmethod
    def write(folder, name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    if len(sys.argv) > 2:
        BUILD[0] = os.path.abspath(sys.argv.pop(2))
    main()

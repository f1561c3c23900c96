#!/usr/bin/env python3
"""The check for a newer version at start-up, in the real program on its own Xvfb.

Each run starts the program inside network and mount namespaces of its own
(online_namespace.sh under `unshare --net --mount`): a veth pair with a default route
makes the namespace look online, a private hosts file points the forum host at
127.0.0.1, and a real HTTP server there stands in for the forum. Nothing leaves the
namespace. `BROWSER` is a script that records what it is asked to open.

Needs root and unshare (skipped otherwise), ip (iproute2), Xvfb, xdotool, x11-utils.

Usage: test_online.py PATH_TO_ORVANE_NOTEPAD
"""

import os
import shutil
import signal
import subprocess
import sys
import time
import unittest

from harness import HOME_PAGE, PROGRAM, PROGRAM_NAME, ProgramTestCase, main, run

HERE = os.path.dirname(os.path.abspath(__file__))
NAMESPACE_SCRIPT = os.path.join(HERE, "online_namespace.sh")

RELEASE_PATH = "/thread-11379-1-1.html"
RELEASE_PAGE = "http://" + HOME_PAGE + RELEASE_PATH
# As the window manager is given them: each line break of the title one space.
INITIAL_TITLE = PROGRAM_NAME + " " + HOME_PAGE
BANNER = PROGRAM_NAME + " V/Q：800163063 微博@Orvane录制"
CUSTOM_EDITION_ITEM = 3  # 定制软件专版
CUSTOM_EDITION_PAGE = "http://" + HOME_PAGE + "/thread-12398-1-1.html"
# Case and all, as the program writes it.
CONTACT_LINK = ("tencent://AddContact/?fromId=45&fromSubId=1&subcmd=all&uin=800163063"
                "&website=" + HOME_PAGE)
UPDATE_CAPTION = "有更新！"
OFFLINE_CAPTION = "语音可能不可用！"

FETCH_TIME_OUT = 2      # seconds: the program's limit for the whole fetch, rounded up
START_UP_ALLOWANCE = 4  # seconds for the rest of start-up on a busy machine
WAIT_SECONDS = 10
ABOUT_ITEM, ABOUT_PATH = 4, "/thread-9282-1-1.html"  # "关于Orvane" in the menu, its page

PROXY_VARIABLES = ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                   "ALL_PROXY", "no_proxy", "NO_PROXY")
DESKTOP_VARIABLES = ("DEFAULT_BROWSER", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                     "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "XDG_SESSION_DESKTOP")


def page(body):
    """A forum page as the forum sends it: GBK-family bytes."""
    return ("<html><head><title>Orvane教程视频录制记事本</title></head><body>%s</body></html>"
            % body).encode("gb18030")


def why_namespaces_are_unavailable():
    if os.geteuid() != 0:
        return "new network namespaces need root"
    for tool in ("unshare", "ip"):
        if shutil.which(tool) is None:
            return "%s is not installed" % tool
    try:
        probe = subprocess.run(["unshare", "--net", "--mount", "true"], timeout=10,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    except subprocess.TimeoutExpired:
        return "unshare did not return"
    if probe.returncode != 0:
        return "unshare --net --mount fails here: " + probe.stderr.decode(errors="replace")
    return None


UNAVAILABLE = why_namespaces_are_unavailable()


@unittest.skipIf(UNAVAILABLE, UNAVAILABLE)
class OnlineCheckTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-online-"

    def keep_screenshots(self):
        """Also the server's and the browser's logs."""
        super().keep_screenshots()
        for name in ("server.log", "server.err", "browser.log"):
            path = os.path.join(getattr(self, "work", ""), name)
            if os.path.exists(path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    sys.stderr.write("%s:\n%s" % (name, f.read()))

    def setUp(self):
        super().setUp()
        # Runs before the harness's own clean-up (cleanups run last in, first out).
        self.addCleanup(self.end_program_and_server)
        self.browser_log = os.path.join(self.work, "browser.log")
        browser = os.path.join(self.work, "record-browser")
        with open(browser, "w") as f:
            # One line per call, the arguments separated by tabs.
            f.write('#!/bin/sh\nIFS="$(printf \'\\t\')"\nprintf \'%%s\\n\' "$*" >> "%s"\n'
                    % self.browser_log)
        os.chmod(browser, 0o755)
        for name in PROXY_VARIABLES + DESKTOP_VARIABLES:
            self.env.pop(name, None)
        self.env["BROWSER"] = browser
        # No desktop settings of this machine's user: no URL handler but BROWSER.
        for name, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                             ("XDG_DATA_HOME", "data"), ("XDG_CONFIG_DIRS", "config-dirs"),
                             ("XDG_DATA_DIRS", "data-dirs")):
            self.env[name] = os.path.join(self.work, folder)
            os.makedirs(self.env[name], exist_ok=True)
        os.makedirs(os.path.join(self.work, "www"))

    def end_program_and_server(self):
        if self.program is not None and self.program.poll() is None:
            self.program.kill()
            self.program.wait(timeout=5)
        self.end_server()

    def end_server(self):
        """The server ends by itself once the program has; this makes sure of it."""
        pid_file = os.path.join(self.work, "server.pid")
        if not os.path.exists(pid_file):
            return
        with open(pid_file) as f:
            pid = int(f.read().strip() or 0)
        deadline = time.monotonic() + 5
        while pid and os.path.exists("/proc/%d" % pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if pid and os.path.exists("/proc/%d" % pid):
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass

    # --- the program in its namespace -----------------------------------------------

    def launch(self, mode, release_page=None):
        if release_page is not None:
            with open(os.path.join(self.work, "www", RELEASE_PATH.lstrip("/")), "wb") as f:
                f.write(release_page)
        self.program_log = open(os.path.join(self.work, "program.log"), "wb")
        self.started = time.monotonic()
        self.program = subprocess.Popen(
            ["unshare", "--net", "--mount", NAMESPACE_SCRIPT, mode, self.work, PROGRAM[0]],
            env=self.env, cwd=self.work, stdout=self.program_log, stderr=subprocess.STDOUT)

    def windows(self):
        """Title of each visible window of the program, by window id."""
        self.assertIsNone(self.program.poll(), "the program ended")
        found = run(["xdotool", "search", "--onlyvisible", "--pid", str(self.program.pid)],
                    check=False, env=self.env).stdout.decode().split()
        titles = {}
        for window in found:
            name = run(["xdotool", "getwindowname", window], check=False, env=self.env)
            if name.returncode == 0:
                titles[window] = name.stdout.decode("utf-8").removesuffix("\n")
        return titles

    @staticmethod
    def main_windows(titles):
        return [w for w, title in titles.items() if title.startswith(PROGRAM_NAME)]

    @staticmethod
    def boxes(titles, caption):
        return [w for w, title in titles.items() if title == caption]

    def wait_for_box(self, caption):
        """Waits for the box; the other box may not show meanwhile. The offline warning
        comes before the main window; the update prompt comes over it, since the window
        does not wait for the release page."""
        other = OFFLINE_CAPTION if caption == UPDATE_CAPTION else UPDATE_CAPTION

        def probe():
            titles = self.windows()
            self.assertEqual(self.boxes(titles, other), [], 'the box "%s" appeared' % other)
            found = self.boxes(titles, caption)
            if found:
                shown = len(self.main_windows(titles))
                self.assertEqual(shown, 1 if caption == UPDATE_CAPTION else 0,
                                 "main windows beside the box")
            return found
        found = self.wait_until(probe, 'the box "%s"' % caption)
        self.assertEqual(len(found), 1, "boxes: %s" % found)
        return found[0]

    def answer(self, box, key):
        self.xdotool("windowfocus", "--sync", box)
        self.xdotool("key", key)
        # A button's mnemonic clicks it after a short animation.
        self.wait_until(lambda: box not in self.windows(), "the box to close")

    def wait_for_main_window(self, seconds_after_launch=None):
        """Waits for the main window, by default WAIT_SECONDS from now; any start-up box
        on the way fails the test."""
        def probe():
            titles = self.windows()
            for caption in (UPDATE_CAPTION, OFFLINE_CAPTION):
                self.assertEqual(self.boxes(titles, caption), [],
                                 'the box "%s" appeared' % caption)
            return self.main_windows(titles)
        seconds = WAIT_SECONDS
        if seconds_after_launch is not None:
            seconds = self.started + seconds_after_launch - time.monotonic()
        found = self.wait_until(probe, "the main window to be shown", seconds)
        self.assertEqual(len(found), 1, "main windows: %s" % found)
        return found[0]

    def title(self, window):
        return run(["xdotool", "getwindowname", window], env=self.env).stdout.decode(
            "utf-8").removesuffix("\n")

    def requests(self):
        with open(os.path.join(self.work, "server.log"), encoding="latin-1") as f:
            return f.read().splitlines()

    def wait_for_requests(self, expected):
        """The release page is fetched beside the shown window: its request may come
        after the window."""
        self.wait_until(lambda: self.requests() == expected, "the requests %s" % expected)

    def browser_calls(self):
        if not os.path.exists(self.browser_log):
            return []
        with open(self.browser_log) as f:
            return [line.split("\t") for line in f.read().splitlines()]

    # --- the scenarios ---------------------------------------------------------------

    def test_page_naming_the_version_marks_the_title_latest(self):
        # Lower case on purpose: the version is looked for regardless of case.
        self.launch("served", page("最新版本：<b>v6.3</b> 已发布"))
        window = self.wait_for_main_window()
        self.wait_for_requests(["GET %s HTTP/1.0 200" % RELEASE_PATH])
        self.wait_until(lambda: self.title(window) == BANNER + " 最新版", "the newest-version title")
        self.assertEqual(self.browser_calls(), [])

    def test_page_without_the_version_offers_the_update_and_yes_opens_it(self):
        self.launch("served", page("最新版本：V6.4 已发布，6.3 的用户请更新"))
        box = self.wait_for_box(UPDATE_CAPTION)
        self.assertEqual(self.requests(), ["GET %s HTTP/1.0 200" % RELEASE_PATH])
        self.answer(box, "Return")  # Yes is the default button
        self.wait_until(self.browser_calls, "the browser to be asked for the page")
        window = self.wait_for_main_window()
        self.assertEqual(self.browser_calls(), [[RELEASE_PAGE]])
        self.assertEqual(self.title(window), INITIAL_TITLE)

    def test_declining_the_update_opens_nothing_and_start_up_goes_on(self):
        self.launch("served", page("最新版本：V6.4"))
        box = self.wait_for_box(UPDATE_CAPTION)
        self.answer(box, "alt+n")
        window = self.wait_for_main_window()
        self.assertEqual(self.title(window), INITIAL_TITLE)
        # A page asked for afterwards shows the browser works: the release page is not
        # among its calls.
        self.origin = self.geometry(window)[:2]
        self.choose_menu_item(ABOUT_ITEM)
        self.wait_until(self.browser_calls, "the browser to be asked for the about page")
        calls = self.browser_calls()
        self.assertEqual(len(calls), 1, calls)
        self.assertTrue(calls[0][0].endswith(ABOUT_PATH), calls)

    def test_host_that_never_answers_delays_start_up_by_the_time_out_at_most(self):
        self.launch("silent")
        window = self.wait_for_main_window(FETCH_TIME_OUT + START_UP_ALLOWANCE)
        # The program did ask, and then gave up without a word.
        self.wait_for_requests(["GET %s HTTP/1.0" % RELEASE_PATH])
        self.assertEqual(self.title(window), INITIAL_TITLE)
        self.assertEqual(self.browser_calls(), [])

    def test_name_server_that_never_answers_delays_start_up_by_the_time_out_at_most(self):
        self.launch("nodns")
        window = self.wait_for_main_window(FETCH_TIME_OUT + START_UP_ALLOWANCE)
        self.assertEqual(self.requests(), [])
        self.assertEqual(self.title(window), INITIAL_TITLE)

    def test_custom_edition_item_opens_the_page_then_the_contact_link_as_written(self):
        self.launch("served", page("V6.3"))
        window = self.wait_for_main_window()
        self.origin = self.geometry(window)[:2]
        self.choose_menu_item(CUSTOM_EDITION_ITEM)
        self.wait_until(lambda: len(self.browser_calls()) == 2, "two addresses for the browser")
        # The two browser processes run at once and may log in either order; the order of
        # the requests is the unit test's.
        self.assertCountEqual(self.browser_calls(), [[CUSTOM_EDITION_PAGE], [CONTACT_LINK]])

    def test_sigterm_while_the_check_waits_on_a_silent_host_ends_the_program_at_once(self):
        self.launch("silent")
        server_log = os.path.join(self.work, "server.log")
        self.wait_until(lambda: os.path.exists(server_log) and self.requests(),
                        "the release page request")
        os.kill(self.program.pid, signal.SIGTERM)
        # Well inside the fetch's own time-out: the wait gives up instead of running out.
        self.assertEqual(self.program.wait(timeout=FETCH_TIME_OUT / 2), 0)

    def test_page_cut_short_by_the_time_out_is_no_news(self):
        # A success status whose body never arrives whole is a failed check, not a page
        # without the version: no update box.
        self.launch("stalled")
        window = self.wait_for_main_window(FETCH_TIME_OUT + START_UP_ALLOWANCE)
        self.wait_for_requests(["GET %s HTTP/1.0" % RELEASE_PATH])
        self.assertEqual(self.title(window), INITIAL_TITLE)
        self.assertEqual(self.browser_calls(), [])

    def test_no_route_warns_offline_and_fetches_nothing(self):
        # The page is served on loopback all the same: a fetch would show in the log
        # and, lacking the version, would also bring up the update box.
        self.launch("offline", page("最新版本：V6.4"))
        box = self.wait_for_box(OFFLINE_CAPTION)
        self.answer(box, "Return")
        window = self.wait_for_main_window()
        self.assertEqual(self.requests(), [])
        self.assertEqual(self.title(window), INITIAL_TITLE)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The main window on its own Xvfb, driven with real pointer input through xdotool:
size, title, the controls, the compact layout and back through the menu, and exit.

Usage: test_main_window.py PATH_TO_ORVANE_NOTEPAD
"""

import subprocess

from harness import (BANNER, EDITOR_COMPACT_HEIGHT, EDITOR_COMPACT_TOP, EDITOR_NORMAL_HEIGHT,
                     EDITOR_NORMAL_TOP, EXIT_ITEM, HOME_PAGE, LOGO, MOVE_UP_BUTTON, PROGRAM_NAME,
                     RESTORE_ITEM, TOOLBAR, WINDOW_HEIGHT, WINDOW_WIDTH, ProgramTestCase, main, run)


class MainWindowTest(ProgramTestCase):
    SHOT_PREFIX = "e2e-main-window-"

    # --- the test ------------------------------------------------------------------------

    def test_layout_switch_and_menu(self):
        self.run_scenario()

    def run_scenario(self):
        window = self.start_program()

        # The window: size and title.
        left, top, width, height = self.geometry(window)
        self.assertEqual((width, height), (WINDOW_WIDTH, WINDOW_HEIGHT))
        self.origin = (left, top)
        title = run(["xdotool", "getwindowname", window], env=self.env).stdout.decode("utf-8")
        self.assertTrue(title.startswith(PROGRAM_NAME), "title %r" % title)
        self.assertEqual(title.rstrip("\n")[len(PROGRAM_NAME):], " " + HOME_PAGE)

        # The normal layout. The strip under the editor is the window's plain background.
        normal = self.settled_shot("normal", lambda s: s.spread(LOGO) > 10)
        bottom_strip = (5, EDITOR_NORMAL_TOP + EDITOR_NORMAL_HEIGHT + 4, 770, 14)
        self.assertLess(normal.spread(bottom_strip), 1, "the strip under the editor is plain")
        background = normal.pixel(5, WINDOW_HEIGHT - 8)
        self.assertGreater(normal.spread(LOGO), 10, "the logo is a picture")
        self.assertGreater(normal.fraction_unlike(LOGO, background), 0.5, "the logo is drawn")
        self.assertGreater(normal.fraction_unlike(TOOLBAR, background), 0.1, "buttons drawn")
        self.assertGreater(normal.fraction_unlike(MOVE_UP_BUTTON, background), 0.1)
        self.assertGreater(normal.fraction_unlike(BANNER, background), 0.5, "banner box drawn")
        self.check_editor_edges(normal, background, EDITOR_NORMAL_TOP, EDITOR_NORMAL_HEIGHT)

        # "上移": the compact layout.
        bx, by, bw, bh = MOVE_UP_BUTTON
        self.click_client(bx + bw // 2, by + bh // 2)
        strip_above_editor = (0, 0, 715, EDITOR_COMPACT_TOP - 2)

        compact = self.settled_shot(
            "compact", lambda s: s.fraction_unlike(strip_above_editor, background) < 0.002)
        self.assertLess(compact.fraction_unlike(strip_above_editor, background), 0.002,
                        "logo, buttons and speed box hidden")
        self.check_editor_edges(compact, background, EDITOR_COMPACT_TOP, EDITOR_COMPACT_HEIGHT)
        white = (255, 255, 255)
        formerly_toolbar_and_banner = (10, 30, 740, 70)
        self.assertLess(compact.fraction_unlike(formerly_toolbar_and_banner, white), 0.002,
                        "the editor covers where the banner box was")
        self.assertGreater(normal.fraction_unlike(formerly_toolbar_and_banner, white), 0.3)
        self.assertGreater(compact.fraction_unlike((723, 0, 53, 20), background), 0.02,
                           "V6.3 stays")

        # The menu's "上移还原" brings the normal layout back.
        menu = self.choose_menu_item(RESTORE_ITEM)
        self.wait_until(lambda: menu not in self.visible_windows(), "the menu to close")
        top_area = (0, 0, WINDOW_WIDTH, EDITOR_NORMAL_TOP + 2)
        restored = self.settled_shot(
            "restored", lambda s: s.fraction_changed(normal, top_area) < 0.01)
        self.assertLess(restored.fraction_changed(normal, top_area), 0.01,
                        "logo, buttons and banner are back as they were")
        self.check_editor_edges(restored, background, EDITOR_NORMAL_TOP, EDITOR_NORMAL_HEIGHT)

        # The menu's "退出" ends the program normally.
        self.choose_menu_item(EXIT_ITEM)
        try:
            status = self.program.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end after 退出")
        self.assertEqual(status, 0, "exit status")

    def check_editor_edges(self, shot, background, top, height):
        """The editor's frame starts at `top` and ends at `top + height` (within 2 pixels)."""
        column = 300
        first = shot.first_row_unlike(column, range(top - 5, WINDOW_HEIGHT), background)
        last = shot.first_row_unlike(column, range(WINDOW_HEIGHT - 1, top, -1), background)
        self.assertIsNotNone(first)
        self.assertLessEqual(abs(first - top), 2, "editor's top edge at y=%s" % first)
        self.assertLessEqual(abs(last - (top + height - 1)), 2,
                             "editor's bottom edge at y=%s" % last)
        inside = (10, top + 8, 700, height - 16)
        self.assertLess(shot.fraction_unlike(inside, (255, 255, 255)), 0.002,
                        "editor is empty white")



if __name__ == "__main__":
    main()

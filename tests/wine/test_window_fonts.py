"""The main window of the real Quennvoldar.exe under Wine at the status font
sizes people with low vision configure, on a 1280 x 1024 screen: read back
from the live window during a download, no control overlaps another or
leaves the client area, the window stays on the work area, and the status
text is shown whole in the configured font. The focus starts on the status
line (its colours swapped); Tab moves it to the buttons, and the button
Enter would press keeps the default look.

Screenshots go to QV_SCREENSHOT_DIR, default ./screenshots; the README's
pictures are refreshed with QV_SCREENSHOT_DIR=<repository>/docs.
"""

import os
import unittest

from update_run import (DOWNLOADING, QUESTION_START_MAIN, UPDATED, VERSION_SAMPLE,
                        UpdateRunUnderWine, main_title, read)
from wine_session import WAIT_S

# Answered late, so the window can be looked at while it downloads.
SLOW_FILE = "Produkt/Handbuch.pdf"
SLOW_SECONDS = 12
VK_TAB = 9
BS_TYPEMASK = 0x0F
BS_DEFPUSHBUTTON = 0x01
STATUS_ID, MINIMIZE_ID, CANCEL_ID = 100, 102, 103


def overlap(a, b):
    return (a["left"] < b["left"] + b["width"] and b["left"] < a["left"] + a["width"] and
            a["top"] < b["top"] + b["height"] and b["top"] < a["top"] + a["height"])


class WindowFontsUnderWine(UpdateRunUnderWine):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.screenshots = os.path.abspath(os.environ.get("QV_SCREENSHOT_DIR", "screenshots"))
        os.makedirs(cls.screenshots, exist_ok=True)

    def test_layout_focus_and_default_button_at_12_36_and_72_points(self):
        for points in (12, 36, 72):
            with self.subTest(points=points):
                self.run_with_font(points)

    def run_with_font(self, points):
        self.remove_product()
        updater = read(self.updater)
        self.install_files({"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE)})
        self.server_files({"Quennvoldar/Quennvoldar2.exe": updater,
                           SLOW_FILE: bytes(range(256)) * 64})
        # Yellow on black, as many people with low vision set it.
        self.write_config(font=f"{points} Arial", style="0 65535 0")
        self.serve("--http-delay", f"{self.web_address.path}{SLOW_FILE}:{SLOW_SECONDS}")
        updater_process = self.start_updater()
        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())

        window = self.wait_for_status(DOWNLOADING)
        self.check_layout(window, points)
        self.assertEqual(window["focus_id"], STATUS_ID)
        self.screenshot(f"screenshot-{points}pt.png", window)
        if points == 72:
            # Tab to each button: it shows as the default, the other does not.
            for focus in (MINIMIZE_ID, CANCEL_ID):
                window = self.press_tab_until(focus)
                buttons = {c["id"]: c["style"] & BS_TYPEMASK for c in window["controls"]
                           if c["id"] in (MINIMIZE_ID, CANCEL_ID)}
                self.assertEqual(buttons[focus], BS_DEFPUSHBUTTON)
                self.assertNotEqual(buttons[MINIMIZE_ID + CANCEL_ID - focus], BS_DEFPUSHBUTTON)
                if focus == MINIMIZE_ID:
                    self.screenshot("screenshot-72pt-tab.png", window)

        self.assertEqual(self.answer_boxes(), [UPDATED + QUESTION_START_MAIN])
        self.assertEqual(updater_process.wait(WAIT_S), 0)
        self.stop_server()

    def press_tab_until(self, focus_id):
        self.driver.key(main_title(), VK_TAB)
        for _ in range(50):
            window = self.driver.describe(main_title())
            if window["focus_id"] == focus_id:
                return window
        self.fail(f"the focus never reached control {focus_id}")

    def screenshot(self, name, window):
        size = self.driver.screenshot(main_title(), os.path.join(self.screenshots, name))
        self.assertEqual(size, (window["window"]["width"], window["window"]["height"]))

    # ---- Checks on the live window ----

    def check_layout(self, window, points):
        work_area, frame, client = window["work_area"], window["window"], window["client"]
        self.assertGreaterEqual(frame["left"], work_area["left"])
        self.assertGreaterEqual(frame["top"], work_area["top"])
        self.assertLessEqual(frame["left"] + frame["width"], work_area["left"] + work_area["width"])
        self.assertLessEqual(frame["top"] + frame["height"], work_area["top"] + work_area["height"])
        controls = {c["id"]: c["rect"] for c in window["controls"]}
        for rect in controls.values():
            self.assertGreater(min(rect["width"], rect["height"]), 0, rect)
            self.assertGreaterEqual(min(rect["left"], rect["top"]), 0, rect)
            self.assertLessEqual(rect["left"] + rect["width"], client["width"], rect)
            self.assertLessEqual(rect["top"] + rect["height"], client["height"], rect)
        for first in controls:
            for second in controls:
                if first < second:
                    self.assertFalse(overlap(controls[first], controls[second]),
                                     (controls[first], controls[second]))
        # The status text in lines broken at blanks, measured in the
        # configured font (GDI adds up advance widths, so words add up too).
        words = DOWNLOADING.split(" ")
        metrics = self.driver.measure("Arial", points, window["dpi"], " ", *words)
        blank, widths = metrics["widths"][0], metrics["widths"][1:]
        status = controls[STATUS_ID]
        lines, line = 1, widths[0]
        for width in widths[1:]:
            if line + blank + width <= status["width"]:
                line += blank + width
            else:
                lines, line = lines + 1, width
        self.assertEqual(status["height"], lines * metrics["line_height"])


if __name__ == "__main__":
    unittest.main()

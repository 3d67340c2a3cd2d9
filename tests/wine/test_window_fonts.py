"""The main window of the real Quennvoldar.exe under Wine at the bold status
font sizes people with low vision configure, on a 1280 x 1024 screen: read
back from the live window during a download, no control overlaps another or
leaves the client area, the window stays on the work area, and the status
text is shown whole in the configured font, 72 points too, with the buttons
one above the other. The focus starts on the status line (its colours
swapped); Tab moves it to the buttons, the focused one framed in the status
colours swapped, and the button Enter would press is the default. The
closing question comes in a box in the configured font.

Screenshots go to QV_SCREENSHOT_DIR, default ./screenshots; the README's
pictures are refreshed with QV_SCREENSHOT_DIR=<repository>/docs.
"""

import os
import unittest

from png_file import read_png
from update_run import (DOWNLOADING, QUESTION_CAPTION, QUESTION_START_MAIN, UPDATED,
                        VERSION_SAMPLE, UpdateRunUnderWine, main_title, read)
from wine_session import WAIT_S

# Answered late, so the window can be looked at while it downloads.
SLOW_FILE = "Produkt/Handbuch.pdf"
SLOW_SECONDS = 20
VK_TAB = 9
STATUS_ID, MINIMIZE_ID, CANCEL_ID = 100, 102, 103
IDYES = 6
# Bold yellow on black, as many people with low vision set it.
FACE = "Arial"
YELLOW, BLACK = (255, 255, 0), (0, 0, 0)


def overlap(a, b):
    return (a["left"] < b["left"] + b["width"] and b["left"] < a["left"] + a["width"] and
            a["top"] < b["top"] + b["height"] and b["top"] < a["top"] + a["height"])


class WindowFontsUnderWine(UpdateRunUnderWine):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.screenshots = os.path.abspath(os.environ.get("QV_SCREENSHOT_DIR", "screenshots"))
        os.makedirs(cls.screenshots, exist_ok=True)

    def test_layout_focus_default_button_and_box_at_12_36_and_72_points(self):
        for points in (12, 36, 72):
            with self.subTest(points=points):
                self.run_with_font(points)

    def run_with_font(self, points):
        self.remove_product()
        updater = read(self.updater)
        self.install_files({"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE)})
        self.server_files({"Quennvoldar/Quennvoldar2.exe": updater,
                           SLOW_FILE: bytes(range(256)) * 64})
        self.write_config(font=f"{points} {FACE}", style="1 65535 0")
        self.serve("--http-delay", f"{self.web_address.path}{SLOW_FILE}:{SLOW_SECONDS}")
        updater_process = self.start_updater()
        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())

        window = self.wait_for_status(DOWNLOADING)
        self.check_layout(window, points)
        self.assertEqual(window["focus_id"], STATUS_ID)
        self.assertEqual(window["default_id"], MINIMIZE_ID)
        self.screenshot(f"screenshot-{points}pt.png", window)
        if points >= 36:
            # Tab to each button: it is the default and shows the focus.
            for focus in (MINIMIZE_ID, CANCEL_ID):
                window = self.press_tab_until(focus)
                self.assertEqual(window["default_id"], focus)
                if focus == MINIMIZE_ID:
                    picture = self.screenshot(f"screenshot-{points}pt-tab.png", window)
                    self.check_focus_frame(picture, window, MINIMIZE_ID, CANCEL_ID)
        if points == 72:
            self.check_box(points)

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

    def screenshot(self, name, window, title=None):
        path = os.path.join(self.screenshots, name)
        size = self.driver.screenshot(title or main_title(), path)
        self.assertEqual(size, (window["window"]["width"], window["window"]["height"]))
        return path

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
        metrics = self.driver.measure(FACE, points, window["dpi"], " ", *words, bold=True)
        blank, widths = metrics["widths"][0], metrics["widths"][1:]
        status = controls[STATUS_ID]
        lines, line = 1, widths[0]
        for width in widths[1:]:
            if line + blank + width <= status["width"]:
                line += blank + width
            else:
                lines, line = lines + 1, width
        self.assertEqual(status["height"], lines * metrics["line_height"])
        # The buttons in the configured size too: stacked at 72 points, where
        # two side by side would be wider than the screen.
        minimize, cancel = controls[MINIMIZE_ID], controls[CANCEL_ID]
        for button in (minimize, cancel):
            self.assertEqual(button["height"], metrics["line_height"] + 12)
        if points == 72:
            self.assertEqual(minimize["left"], cancel["left"])
            self.assertLess(minimize["top"] + minimize["height"], cancel["top"])
        else:
            self.assertEqual(minimize["top"], cancel["top"])

    def check_focus_frame(self, picture, window, focused_id, other_id):
        """In the picture, from the middle of each side inwards: past the
        default button's thin frame, at least 3 px of the status background
        colour, then the face in the status text colour. The other button
        has its own face."""
        _, _, rows = read_png(picture)
        left = window["client_origin"][0] - window["window"]["left"]
        top = window["client_origin"][1] - window["window"]["top"]

        def colour(x, y):
            row = rows[top + y]
            return tuple(row[3 * (left + x):3 * (left + x) + 3])

        controls = {c["id"]: c["rect"] for c in window["controls"]}
        rect = controls[focused_id]
        middle_x, middle_y = rect["left"] + rect["width"] // 2, rect["top"] + rect["height"] // 2
        right, bottom = rect["left"] + rect["width"] - 1, rect["top"] + rect["height"] - 1
        sides = {"left": lambda d: colour(rect["left"] + d, middle_y),
                 "right": lambda d: colour(right - d, middle_y),
                 "top": lambda d: colour(middle_x, rect["top"] + d),
                 "bottom": lambda d: colour(middle_x, bottom - d)}
        for side, at in sides.items():
            inwards = [at(depth) for depth in range(12)]
            frame_start = 1 if inwards[0] != BLACK else 0
            frame = 0
            while inwards[frame_start + frame] == BLACK:
                frame += 1
            self.assertGreaterEqual(frame, 3, (side, inwards))
            self.assertEqual(inwards[frame_start + frame], YELLOW, (side, inwards))
        other = controls[other_id]
        self.assertNotEqual(colour(other["left"] + 6, other["top"] + other["height"] // 2), YELLOW)

    def check_box(self, points):
        """The closing question in the configured font: its text in lines of
        that font, its buttons a line of it high; "&Ja" the default."""
        self.driver.wait_for(QUESTION_CAPTION)
        box = self.driver.describe(QUESTION_CAPTION)
        metrics = self.driver.measure(FACE, points, box["dpi"], bold=True)
        line_height = metrics["line_height"]
        texts = [c for c in box["controls"] if c["class"] == "Static" and c["text"]]
        self.assertEqual(len(texts), 1)
        self.assertIn(QUESTION_START_MAIN.strip(), texts[0]["text"])
        height = texts[0]["rect"]["height"]
        self.assertGreater(height, line_height)
        self.assertEqual(height % line_height, 0, (height, line_height))
        buttons = [c for c in box["controls"] if c["class"] == "Button"]
        self.assertEqual([b["text"] for b in buttons], ["&Ja", "&Nein"])
        for button in buttons:
            self.assertEqual(button["rect"]["height"], line_height + 12)
        self.assertEqual((box["focus_id"], box["default_id"]), (IDYES, IDYES))
        work_area, frame = box["work_area"], box["window"]
        self.assertLessEqual(frame["height"], work_area["height"])
        self.assertEqual(frame["left"], (work_area["width"] - frame["width"]) // 2
                         + work_area["left"])
        self.screenshot(f"screenshot-box-{points}pt.png", box, QUESTION_CAPTION)


if __name__ == "__main__":
    unittest.main()

"""The ordinary road of an update with the real Quennvoldar.exe under Wine.
The UI driver answers the two questions; the test checks the installed files,
the main program's close, the outcome, every status text NVDA was given to
speak and the refreshed uninstall entry. The same run without the NVDA
library speaks nothing and ends the same way.

The picture taken during the download goes to QV_SCREENSHOT_DIR, default
./screenshots; docs/screenshot-download.png is refreshed with
QV_SCREENSHOT_DIR=<repository>/docs.
"""

import os
import time
import unittest

from update_run import (BUILDING_LIST, CLOSING_MAIN, CONNECTING, COPYING, DOWNLOADED,
                        DOWNLOADING, INSTALL_WINDOWS, PRODUCT_LINE, QUESTION_CLOSE_MAIN,
                        QUESTION_START_MAIN, UPDATED, VERIFYING, VERSION_SAMPLE, WM_CLOSEREQUEST,
                        WM_SHOWREQUEST, UpdateRunUnderWine, digest, digests, main_title, read)
from wine_session import WAIT_S

SPOKEN = [CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED, CLOSING_MAIN, VERIFYING, COPYING]
# Answered late, so the window can be photographed while it downloads.
SLOW_FILE = "Produkt/Handbuch.pdf"
SLOW_SECONDS = 6


class OrdinaryRoadUnderWine(UpdateRunUnderWine):
    def test_ordinary_road_spoken_through_nvda(self):
        started = time.monotonic()
        self.lay_out(with_nvda_library=True)
        self.serve("--http-delay", f"{self.web_address.path}{SLOW_FILE}:{SLOW_SECONDS}")
        main_program = self.start_main_program()
        updater = self.start_updater()

        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())
        self.photograph_download()
        self.assertEqual(self.answer_boxes(), [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")

        self.check_outcome()
        self.assertEqual(self.spoken(), SPOKEN)
        print(f"\nordinary road under Wine: {time.monotonic() - started:.1f} s")

    def test_without_the_nvda_library_nothing_is_spoken(self):
        self.lay_out(with_nvda_library=False)
        self.serve()
        main_program = self.start_main_program()
        updater = self.start_updater()

        self.assertEqual(self.answer_boxes(), [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")

        self.check_outcome()
        self.assertFalse(os.path.exists(self.nvda_log))

    def lay_out(self, with_nvda_library):
        updater = read(self.updater)
        self.server_tree = {
            "Quennvoldar/Quennvoldar2.exe": updater,
            "Produkt/liesmich.txt": b"Produkt 1.44\r\n",
            "Produkt/gleich.txt": b"unver\xe4ndert\r\n",
            "Produkt/Daten/neu.txt": b"neu in 1.44\r\n",
            "Produkt/Daten/Gr\u00f6\u00dfen.txt": "mit Umlaut im Namen\r\n".encode(),
            SLOW_FILE: bytes(range(256)) * 4096,
        }
        self.server_files(self.server_tree)
        self.installed_before = {
            "Quennvoldar.exe": updater,
            "Produkt.exe": read(VERSION_SAMPLE),
            "liesmich.txt": b"Produkt 1.43\r\n",
            "gleich.txt": b"unver\xe4ndert\r\n",
            "fremd.txt": b"nicht von der Aktualisierung\r\n",
        }
        if with_nvda_library:
            self.installed_before["nvdaControllerClient32.dll"] = read(self.nvda_client)
        self.install_files(self.installed_before)
        self.write_config()
        self.seed_uninstall_entry()

    def photograph_download(self):
        """The window while the slow file is on its way."""
        screenshots = os.path.abspath(os.environ.get("QV_SCREENSHOT_DIR", "screenshots"))
        os.makedirs(screenshots, exist_ok=True)
        window = self.wait_for_status(DOWNLOADING)
        self.assertTrue(window["foreground"], "the updater's window is not the active one")
        size = self.driver.screenshot(main_title(),
                                      os.path.join(screenshots, "screenshot-download.png"))
        self.assertEqual(size, (window["window"]["width"], window["window"]["height"]))

    def check_outcome(self):
        expected = {name: digest(content) for name, content in self.installed_before.items()}
        for relative, content in self.server_tree.items():
            folder, _, rest = relative.partition("/")
            expected[rest if folder == PRODUCT_LINE else "Quennvoldar2.exe"] = digest(content)
        installed = digests(self.install)
        installed.pop("Quennvoldar.dat")
        self.assertEqual(installed, expected)
        # The uninstall list names what the run placed; an equal file is left alone.
        placed = [name for name, content in self.installed_before.items()
                  if expected[name] != digest(content)]
        placed += [name for name in expected if name not in self.installed_before]
        self.assertCountEqual(self.uninstall_list(), [
            INSTALL_WINDOWS + name.replace("/", "\\") for name in ["Quennvoldar.dat", *placed]])

        # Asked to the front, then to close; the run's files are gone.
        self.assertEqual(self.main_program_messages(), [WM_SHOWREQUEST, WM_CLOSEREQUEST])
        self.assertFalse(os.path.exists(self.download))
        self.assertFalse(os.path.exists(self.config_path()))
        self.assert_entry_refreshed()


if __name__ == "__main__":
    unittest.main()

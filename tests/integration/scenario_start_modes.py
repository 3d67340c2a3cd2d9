"""The two other ways the main program starts the updater: install-only
("/U" with the comparison file, no server at all) and hidden in the
notification area ("/M" as the third argument)."""

import os
import time
import unittest

from run_harness import (ALREADY_CURRENT, CLOSING_MAIN, COPYING, DOWNLOADED, LOADING, MUTEX,
                         OFFLINE_QUESTION, QUESTION_CLOSE_MAIN, QUESTION_START_MAIN,
                         TITLE_SUFFIX, UPDATED, VERIFYING, WINDOW_TITLE, UpdateRunTestCase,
                         answer_close_yes)

SERVER_TIME = (int(time.time()) // 60 - 24 * 60) * 60 + 5


class InstallOnly(UpdateRunTestCase):
    """What an interrupted run left in the download folder is installed
    without any server; the lines the main program reads stay its own."""

    def setUp(self):
        super().setUp()
        self.write(self.temp + "Quennvoldar.fn", b"beliebiger Inhalt")

    def write_install_only_config(self, copied_marker):
        lines = [MUTEX, WINDOW_TITLE, self.install + "main", "Produkt\\Daten", "", ""]
        lines += [""] * 5 + ["Zeile 11", "Zeile 12", "Zeile 13"] + [""] * 6 + [copied_marker]
        self.write(self.temp + self.config_name,
                   "".join(line + "\r\n" for line in lines).encode("cp1252"))

    def assert_main_programs_lines_kept(self, config, copied_marker):
        self.assertEqual(config[11:14], ["Zeile 11", "Zeile 12", "Zeile 13"])
        self.assertEqual(config[20], copied_marker)

    def test_install_only_start_installs_what_waits(self):
        self.write_install_only_config("0")
        self.write(self.install + "liesmich.txt", b"alt")
        self.write(self.install + "gleich.txt", b"gleich")
        self.write(self.download + "liesmich.txt", b"neu")
        self.write(self.download + "gleich.txt", b"gleich")
        self.write(self.download + "Neu/neu.txt", b"neu hinzu")
        main_program = self.start_main_program()

        result = self.run_updater(self.config_name, "/U", answer=answer_close_yes)

        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.statuses, [LOADING, CLOSING_MAIN, VERIFYING, COPYING])
        self.assertEqual(self.events(), [], "no server was asked")
        self.assertEqual(main_program.wait(timeout=30), 0)
        self.assertEqual(result.questions[-1], UPDATED + "\n" + QUESTION_START_MAIN)
        self.assert_main_programs_lines_kept(result.configs[-2], "0")
        self.assert_main_programs_lines_kept(result.configs[-1], "1")
        installed = {name: self.read(self.install + name)
                     for name in ("liesmich.txt", "gleich.txt", "Neu/neu.txt")}
        self.assertEqual(installed, {"liesmich.txt": b"neu", "gleich.txt": b"gleich",
                                     "Neu/neu.txt": b"neu hinzu"})
        self.assertFalse(os.path.exists(self.download))
        self.assertCountEqual(self.uninstall_list(), [
            self.install + name for name in ("Quennvoldar.dat", "liesmich.txt", "Neu/neu.txt")])
        for gone in ("Produkt.cfg", "Quennvoldar.fn"):
            self.assertFalse(os.path.exists(self.temp + gone), gone)

    def test_nothing_new_reports_by_the_copied_marker(self):
        # An earlier run that copied files and was interrupted left marker 1.
        for marker, outcome in (("1", UPDATED), ("0", ALREADY_CURRENT)):
            with self.subTest(marker=marker):
                self.write_install_only_config(marker)
                self.write(self.install + "gleich.txt", b"gleich")
                self.write(self.download + "gleich.txt", b"gleich")

                result = self.run_updater(self.config_name, "/U")

                self.assertEqual(result.outcome, outcome, result.output)
                self.assertNotIn(COPYING, result.statuses)
                self.assert_main_programs_lines_kept(result.configs[-1], marker)
                self.assertEqual(self.read(self.install + "gleich.txt"), b"gleich")
                self.assertIsNone(self.waiting_downloads())
                self.assert_nothing_recorded()
                self.start_afresh()


class HiddenStart(UpdateRunTestCase):
    def test_hidden_start_shows_only_the_tray_until_a_question_brings_the_window_back(self):
        self.server_file("Quennvoldar/liesmich.txt", b"x" * 300, SERVER_TIME)
        self.server_file("Produkt/Daten/neu.txt", b"y" * 700, SERVER_TIME)
        self.serve()
        self.start_main_program()

        result = self.run_updater(self.config_name, "", "/M", answer=answer_close_yes)

        self.assertEqual(result.returncode, 0, result.output)
        lines = result.lines
        # Up to the first question: the tray hints, then the window coming
        # back with the status line it has by then.
        before_question = lines[:lines.index("Bestätigen:")]
        tray = "Infobereich: Produkt" + TITLE_SUFFIX
        if OFFLINE_QUESTION in result.questions[0]:
            # The check of the network brought the window back at once.
            self.assertEqual(before_question, [tray, LOADING])
        else:
            self.assertIn(QUESTION_CLOSE_MAIN, result.questions[0])
            self.assertEqual(before_question, [tray + hint for hint in (
                "", " (Lade: 0 %)", " (Lade: 30 %)", " (Lade: 100 %)", " (Kopiere: 0 %)")] +
                [DOWNLOADED])
        self.assertIn(CLOSING_MAIN, result.statuses)
        self.assertEqual(result.questions[-1], UPDATED + "\n" + QUESTION_START_MAIN)
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "1")
        self.assertEqual(self.read(self.install + "neu.txt"), b"y" * 700)
        self.assertEqual(self.read(self.install + "liesmich.txt"), b"x" * 300)
        self.assertCountEqual(self.uninstall_list(), [
            self.install + name for name in ("Quennvoldar.dat", "liesmich.txt", "neu.txt")])
        self.assertIsNone(self.waiting_downloads())


if __name__ == "__main__":
    unittest.main()

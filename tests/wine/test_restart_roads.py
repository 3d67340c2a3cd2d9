"""The two roads that end a run of the real Quennvoldar.exe under Wine by
starting its second copy: an update that brings the updater itself, which
the second copy finishes, and the self-update route when the FTP server
refuses the login. On Windows a running program's file cannot be replaced,
so these roads show that each copy leaves the other's file to the other."""

import os
import unittest

from update_run import (BUILDING_LIST, CLOSING_MAIN, CONNECTING, COPYING, DOWNLOADED, DOWNLOADING,
                        FAILED, INSTALL_WINDOWS, MSG_NO_CONNECTION, QUESTION_CLOSE_MAIN,
                        QUESTION_START_MAIN, UPDATED, VERIFYING, VERSION_SAMPLE, WM_CLOSEREQUEST,
                        WM_SHOWREQUEST, UpdateRunUnderWine, read)
from wine_session import WAIT_S

FIRST_STEPS = [CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED]
# The first copy's uninstall list: itself and the second copy it placed.
FIRST_COPY_INSTALLED = [INSTALL_WINDOWS + "Quennvoldar.dat", INSTALL_WINDOWS + "Quennvoldar2.exe"]


class RestartUnderWine(UpdateRunUnderWine):
    def lay_out(self):
        self.updater_bytes = read(self.updater)
        # Trailing bytes keep it a program that runs, and make it another file.
        self.new_first_copy = self.updater_bytes + b"\0neue erste Kopie"
        self.install_files({
            "Quennvoldar.exe": self.updater_bytes,
            "Produkt.exe": read(VERSION_SAMPLE),
            "liesmich.txt": b"Produkt 1.43\r\n",
            "nvdaControllerClient32.dll": read(self.nvda_client),
        })

    def test_an_update_of_the_updater_is_finished_by_the_second_copy(self):
        # A configuration name with a blank must reach the second copy whole.
        self.config_name = "Mein Produkt.cfg"
        self.lay_out()
        self.server_files({
            "Quennvoldar/Quennvoldar2.exe": self.updater_bytes,
            "Quennvoldar/Quennvoldar.exe": self.new_first_copy,
            "Produkt/liesmich.txt": b"Produkt 1.44\r\n",
            "Produkt/Daten/logo.dat": b"ein Bild",
        })
        self.write_config()
        self.seed_uninstall_entry()
        self.serve()
        main_program = self.start_main_program()
        first_copy = self.start_updater()

        # The first copy installs the second one and stops before its own
        # file; the second runs the whole road and replaces the first.
        self.assertEqual(self.answer_boxes(), [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(first_copy.wait(WAIT_S), 0)
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")
        self.assertEqual(self.main_program_messages(), [WM_SHOWREQUEST, WM_CLOSEREQUEST])
        self.assertEqual(self.spoken(), FIRST_STEPS + [CLOSING_MAIN, VERIFYING, COPYING] +
                         FIRST_STEPS + [VERIFYING, COPYING])

        self.assertEqual(read(self.install + "Quennvoldar2.exe"), self.updater_bytes)
        self.assertEqual(read(self.install + "Quennvoldar.exe"), self.new_first_copy)
        self.assertEqual(read(self.install + "liesmich.txt"), b"Produkt 1.44\r\n")
        self.assertEqual(read(self.install + "Daten/logo.dat"), b"ein Bild")
        self.assertFalse(os.path.exists(self.download))
        self.assertFalse(os.path.exists(self.config_path()))
        self.assertEqual(self.uninstall_list("Quennvoldar"), FIRST_COPY_INSTALLED)
        self.assertCountEqual(self.uninstall_list("Quennvoldar2"), [
            INSTALL_WINDOWS + name for name in
            ("Quennvoldar2.dat", "Quennvoldar.exe", "liesmich.txt", "Daten\\logo.dat")])
        self.assert_entry_refreshed()

    def test_a_refused_login_fetches_both_programs_and_the_second_copy_reports(self):
        self.lay_out()
        self.server_files({
            "Quennvoldar/Quennvoldar2.exe": self.updater_bytes,
            "Quennvoldar/Quennvoldar.exe": self.new_first_copy,
        })
        self.write_config()
        self.serve("--ftp-refuse-login")
        first_copy = self.start_updater()

        # The second copy meets the refusal too; fetching itself again and
        # restarting would never end, so it reports instead.
        self.assertEqual(self.answer_boxes(),
                         [MSG_NO_CONNECTION, FAILED + self.home_page + QUESTION_START_MAIN])
        self.assertEqual(first_copy.wait(WAIT_S), 0)
        self.assertEqual(self.spoken(), [CONNECTING, CONNECTING])

        self.assertEqual(read(self.install + "Quennvoldar2.exe"), self.updater_bytes)
        self.assertEqual(read(self.install + "Quennvoldar.exe"), self.updater_bytes,
                         "the running first copy is replaced only by an update run")
        self.assertEqual(read(self.download + "Quennvoldar.exe"), self.new_first_copy)
        self.assertEqual(self.uninstall_list("Quennvoldar"), FIRST_COPY_INSTALLED)
        self.assertFalse(os.path.exists(self.config_path()))


if __name__ == "__main__":
    unittest.main()

"""The two roads that end a run by restarting the updater from its second
copy: an update that brings the updater itself, and the self-update route
when the FTP server refuses the login. The second copy is a real copy of the
updater, delivered by the run itself; its output joins the first's."""

import os
import stat
import time
import unittest

from run_harness import (BUILDING_LIST, CLOSING_MAIN, CONNECTING, COPYING, DOWNLOADED,
                         DOWNLOADING, FAILED, LOADING, MSG_NO_CONNECTION, QUESTION_CLOSE_MAIN,
                         QUESTION_START_MAIN, UPDATED, VERIFYING, UpdateRunTestCase,
                         answer_close_yes, file_digest, updater_path)

SERVER_TIME = (int(time.time()) // 60 - 2 * 24 * 60) * 60 + 41
FIRST_RUN = [LOADING, CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED]


def executable(path):
    return bool(os.stat(path).st_mode & stat.S_IXUSR)


class RestartFromTheSecondCopy(UpdateRunTestCase):
    def test_an_update_of_the_updater_is_finished_by_the_second_copy(self):
        # A configuration name with a blank must reach the second copy whole.
        os.remove(self.temp + self.config_name)
        self.config_name = "Mein Produkt.cfg"
        self.write_config()
        updater = self.read(updater_path())
        new_first_copy = updater + b"\0neue erste Kopie"  # still a program that runs
        self.server_file("Quennvoldar/Quennvoldar2", updater, SERVER_TIME)
        self.server_file("Quennvoldar/Quennvoldar", new_first_copy, SERVER_TIME)
        self.server_file("Produkt/Daten/liesmich.txt", b"Produkt 1.44\r\n", SERVER_TIME)
        self.server_file("Produkt/Daten/Bilder/logo.dat", b"ein Bild", SERVER_TIME)
        self.write(self.install + "liesmich.txt", b"Produkt 1.43\r\n")
        self.serve()
        main_program = self.start_main_program()

        result = self.run_updater(self.config_name, answer=answer_close_yes)

        self.assertEqual(result.returncode, 0, result.output)
        # The first copy closes the main program, installs the second copy and
        # stops before its own file; the second copy runs the whole road again.
        self.assertEqual(result.statuses, FIRST_RUN + [CLOSING_MAIN, VERIFYING, COPYING] +
                         FIRST_RUN + [VERIFYING, COPYING], result.output)
        self.assertEqual(main_program.wait(timeout=30), 0)
        # Offline machines ask the internet question too, in each copy.
        self.assertTrue(any(QUESTION_CLOSE_MAIN in question for question in result.questions),
                        result.questions)
        self.assertEqual(result.questions[-1], UPDATED + "\n" + QUESTION_START_MAIN)
        self.assert_config_written_by(result.configs[0], "Quennvoldar", "0")
        self.assert_config_written_by(result.configs[-1], "Quennvoldar2", "1")

        self.assertEqual(len(self.logins()), 2, "one login per copy")
        self.assertCountEqual(self.http_paths(), [
            "/updates/Quennvoldar/Quennvoldar2", "/updates/Quennvoldar/Quennvoldar",
            "/updates/Produkt/Daten/liesmich.txt", "/updates/Produkt/Daten/Bilder/logo.dat"],
            "what the first copy left waiting is not fetched again")

        self.assertEqual(self.read(self.install + "Quennvoldar2"), updater)
        self.assertEqual(self.read(self.install + "Quennvoldar"), new_first_copy)
        self.assertTrue(executable(self.install + "Quennvoldar2"))
        self.assertTrue(executable(self.install + "Quennvoldar"))
        self.assertEqual(self.read(self.install + "liesmich.txt"), b"Produkt 1.44\r\n")
        self.assertEqual(self.read(self.install + "Bilder/logo.dat"), b"ein Bild")
        self.assertFalse(os.path.exists(self.download))
        for gone in (self.config_name, "Quennvoldar2.fn"):
            self.assertFalse(os.path.exists(self.temp + gone), gone)

        # Each copy keeps its own list of what it installed.
        self.assertEqual(self.uninstall_list("Quennvoldar"),
                         [self.install + "Quennvoldar.dat", self.install + "Quennvoldar2"])
        self.assertCountEqual(self.uninstall_list("Quennvoldar2"), [
            self.install + name for name in
            ("Quennvoldar2.dat", "Quennvoldar", "liesmich.txt", "Bilder/logo.dat")])


class SelfUpdateRoute(UpdateRunTestCase):
    def test_a_refused_login_fetches_both_programs_and_the_second_copy_does_not_loop(self):
        updater = self.read(updater_path())
        new_first_copy = updater + b"\0neue erste Kopie"
        self.server_file("Quennvoldar/Quennvoldar2", updater)
        self.server_file("Quennvoldar/Quennvoldar", new_first_copy)
        self.serve("--ftp-refuse-login")

        result = self.run_updater()

        self.assertEqual(result.returncode, 0, result.output)
        # The second copy's own run meets the refusal too; fetching itself
        # again and restarting would never end, so it reports instead.
        self.assertEqual(result.statuses, [LOADING, CONNECTING, LOADING, CONNECTING])
        self.assertEqual(self.http_paths(), ["/vask/updates/Quennvoldar/Quennvoldar",
                                             "/vask/updates/Quennvoldar/Quennvoldar2"])
        self.assertEqual([e["event"] for e in self.ftp_events() if e.get("event") == "login_failed"],
                         ["login_failed", "login_failed"])
        self.assertEqual(result.informations, [MSG_NO_CONNECTION])
        self.assertEqual(result.outcome, FAILED)
        self.assertIn(QUESTION_START_MAIN, result.questions[-1])
        self.assert_config_written_by(result.configs[-1], "Quennvoldar2", "0")

        self.assertEqual(self.read(self.install + "Quennvoldar2"), updater)
        self.assertTrue(executable(self.install + "Quennvoldar2"))
        self.assertEqual(file_digest(self.install + "Quennvoldar"), file_digest(updater_path()),
                         "the running first copy is replaced only by an update run")
        self.assertEqual(self.read(self.download + "Quennvoldar"), new_first_copy)
        self.assertEqual(self.uninstall_list("Quennvoldar"),
                         [self.install + "Quennvoldar.dat", self.install + "Quennvoldar2"])
        self.assertFalse(os.path.exists(self.temp + "Produkt.cfg"))


if __name__ == "__main__":
    unittest.main()

"""Cancelling a run of the real Quennvoldar.exe under Wine with its
"&Abbrechen" button while it downloads: the file being fetched is completed
and waits for the next run, no later one is fetched, the installed files
stay as they were, the main program keeps running, and the next run
completes the update. And the window answers while the FTP server holds back
its greeting."""

import os
import unittest

from update_run import (DOWNLOADING, NOT_COMPLETED, QUESTION_CLOSE_MAIN,
                        QUESTION_START_MAIN, UPDATED, VERSION_SAMPLE, WM_CLOSEREQUEST,
                        WM_SHOWREQUEST, UpdateRunUnderWine, digest, digests, main_title, read)
from wine_session import WAIT_S

# The first file of the list, sent slowly enough that the cancel arrives while
# it is moving (a download that is moving is completed).
SLOW_FILE = "Quennvoldar/Quennvoldar2.exe"
SLOW_BYTES_PER_SECOND = 256 * 1024


class CancelUnderWine(UpdateRunUnderWine):
    def test_cancel_while_downloading_then_the_next_run_completes(self):
        updater = read(self.updater)
        old = {"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE),
               "a.txt": b"alt a", "Daten/b.txt": b"alt b"}
        new = {"Quennvoldar2.exe": updater, "a.txt": b"neu a" * 1000, "Daten/b.txt": b"neu b",
               "Handbuch.pdf": bytes(range(256)) * 4096}
        self.install_files(old)
        self.server_files({("Quennvoldar/" if name.startswith("Quennvoldar") else "Produkt/") +
                           name: content for name, content in new.items()})
        self.write_config()
        self.serve("--http-rate", f"{self.web_address.path}{SLOW_FILE}:{SLOW_BYTES_PER_SECOND}")
        main_program = self.start_main_program()
        updater_process = self.start_updater()

        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())
        self.wait_for_status(DOWNLOADING)
        self.driver.click(main_title(), "&Abbrechen")

        # The main program still runs, so the outcome is only reported.
        self.assertEqual(self.answer_boxes(), [NOT_COMPLETED + self.home_page])
        self.assertEqual(updater_process.wait(WAIT_S), 0)
        self.assertIsNone(main_program.poll())
        self.assertEqual(self.main_program_messages(), [])
        self.assertEqual(digests(self.install),
                         {name: digest(content) for name, content in old.items()})
        self.assertFalse(os.path.exists(self.install + "Quennvoldar.dat"))
        self.assertEqual(digests(self.download), {"Quennvoldar2.exe": digest(updater)})

        self.stop_server()
        self.serve()
        self.write_config()
        self.start_updater()
        self.assertEqual(self.answer_boxes(), [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")
        self.assertEqual(self.main_program_messages(), [WM_SHOWREQUEST, WM_CLOSEREQUEST])
        installed = digests(self.install)
        installed.pop("Quennvoldar.dat")
        self.assertEqual(installed, {name: digest(content)
                                     for name, content in {**old, **new}.items()})
        self.assertFalse(os.path.exists(self.download))


class AnsweringUnderWine(UpdateRunUnderWine):
    def test_the_window_answers_while_the_server_holds_its_greeting(self):
        updater = read(self.updater)
        self.install_files({"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE)})
        self.server_files({"Quennvoldar/Quennvoldar2.exe": updater, "Produkt/a.txt": b"neu a"})
        self.write_config()
        # Held for 4 s, within the 5 s the updater waits for a server's reply.
        self.serve("--ftp-greeting-delay", "4")
        updater_process = self.start_updater()
        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())

        pinged = self.driver.ping(main_title())
        print(f"\nanswered while the greeting is held: {pinged['ms']} ms")
        # Far less than the rest of the hold: the window did not wait for it.
        self.assertTrue(pinged["answered"])
        self.assertLess(pinged["ms"], 2000)
        self.assertEqual(self.answer_boxes(), [UPDATED + QUESTION_START_MAIN])
        self.assertEqual(updater_process.wait(WAIT_S), 0)


if __name__ == "__main__":
    unittest.main()

"""Cancelling a run of the real Quennvoldar.exe under Wine with its
"&Abbrechen" button while it downloads: the file being fetched is completed
and waits for the next run, no later one is fetched, the installed files
stay as they were, the main program keeps running, and the next run
completes the update."""

import os
import unittest

from update_run import (DOWNLOADING, NOT_COMPLETED, QUESTION_CLOSE_MAIN, QUESTION_START_MAIN,
                        UPDATED, VERSION_SAMPLE, WM_CLOSEREQUEST, WM_SHOWREQUEST,
                        UpdateRunUnderWine, digest, digests, main_title, read)
from wine_session import WAIT_S

# The first file of the list, held back longer than the cancel takes to arrive.
SLOW_FILE = "Quennvoldar/Quennvoldar2.exe"
SLOW_SECONDS = 8


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
        self.serve("--http-delay", f"{self.web_address.path}{SLOW_FILE}:{SLOW_SECONDS}")
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


if __name__ == "__main__":
    unittest.main()

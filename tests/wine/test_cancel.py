"""Cancelling a run of the real Quennvoldar.exe under Wine with its
"&Abbrechen" button while a file is on its way: the transfer ends at once,
the files that arrived whole wait for the next run and what arrived of the
moving one waits beside them, the installed files stay as they were, the
main program keeps running, and the next run asks only for the rest and
completes the update. And the window answers while the FTP server holds back
its greeting."""

import os
import time
import unittest

from update_run import (DOWNLOADING, NOT_COMPLETED, QUESTION_CLOSE_MAIN,
                        QUESTION_START_MAIN, UPDATED, VERSION_SAMPLE, WM_CLOSEREQUEST,
                        WM_SHOWREQUEST, UpdateRunUnderWine, digest, digests, main_title, read)
from wine_session import WAIT_S

# The first file of the list, sent slowly enough (over a minute) that it is
# still moving when the cancel arrives.
SLOW_FILE = "Quennvoldar/Quennvoldar2.exe"
SLOW_BYTES_PER_SECOND = 32 * 1024


class CancelUnderWine(UpdateRunUnderWine):
    def kept(self):
        """The files beside the download folder: the kept bytes and their record."""
        folder = self.download.rstrip("/") + ".partial"
        return {name: os.path.join(folder, name)
                for name in (os.listdir(folder) if os.path.isdir(folder) else [])}

    def test_cancel_while_downloading_then_the_next_run_completes(self):
        updater = read(self.updater)
        old = {"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE),
               "a.txt": b"alt a", "Daten/b.txt": b"alt b"}
        new = {"Quennvoldar2.exe": updater, "a.txt": b"neu a" * 1000, "Daten/b.txt": b"neu b",
               "Handbuch.pdf": bytes(range(256)) * 4096}
        arrived_whole = {name: digest(content) for name, content in new.items()
                         if name != "Quennvoldar2.exe"}
        self.install_files(old)
        self.server_files({("Quennvoldar/" if name.startswith("Quennvoldar") else "Produkt/") +
                           name: content for name, content in new.items()})
        self.write_config()
        slow_path = f"{self.web_address.path}{SLOW_FILE}"
        self.serve("--http-rate", f"{slow_path}:{SLOW_BYTES_PER_SECOND}")
        main_program = self.start_main_program()
        updater_process = self.start_updater()

        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())
        self.wait_for_status(DOWNLOADING)
        deadline = time.monotonic() + WAIT_S
        while not (digests(self.download) == arrived_whole and self.kept()):
            self.assertLess(time.monotonic(), deadline, "the others never arrived whole")
            time.sleep(0.1)
        clicked = time.time()
        self.driver.click(main_title(), "&Abbrechen")

        # The main program still runs, so the outcome is only reported.
        self.assertEqual(self.answer_boxes(), [NOT_COMPLETED + self.home_page])
        self.assertEqual(updater_process.wait(WAIT_S), 0)
        kept = self.kept()
        self.assertEqual(len(kept), 2, kept)
        record = next(path for name, path in kept.items() if name.endswith(".resume"))
        stopped = os.stat(record).st_mtime - clicked
        print(f"\nthe transfer was stopped and kept {stopped:.2f} s after the click")
        # Within the driver's click, and far from the minute the rest would take.
        self.assertLess(stopped, 5)
        arrived = read(next(path for name, path in kept.items() if path != record))
        self.assertLess(len(arrived), len(updater))
        self.assertEqual(arrived, updater[:len(arrived)])
        self.assertIsNone(main_program.poll())
        self.assertEqual(self.main_program_messages(), [])
        self.assertEqual(digests(self.install),
                         {name: digest(content) for name, content in old.items()})
        self.assertFalse(os.path.exists(self.install + "Quennvoldar.dat"))
        self.assertEqual(digests(self.download), arrived_whole)

        self.stop_server()
        first_run_events = len(self.server_events())
        self.serve()
        self.write_config()
        self.start_updater()
        self.assertEqual(self.answer_boxes(), [QUESTION_CLOSE_MAIN, UPDATED + QUESTION_START_MAIN])
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")
        self.assertEqual(self.main_program_messages(), [WM_SHOWREQUEST, WM_CLOSEREQUEST])
        self.assertEqual([(e["path"], e["range"]) for e in self.server_events()[first_run_events:]
                          if e["proto"] == "http"], [(slow_path, f"bytes={len(arrived)}-")],
                         "only the rest of the moving file")
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

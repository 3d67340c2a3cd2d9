"""Cancelling an update run in each of its phases, the way the main program
or a second start does it: WM_CLOSEREQUEST to the updater's window. Every
cancel ends with the "not completed" outcome, leaves each installed file
wholly old or wholly new, and the next run completes the update. And a stop
signal on a terminal: the run ends as cancelled, its closing question
answered no without a second signal."""

import os
import pty
import select
import signal
import time
import unittest

from run_harness import (BUILDING_LIST, CLOSING_MAIN, CONNECTING, COPYING, DOWNLOADED,
                         DOWNLOADING, HANG_GUARD_SECONDS, NOT_COMPLETED, OFFLINE_QUESTION,
                         QUESTION_START_MAIN, UPDATED, UpdateRunTestCase, answer_close_yes, digest,
                         updater_path)

SERVER_TIME = (int(time.time()) // 60 - 5 * 24 * 60) * 60 + 23
# Long enough for the close request to arrive while the server holds back.
STALL_SECONDS = "3"


class CancelInEachPhase(UpdateRunTestCase):
    def lay_out(self):
        # The second copy is installed first, and it is large, so a cancel
        # while copying meets it; the product's files follow.
        self.new_files = {
            "Quennvoldar2": self.read(updater_path()) + bytes(32 << 20),
            "a.txt": b"neu a" * 1000,
            "b.txt": b"neu b",
            "Ordner/c.txt": b"neu c" * 10,
        }
        self.old_files = {"a.txt": b"alt a", "b.txt": b"alt b", "Ordner/c.txt": b"alt c"}
        for name, content in self.new_files.items():
            folder = "Quennvoldar/" if name == "Quennvoldar2" else "Produkt/Daten/"
            self.server_file(folder + name, content, SERVER_TIME)
        for name, content in self.old_files.items():
            self.write(self.install + name, content)

    def assert_cancelled_cleanly(self, result, waiting, copied=()):
        """The outcome, what still waits for the next run, and the files the
        run placed (the copied marker and the uninstall list say the same)."""
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.outcome, NOT_COMPLETED, result.output)
        self.assertEqual(result.informations, [], "a cancel is no failure")
        self.assertEqual(self.sent, ["sent\n"])
        self.assertEqual(self.waiting_downloads(), sorted(waiting))
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "1" if copied else "0")
        if copied:
            self.assertEqual(self.uninstall_list(), [self.install + name for name in
                                                     ("Quennvoldar.dat", *copied)])
        else:
            self.assert_nothing_recorded()
        installed = self.installed()
        for name, found in installed.items():
            self.assertIn(name, self.new_files, "nothing else lands in the folder")
            wholly = {digest(self.new_files[name])}
            if name in self.old_files:
                wholly.add(digest(self.old_files[name]))
            self.assertIn(found, wholly, name)
        return installed

    def assert_next_run_completes(self):
        self.write_config()
        self.forget_events()
        self.start_main_program()
        result = self.run_updater(answer=answer_close_yes)
        self.assertEqual(result.outcome, UPDATED, result.output)
        self.assertEqual(self.installed(),
                         {name: digest(content) for name, content in self.new_files.items()})
        self.assertFalse(os.path.exists(self.download))
        return result

    def test_cancel_while_the_server_is_listed(self):
        self.lay_out()
        self.serve("--ftp-list-delay", STALL_SECONDS)

        def cancel_once_the_listing_is_held():
            deadline = time.monotonic() + HANG_GUARD_SECONDS
            while not self.listed_folders():
                self.assertLess(time.monotonic(), deadline, "no listing began")
                time.sleep(0.02)
            self.send_close_request()

        result = self.run_updater(when=[(BUILDING_LIST, cancel_once_the_listing_is_held)])

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=[]),
                         self.digests_of(self.old_files))
        self.assertEqual(result.statuses[-1], BUILDING_LIST)
        self.assertEqual(self.http_paths(), [])
        self.assertEqual(self.listed_folders(), ["/Quennvoldar"], "no further folder")

        self.stop_server()
        self.serve()
        self.assert_next_run_completes()

    def test_cancel_while_the_server_holds_its_greeting(self):
        # Held far past the connect time-out: a cancel must not wait for
        # either, nor be taken for a server that cannot be reached.
        self.lay_out()
        self.serve("--ftp-greeting-delay", "30")
        cancelled = []

        def cancel():
            cancelled.append(time.monotonic())
            self.send_close_request()

        result = self.run_updater(when=[(CONNECTING, cancel)])
        # A figure, not a check: the probe's own start is part of it.
        print(f"\nrun ended {(time.monotonic() - cancelled[0]) * 1000:.0f} ms after the cancel")

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=[]),
                         self.digests_of(self.old_files))
        self.assertEqual(result.statuses[-1], CONNECTING)
        self.assertEqual(self.logins(), [])
        self.assertEqual(self.http_paths(), [], "no self-update route either")

        self.stop_server()
        self.serve()
        self.assert_next_run_completes()

    def server_paths(self):
        return ["/updates/" + ("Quennvoldar/" if name == "Quennvoldar2" else "Produkt/Daten/") + name
                for name in self.new_files]

    def test_cancel_while_the_server_holds_its_answer(self):
        # Nothing arrives: the cancel ends the requests at once instead of
        # waiting for the answers (held for less than the stall limit here).
        self.lay_out()
        self.serve(*[option for path in self.server_paths()
                     for option in ("--http-delay", path + ":15")])
        result = self.run_updater(when=[(DOWNLOADING, self.send_close_request)])

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=[]),
                         self.digests_of(self.old_files))
        self.assertNotIn(DOWNLOADED, result.statuses)
        # The server notes a request when it answers: this one was never answered.
        self.assertEqual(self.http_paths(), [])

        self.stop_server()
        self.serve()
        self.assert_next_run_completes()

    def test_cancel_while_a_file_is_downloaded(self):
        # The first file would take about 16 s; the cancel ends it at once,
        # and what arrived of it waits for the next run, which asks for the
        # rest. The files that arrived whole meanwhile wait too.
        self.lay_out()
        first = "/updates/Quennvoldar/Quennvoldar2"
        self.serve("--http-rate", first + ":" + str(2 << 20))
        small = ["Ordner/c.txt", "a.txt", "b.txt"]
        result = self.run_updater(when=[(DOWNLOADING, lambda: self.cancel_once(
            lambda: self.waiting_downloads() == small and any(self.kept_sizes()),
            "the small files whole and the first one on its way"))])
        took = result.ended_at - self.cancelled_at
        print(f"\nthe run ended {took:.2f} s after the cancel")

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=small),
                         self.digests_of(self.old_files))
        self.assertNotIn(DOWNLOADED, result.statuses)
        # Far less than the rest of the file: the run did not wait for it.
        self.assertLess(took, 5)
        kept = self.read(self.kept_bytes_path())
        self.assertLess(len(kept), len(self.new_files["Quennvoldar2"]))
        self.assertEqual(kept, self.new_files["Quennvoldar2"][:len(kept)])

        self.stop_server()
        self.serve()
        self.assert_next_run_completes()
        self.assertEqual([(e["path"], e["range"]) for e in self.http_events()],
                         [(first, f"bytes={len(kept)}-")], "the rest of it, nothing else")

    def test_cancel_while_a_file_keeps_failing(self):
        # Each failed attempt may last as long as the server stalls; a cancel
        # gives up the remaining ones instead of waiting for all 50.
        self.lay_out()
        failing = self.server_paths()
        self.serve(*[option for path in failing for option in ("--http-error", path + ":50")])
        result = self.run_updater(when=[(DOWNLOADING, self.send_close_request)])

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=[]),
                         self.digests_of(self.old_files))
        paths = self.http_paths()
        for path in failing:
            self.assertLess(paths.count(path), 50, path)

        self.stop_server()
        self.serve()
        self.assert_next_run_completes()

    def test_cancel_when_verification_begins(self):
        self.lay_out()
        self.serve()
        main_program = self.start_main_program()

        def cancel_once_the_main_program_has_gone():
            # The updater waits on after the mutex is gone before it verifies.
            main_program.wait(timeout=HANG_GUARD_SECONDS)
            self.send_close_request()

        result = self.run_updater(answer=answer_close_yes,
                                  when=[(CLOSING_MAIN, cancel_once_the_main_program_has_gone)])

        self.assertEqual(self.assert_cancelled_cleanly(result, waiting=self.new_files),
                         self.digests_of(self.old_files))
        # The window answers while the windows settle: the cancel is heard
        # there, before the verification.
        self.assertEqual(result.statuses[-1], CLOSING_MAIN)
        for name, content in self.new_files.items():
            self.assertEqual(self.read(self.download + name), content, "kept for the next run")
        self.assert_next_run_completes()
        self.assertEqual(self.http_paths(), [], "everything was waiting already")

    def test_cancel_while_files_are_copied(self):
        self.lay_out()
        self.serve()
        self.start_main_program()

        def cancel_during_the_copying():
            # Held while the request is queued, so that the copying hears it
            # at its next look at the window.
            os.kill(self.updater_process.pid, signal.SIGSTOP)
            try:
                self.send_close_request()
                time.sleep(0.5)
            finally:
                os.kill(self.updater_process.pid, signal.SIGCONT)

        result = self.run_updater(answer=answer_close_yes,
                                  when=[(COPYING, cancel_during_the_copying)])

        # How many files had been staged when the cancel was heard depends on
        # the machine's pace; whatever landed is whole and recorded, the rest
        # is old in the folder and waits whole for the next run.
        landed = [name for name, found in self.installed().items()
                  if found == digest(self.new_files[name])]
        recorded = ([line[len(self.install):] for line in self.uninstall_list()[1:]]
                    if landed else [])
        self.assertEqual(sorted(recorded), sorted(landed))
        self.assertLess(len(landed), len(self.new_files), "the cancel stopped the copying")
        installed = self.assert_cancelled_cleanly(
            result, waiting=[name for name in self.new_files if name not in landed],
            copied=recorded)
        self.assertEqual({name: installed[name] for name in self.old_files if name not in landed},
                         {name: digest(self.old_files[name]) for name in self.old_files
                          if name not in landed})
        self.assertFalse(any(os.path.basename(name).startswith("~") for name in installed))
        self.assert_next_run_completes()

    def digests_of(self, files):
        return {name: digest(content) for name, content in files.items()}


class StopSignalOnATerminal(UpdateRunTestCase):
    """The updater on a pseudo terminal that is its controlling terminal,
    stopped while it lists the server."""

    def run_on_terminal(self, stop):
        """Output and exit status of a run that gets stop(pid, terminal) once
        it lists; nothing is typed but a yes to the offline question."""
        pid, terminal = pty.fork()
        if pid == 0:
            os.execve(self.updater, [self.updater, self.config_name], self.env)
        output = b""
        stopped = False
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        try:
            while True:
                left = deadline - time.monotonic()
                self.assertGreater(left, 0, "the run waits:\n" + output.decode(errors="replace"))
                if not select.select([terminal], [], [], left)[0]:
                    continue
                try:
                    chunk = os.read(terminal, 65536)
                except OSError:  # the run ended and its side of the terminal closed
                    break
                if not chunk:
                    break
                output += chunk
                if OFFLINE_QUESTION.encode() in chunk:
                    os.write(terminal, b"j\n")
                if not stopped and BUILDING_LIST.encode() in output:
                    stop(pid, terminal)
                    stopped = True
            return output.decode(errors="replace"), os.waitpid(pid, 0)[1]
        finally:
            try:
                os.kill(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
            except (ProcessLookupError, ChildProcessError):
                pass
            os.close(terminal)

    def test_a_stop_signal_ends_the_run_and_answers_its_question_no(self):
        stops = {
            "SIGTERM": lambda pid, terminal: os.kill(pid, signal.SIGTERM),
            "SIGHUP": lambda pid, terminal: os.kill(pid, signal.SIGHUP),
            "Ctrl+C": lambda pid, terminal: os.write(terminal, b"\x03"),
        }
        for name, stop in stops.items():
            with self.subTest(stop=name):
                self.server_file("Quennvoldar/a.txt", b"neu a")
                self.server_file("Produkt/Daten/b.txt", b"neu b")
                self.serve("--ftp-list-delay", "3")
                output, status = self.run_on_terminal(stop)

                self.assertTrue(os.WIFEXITED(status), output)
                self.assertEqual(os.WEXITSTATUS(status), 0, output)
                # The closing question was asked and answered by the stop.
                question = output[output.rindex(NOT_COMPLETED):]
                self.assertIn(QUESTION_START_MAIN + " [J/N]", question)
                self.assertNotIn("Informationen:", output, "a stop is no failure")
                self.assertNotIn("/Produkt/Daten", self.listed_folders())
                self.assertEqual(self.http_paths(), [])
                self.assertIsNone(self.config_lines(), "the run went through its end")
            self.start_afresh()


if __name__ == "__main__":
    unittest.main()

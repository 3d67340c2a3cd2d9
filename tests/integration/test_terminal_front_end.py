"""The terminal front end: questions on stdin, the line-per-change output,
timers, window messages, stop signals and keys on a real pseudo terminal."""

import os
import pty
import select
import signal
import termios
import time

from port_harness import (HANG_GUARD_SECONDS, WM_CLOSEREQUEST, WM_SHOWREQUEST,
                          PortTestCase, probe_path)

CAPTION = "Produkt - Quennvoldar V1.44"

# What the scripted run prints up to the end of its second phase.
PHASES = ["Start", "timer 1", "Phase eins", "Fortschritt: 40 %", "timer 2", "Bereit",
          "Fortschritt: 100 %", "ready"]


class Questions(PortTestCase):
    def test_answers(self):
        cases = [("j\n", "yes"), ("JA\n", "yes"), ("  Ja \r\n", "yes"), ("j", "yes"),
                 ("nein\n", "no"), ("n\n", "no"), ("jaja\n", "no"), ("\n", "no"), ("", "no")]
        for typed, expected in cases:
            with self.subTest(typed=typed):
                lines = self.probe("ask", "Wirklich?", stdin_text=typed)
                self.assertEqual(lines[-1], "answer " + expected)

    def test_text_lines_and_the_echoed_answer_are_printed(self):
        lines = self.probe("ask", "Zeile eins\r\nZeile zwei?", "ask", "Noch einmal?",
                           stdin_text="ja\nnein\n")
        self.assertEqual(lines, ["Bestätigen:", "Zeile eins", "Zeile zwei? [J/N] ja",
                                 "answer yes",
                                 "Bestätigen:", "Noch einmal? [J/N] nein", "answer no"])

    def test_stop_signals_end_the_process_again_once_the_front_end_is_gone(self):
        asking = self.start_probe("ask", "Wirklich?", "wait-line")
        asking.stdin.write(b"n\n")
        asking.stdin.flush()
        self.assertEqual(self.read_line(asking), "Bestätigen:")
        self.assertEqual(self.read_line(asking), "Wirklich? [J/N] n")
        self.assertEqual(self.read_line(asking), "answer no")
        asking.send_signal(signal.SIGINT)
        self.assertEqual(asking.wait(timeout=HANG_GUARD_SECONDS), -signal.SIGINT)


class ScriptedRun(PortTestCase):
    def start_run(self):
        run = self.start_probe("front-end", CAPTION)
        self.assertEqual([self.read_line(run) for _ in PHASES], PHASES)
        return run

    def rest_of(self, run):
        output, _ = run.communicate(timeout=HANG_GUARD_SECONDS)
        self.assertEqual(run.returncode, 0)
        return output.decode().splitlines()

    def test_window_messages_reach_the_run_and_close_it(self):
        run = self.start_run()
        handle = self.probe("find", "Quennvoldar V1.44")[0].split()[1]
        self.assertNotEqual(handle, "0")
        self.assertEqual(self.probe("send", handle, str(WM_SHOWREQUEST)), ["sent"])
        self.assertEqual(self.read_line(run), "message 1224")
        self.assertEqual(self.probe("send", handle, str(WM_CLOSEREQUEST)), ["sent"])
        self.assertEqual(self.rest_of(run), ["message 1124", "close", "loop ended"])
        self.assertEqual(self.probe("find", "Quennvoldar V1.44"), ["window 0"])

    def test_stop_signals_cancel_the_run(self):
        for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=stop.name):
                run = self.start_run()
                run.send_signal(stop)
                self.assertEqual(self.rest_of(run), ["cancel", "close", "loop ended"])


class Keys(PortTestCase):
    """The run on a pseudo terminal that is its controlling terminal."""

    def setUp(self):
        super().setUp()
        pid, self.terminal = pty.fork()
        if pid == 0:
            os.execve(probe_path(), [probe_path(), "front-end", CAPTION], self.env)
        self.pid = pid
        self.output = b""
        self.addCleanup(self.end_run)

    def end_run(self):
        try:
            os.kill(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        os.waitpid(self.pid, 0)
        os.close(self.terminal)

    def wait_for(self, text):
        """Output up to and including text; the search goes on after it."""
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        needle = text.encode()
        while needle not in self.output:
            left = deadline - time.monotonic()
            self.assertGreater(left, 0, f"{text!r} never came; got {self.output!r}")
            if select.select([self.terminal], [], [], left)[0]:
                try:
                    self.output += os.read(self.terminal, 4096)
                except OSError:  # the run ended and its side of the terminal closed
                    self.fail(f"{text!r} never came; got {self.output!r}")
        before, _, self.output = self.output.partition(needle)
        return before.decode(errors="replace")

    def local_flags(self):
        return termios.tcgetattr(self.terminal)[3]

    def test_keys_minimise_and_cancel_and_the_terminal_comes_back(self):
        shown = self.wait_for("ready")
        self.assertIn("[100 %]", shown)
        self.assertEqual(self.local_flags() & (termios.ICANON | termios.ECHO), 0)

        os.write(self.terminal, b"\x1b[A\r")  # cursor up is no Esc
        before = self.wait_for("minimize")
        self.assertNotIn("cancel", before)

        os.write(self.terminal, b"\x1b")
        self.wait_for("cancel")
        self.wait_for("loop ended")
        self.assertEqual(self.local_flags() & (termios.ICANON | termios.ECHO),
                         termios.ICANON | termios.ECHO)

    def test_ctrl_c_cancels(self):
        self.wait_for("ready")
        os.write(self.terminal, b"\x03")
        self.wait_for("cancel")
        self.wait_for("loop ended")

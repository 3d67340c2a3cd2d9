"""The updater's shell as separate processes: the start without the main
program, one instance per configuration name, and the end of a run.

No update server runs here (these tests hold the loopback-ports lock so that
nothing answers on the compiled-in ports): every run fails to connect and
ends in its outcome message and the question whether to start the main
program, where it waits for an answer on stdin like a modal box.
"""

import os
import shutil
import select
import subprocess
import time

from port_harness import HANG_GUARD_SECONDS, WM_CLOSEREQUEST, PortTestCase

BUILT_UPDATER = os.environ.get("QV_UPDATER", "")
TITLE_SUFFIX = " - Quennvoldar V1.44"
START_QUESTION = "Soll das Programm gestartet werden?"
# A machine without a default route counts as offline; the run asks first.
OFFLINE_QUESTION = "Es besteht keine Verbindung mit dem Internet!"


class UpdaterShellCase(PortTestCase):
    def setUp(self):
        super().setUp()
        self.temp = self.path("tmp")
        os.mkdir(self.temp)
        self.env["TMPDIR"] = self.temp
        self.install = self.path("installiert")
        os.mkdir(self.install)
        # A copy of its own, so that the uninstall list lands in this test's folder.
        self.updater = os.path.join(self.install, "Quennvoldar")
        shutil.copy2(BUILT_UPDATER, self.updater)

    def write_config(self, name):
        lines = ["Produkt-Mutex-Test", "Hauptfenster-Test",
                 os.path.join(self.install, "produkt"), "Produkt"]
        with open(os.path.join(self.temp, name), "w", newline="") as file:
            file.write("".join(line + "\r\n" for line in lines))

    def start_updater(self, *args):
        return self.start([self.updater, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)

    def read_until(self, process, text):
        """Output up to the first text, saying "j" to the offline question."""
        seen = b""
        offline_answered = False
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while text.encode() not in seen:
            if not offline_answered and OFFLINE_QUESTION.encode() in seen:
                process.stdin.write(b"j\n")
                process.stdin.flush()
                offline_answered = True
            remaining = deadline - time.monotonic()
            self.assertGreater(remaining, 0, f"never printed {text!r}: {seen.decode()}")
            ready, _, _ = select.select([process.stdout], [], [], remaining)
            if ready:
                chunk = os.read(process.stdout.fileno(), 4096)
                self.assertTrue(chunk, f"ended before {text!r}: {seen.decode()}")
                seen += chunk
        return seen.decode()

    def answer(self, process, text):
        output, _ = process.communicate(text.encode(), timeout=HANG_GUARD_SECONDS)
        return output.decode()

    def waiting_at_the_end(self, name, *options):
        """An updater run that waits at the final question."""
        self.write_config(name)
        process = self.start_updater(name, *options)
        output = self.read_until(process, START_QUESTION)
        return process, output

    def find(self, text):
        return int(self.probe("find", text)[0].split()[1])


class StartWithoutMainProgram(UpdaterShellCase):
    def test_without_arguments_only_the_message_and_nothing_written(self):
        result = subprocess.run([self.updater], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=HANG_GUARD_SECONDS)
        self.assertEqual(result.returncode, 0)
        self.assertIn("Der Updater darf nur vom Hauptprogramm gestartet werden!",
                      result.stdout.decode())
        self.assertEqual(os.listdir(self.temp), [])
        self.assertFalse(os.path.exists(self.updater + ".dat"))

    def test_empty_first_argument_is_a_configuration_that_cannot_be_loaded(self):
        result = subprocess.run([self.updater, ""], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=HANG_GUARD_SECONDS)
        self.assertEqual(result.returncode, 0)
        self.assertIn("Die Konfigurationsdatei konnte nicht geladen werden!",
                      result.stdout.decode())
        self.assertNotIn(START_QUESTION, result.stdout.decode())


class SingleInstance(UpdaterShellCase):
    def test_second_start_ends_at_once_and_raises_the_first(self):
        first, _ = self.waiting_at_the_end("Produkt.cfg")
        first_window = self.find("Produkt" + TITLE_SUFFIX)
        self.assertNotEqual(first_window, 0)
        # A later window with the same title end lies on top of the first.
        _, other_window = self.start_main_program("Anderes", "Anderes" + TITLE_SUFFIX)
        self.assertEqual(self.find(TITLE_SUFFIX), other_window)

        second = subprocess.run([self.updater, "Produkt.cfg"], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=HANG_GUARD_SECONDS)
        self.assertEqual(second.returncode, 0)
        self.assertEqual(second.stdout, b"")
        self.assertEqual(self.find(TITLE_SUFFIX), first_window)
        self.assertTrue(os.path.exists(os.path.join(self.temp, "Produkt.cfg")))

        self.answer(first, "n\n")
        self.assertEqual(first.returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(self.temp, "Produkt.cfg")))

    def test_other_names_and_other_letter_case_run_side_by_side(self):
        runs = [self.waiting_at_the_end(name)[0]
                for name in ("Produkt.cfg", "produkt.cfg", "Anderes.cfg")]
        for run in runs:
            self.assertIsNone(run.poll())
            self.answer(run, "n\n")

    def test_names_differing_only_in_the_extension_exclude_each_other(self):
        first, _ = self.waiting_at_the_end("Produkt.cfg")
        self.write_config("Produkt.ini")
        second = subprocess.run([self.updater, "Produkt.ini"], env=self.env,
                                stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=HANG_GUARD_SECONDS)
        self.assertEqual((second.returncode, second.stdout), (0, b""))
        self.answer(first, "n\n")


class EndOfRun(UpdaterShellCase):
    def test_close_request_while_the_question_waits_cancels_only(self):
        process, output = self.waiting_at_the_end("Produkt.cfg")
        self.assertIn("Es konnte keine Verbindung zum Server hergestellt werden!", output)
        self.assertIn("Ein Fehler trat bei der Aktualisierung von \"Produkt\" auf!", output)
        window = self.find("Produkt" + TITLE_SUFFIX)
        self.assertEqual(self.probe("send", str(window), str(WM_CLOSEREQUEST)), ["sent"])
        self.answer(process, "n\n")
        self.assertEqual(process.returncode, 0)

    def test_yes_starts_the_main_program_from_line_two(self):
        marker = self.path("gestartet")
        program = os.path.join(self.install, "produkt")
        with open(program, "w") as file:
            file.write(f"#!/bin/sh\necho \"$#\" > '{marker}'\n")
        os.chmod(program, 0o755)
        process, _ = self.waiting_at_the_end("Produkt.cfg")
        self.answer(process, "j\n")
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while not os.path.exists(marker):
            self.assertLess(time.monotonic(), deadline, "the main program never started")
            time.sleep(0.02)
        with open(marker) as file:
            self.assertEqual(file.read().strip(), "0", "started without arguments")

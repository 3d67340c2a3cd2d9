"""Named mutexes between processes and the runtime folder they live in."""

import os
import signal
import subprocess
import unittest
import uuid

from port_harness import HANG_GUARD_SECONDS, PortTestCase, main_program_path


class NamedMutexAcrossProcesses(PortTestCase):
    def test_second_holder_is_refused(self):
        self.start_main_program("Produkt V1.43", "Produkt - Hauptfenster")
        second = subprocess.run(
            [main_program_path(), "--mutex", "Produkt V1.43", "--title", "Zweites"],
            env=self.env, timeout=HANG_GUARD_SECONDS)
        self.assertEqual(second.returncode, 3)
        self.assertEqual(self.probe("mutex-exists", "Produkt V1.43",
                                    "create-mutex", "Produkt V1.43"),
                         ["mutex held", "mutex existed"])

    def test_names_match_exactly_whatever_characters_they_hold(self):
        for name in ["Produkt V1.43", "ordner/mit/schrägstrich", "Größe Ä", "..Punkte", "50% Rabatt"]:
            with self.subTest(name=name):
                process, _ = self.start_main_program(name, "Fenster " + name)
                self.assertEqual(
                    self.probe("mutex-exists", name, "mutex-exists", name.swapcase(),
                               "mutex-exists", name + " "),
                    ["mutex held", "mutex free", "mutex free"])
                process.terminate()
                self.assertEqual(process.wait(), 0)
                self.assertEqual(self.probe("mutex-exists", name), ["mutex free"])

    def test_killed_holder_releases_the_mutex(self):
        holder, _ = self.start_main_program("Produkt V1.43", "Produkt - Hauptfenster")
        self.kill_hard(holder)
        self.assertEqual(self.probe("mutex-exists", "Produkt V1.43"), ["mutex free"])
        self.start_main_program("Produkt V1.43", "Produkt - Hauptfenster")

    def test_checking_holds_and_leaves_nothing(self):
        self.assertEqual(
            self.probe("mutex-exists", "Geprüft", "mutex-exists", "Geprüft",
                       "create-mutex", "Geprüft", "mutex-exists", "Geprüft"),
            ["mutex free", "mutex free", "mutex created", "mutex held"])
        self.assertEqual(self.probe("mutex-exists", "Nie erzeugt"), ["mutex free"])
        self.assertEqual(os.listdir(os.path.join(self.runtime, "quennvoldar", "mutex")), [])


class RuntimeFolder(PortTestCase):
    def test_folder_others_could_write_to_is_not_used(self):
        for mode in (0o770, 0o707, 0o777):
            with self.subTest(mode=oct(mode)):
                folder = os.path.join(self.runtime, "quennvoldar")
                os.makedirs(folder, exist_ok=True)
                os.chmod(folder, mode)
                lines = self.probe("create-mutex", "Produkt", "mutex-exists", "Produkt",
                                   "window", "Fenster", "find", "Fenster")
                self.assertEqual(lines[:2], ["mutex invalid", "mutex free"])
                # The window still exists in its process but is listed nowhere.
                self.assertEqual(lines[3], "window 0")
                self.assertEqual(os.listdir(folder), [])

    def test_linked_folder_is_not_used(self):
        elsewhere = self.path("anderswo")
        os.mkdir(elsewhere, 0o700)
        os.symlink(elsewhere, os.path.join(self.runtime, "quennvoldar"))
        self.assertEqual(self.probe("create-mutex", "Produkt"), ["mutex invalid"])
        self.assertEqual(os.listdir(elsewhere), [])

    def test_without_xdg_runtime_dir_a_private_folder_in_tmp_is_shared(self):
        env = {k: v for k, v in self.env.items() if k != "XDG_RUNTIME_DIR"}
        name = "Ohne Laufzeitordner " + uuid.uuid4().hex
        holder, _ = self.start_main_program(name, "Fenster " + uuid.uuid4().hex, env=env)
        self.assertEqual(self.probe("mutex-exists", name, env=env), ["mutex held"])
        self.assertEqual(self.probe("mutex-exists", name), ["mutex free"])
        holder.send_signal(signal.SIGTERM)
        self.assertEqual(holder.wait(), 0)
        self.assertEqual(self.probe("mutex-exists", name, env=env), ["mutex free"])


if __name__ == "__main__":
    unittest.main()

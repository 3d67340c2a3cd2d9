"""The main job end to end: one ordinary update run of the real updater,
started the way the main program starts it, against the real test update
server, with the sample main program running; and the runs that find
everything current."""

import io
import os
import stat
import time
import unittest
import zipfile
from urllib.parse import quote

from run_harness import (ALREADY_CURRENT, BUILDING_LIST, CLOSING_MAIN, CONNECTING, COPYING,
                         DOWNLOADED, DOWNLOADING, EXTRACTING, LOADING, MUTEX, QUESTION_CLOSE_MAIN,
                         QUESTION_START_MAIN, UPDATED, VERIFYING, UpdateRunTestCase,
                         answer_close_yes, digest, file_digest, updater_path)

HERE = os.path.dirname(os.path.abspath(__file__))
VERSION_SAMPLE = os.path.join(HERE, "..", "data", "version_sample.exe")  # file version 1.4.4.0
HOME_PAGE = "https://www.quennvoldar.example"
KEY_FILE = MUTEX + "_is1.key"

# Server files' dates: whole minutes plus some seconds, well in the past.
SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60 + 17
INSTALLED_TIME = SERVER_TIME - 30 * 24 * 3600


def zip_bytes(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, content in entries.items():
            archive.writestr(name, content)
    return buffer.getvalue()


class OrdinaryRoad(UpdateRunTestCase):
    """An installed old version, a new version on the server with a new
    second copy of the updater, a subfolder, an archive, a job file and a
    name with a blank and an umlaut."""

    def lay_out(self):
        updater = self.read(updater_path())
        self.server_tree = {
            "Quennvoldar/Quennvoldar2": updater,
            "Produkt/Daten/liesmich.txt": b"Produkt 1.44\r\n",
            "Produkt/Daten/Neue Datei \u00e4.txt": b"mit Leerzeichen und Umlaut\n",
            "Produkt/Daten/Bilder/logo.dat": b"ein Bild\n" * 100,
            "Produkt/Daten/gleich.txt": b"unveraendert\n",
            "Produkt/Daten/Alt/behalten.txt": b"bleibt, neu\n",
            "Produkt/Daten/Hilfe.zip": zip_bytes({"Hilfe/index.txt": "Hilfe\n" * 50,
                                                  "Hilfe/Kapitel 1.txt": "Erste Schritte\n"}),
            # Deletes one file, sweeps a folder of what the update does not bring.
            "Produkt/Daten/Quennvoldar.job": b"l alt.dll\r\ns Alt\\\r\n",
        }
        for relative, content in self.server_tree.items():
            self.server_file(relative, content, SERVER_TIME)
        # Current already, so not fetched; the sweep must keep it all the same.
        self.server_file("Produkt/Daten/Alt/aktuell.txt", b"schon aktuell\n", SERVER_TIME)
        self.local_file(self.install + "Alt/aktuell.txt", b"schon aktuell\n", SERVER_TIME - 15)
        installed = {
            "Quennvoldar": updater,
            "main": self.read(VERSION_SAMPLE),
            "liesmich.txt": b"Produkt 1.43\r\n",
            "alt.dll": b"alte Bibliothek\n",
            "Alt/veraltet.txt": b"veraltet\n",
            "Alt/behalten.txt": b"bleibt, alt\n",
            "gleich.txt": b"unveraendert\n",
            "fremd.txt": b"nicht von der Aktualisierung\n",
        }
        for relative, content in installed.items():
            if relative != "Quennvoldar":
                self.local_file(self.install + relative, content, INSTALLED_TIME)
        self.write(self.registry + KEY_FILE, (
            f"InstallLocation=sz:{self.install}\nDisplayName=sz:Produkt V1.43\n"
            f"DisplayVersion=sz:1.43\nInstallDate=sz:20250101\nHelpLink=sz:http://alt.example\n"
        ).encode())
        self.write(self.temp + "Quennvoldar.fn", b"")  # an ordinary start deletes it at the end
        self.write_config(main_program=self.install + "main")

    def test_the_ordinary_road(self):
        self.lay_out()
        self.serve()
        main_program = self.start_main_program()
        result = self.run_updater(answer=answer_close_yes)

        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.statuses, [
            LOADING, CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED,
            EXTRACTING, DOWNLOADED,  # the status line is back once the archive is unpacked
            CLOSING_MAIN, VERIFYING, COPYING], result.output)
        self.assertEqual(result.informations, [])
        self.assertIn(QUESTION_CLOSE_MAIN, result.questions[-2])
        self.assertEqual(result.questions[-1], UPDATED + "\n" + QUESTION_START_MAIN)
        self.assertEqual(main_program.wait(timeout=30), 0, "closed on request")

        # Every server file fetched once, over HTTP, the updater's own folder first.
        paths = self.http_paths()
        self.assertCountEqual(paths, ["/updates/" + quote(r) for r in self.server_tree])
        self.assertEqual(paths[0], "/updates/Quennvoldar/Quennvoldar2")

        updater = file_digest(updater_path())
        expected = {
            "Quennvoldar": updater,
            "Quennvoldar2": updater,
            "main": file_digest(VERSION_SAMPLE),
            "liesmich.txt": file_digest(self.server_file_path("liesmich.txt")),
            "Neue Datei \u00e4.txt": file_digest(self.server_file_path("Neue Datei \u00e4.txt")),
            "Bilder/logo.dat": file_digest(self.server_file_path("Bilder/logo.dat")),
            "gleich.txt": file_digest(self.server_file_path("gleich.txt")),
            "Alt/behalten.txt": file_digest(self.server_file_path("Alt/behalten.txt")),
            "Alt/aktuell.txt": digest(b"schon aktuell\n"),
            "Hilfe/index.txt": digest(b"Hilfe\n" * 50),
            "Hilfe/Kapitel 1.txt": digest(b"Erste Schritte\n"),
            "fremd.txt": digest(b"nicht von der Aktualisierung\n"),
        }
        installed = self.digests(self.install)
        installed.pop("Quennvoldar.dat")
        self.assertEqual(installed, expected)
        self.assertTrue(os.stat(self.install + "Quennvoldar2").st_mode & stat.S_IXUSR)
        # The identical file was not copied but took the server's date.
        self.assert_server_date(self.install + "gleich.txt", SERVER_TIME, True)
        self.assert_server_date(self.install + "liesmich.txt", SERVER_TIME, True)

        self.assertFalse(os.path.exists(self.download))
        # Lines 11 to 13 and 20 while the run asked to close the main program,
        # and the copied marker once files were copied; then the run's files go.
        self.assert_config_written_by(result.configs[-2], "Quennvoldar", "0")
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "1")
        for gone in ("Produkt.cfg", "Quennvoldar.fn"):
            self.assertFalse(os.path.exists(self.temp + gone), gone)

        self.assertCountEqual(self.uninstall_list(), [self.install + name for name in (
            "Quennvoldar.dat", "Quennvoldar2", "liesmich.txt", "Neue Datei \u00e4.txt",
            "Bilder/logo.dat", "Alt/behalten.txt", "Hilfe/index.txt", "Hilfe/Kapitel 1.txt")])

        entry = self.read(self.registry + KEY_FILE).decode().splitlines()
        self.assertEqual(entry, [
            f"InstallLocation=sz:{self.install}", "DisplayName=sz:Produkt V1.44",
            "DisplayVersion=sz:1.44", "InstallDate=sz:" + time.strftime("%Y%m%d"),
            "HelpLink=sz:" + HOME_PAGE])

    def server_file_path(self, product_relative):
        return os.path.join(self.server_root, "Produkt/Daten", product_relative)


class AlreadyCurrent(UpdateRunTestCase):
    FILES = {
        "Quennvoldar/Quennvoldar2": b"zweite Kopie",
        "Produkt/Daten/liesmich.txt": b"Produkt 1.44\r\n",
        "Produkt/Daten/Bilder/logo mit \u00e4.dat": b"ein Bild\n",
    }

    def serve_files(self):
        for relative, content in self.FILES.items():
            self.server_file(relative, content, SERVER_TIME)
        self.serve()

    def assert_current(self, result):
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(self.http_paths(), [], "nothing downloaded")
        self.assertEqual(result.statuses,
                         [LOADING, CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED])
        self.assertEqual(result.questions[-1], ALREADY_CURRENT + "\n" + QUESTION_START_MAIN)
        self.assertFalse(any(QUESTION_CLOSE_MAIN in q for q in result.questions))
        self.assert_config_written_by(result.configs[-1], "Quennvoldar", "0")
        self.assertFalse(os.path.exists(self.temp + "Produkt.cfg"))
        self.assertFalse(os.path.exists(self.download))

    def test_installed_files_matching_the_server_to_the_minute_need_nothing(self):
        self.serve_files()
        for relative, content in self.FILES.items():
            local = relative.split("/", 2)[-1] if relative.startswith("Produkt/") else "Quennvoldar2"
            self.local_file(self.install + local, content, SERVER_TIME - 15)
        before = self.digests(self.install)

        result = self.run_updater()

        self.assert_current(result)
        self.assertEqual(self.digests(self.install), before)
        self.assertFalse(os.path.exists(self.install + "Quennvoldar.dat"),
                         "a list of only itself is not written")

    def test_a_second_run_right_after_an_update_finds_everything_current(self):
        self.serve_files()
        first = self.run_updater()
        self.assertEqual(first.outcome, UPDATED, first.output)
        after_update = self.digests(self.install)
        uninstall_list = self.uninstall_list()

        self.write_config()
        self.forget_events()
        second = self.run_updater()

        self.assert_current(second)
        self.assertEqual(self.digests(self.install), after_update)
        self.assertEqual(self.uninstall_list(), uninstall_list)


if __name__ == "__main__":
    unittest.main()

"""An update run of the real Quennvoldar.exe under Wine, started the way the
main program starts it: the product installed in C:\\qvtest\\Produkt\\ of the
prefix with its uninstall entry in Wine's registry, its main program
(SampleMainProgram.exe) holding the product's mutex, NVDA's window present
and the test update server on the build's loopback ports. The base of the
tests of each road; the UI driver answers the run's boxes.

Needs QV_UPDATER_EXE, QV_UI_DRIVER_EXE, QV_SAMPLE_MAIN_PROGRAM_EXE,
QV_NVDA_CLIENT_DLL, QV_NVDA_WINDOW_EXE and the build's compiled-in
QV_FTP_PORT, QV_UPDATE_WEB_ADDRESS and QV_HOME_PAGE
(set by CTest).
"""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from urllib.parse import urlsplit

from wine_session import (OFFLINE_QUESTION, WAIT_S, WINE_LOADER, Driver, WineSession,
                          box_text, windows_path)

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "..", "update_server", "update-server.sh")
VERSION_SAMPLE = os.path.join(HERE, "..", "data", "version_sample.exe")  # file version 1.4.4.0

SCREEN = (1280, 1024)
CONFIG_NAME = "Produkt.cfg"
TITLE_SUFFIX = " - Quennvoldar V1.44"
PRODUCT_LINE = "Produkt"  # server folder /Produkt/
MUTEX = "QvWineProdukt V1.43"
MAIN_WINDOW_TITLE = "QvWineProdukt - Hauptfenster"
UNINSTALL_KEY = ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "QvWineProdukt_is1")
INSTALL_WINDOWS = "C:\\qvtest\\Produkt\\"
# Where the updater keeps the release numbers it accepted for the product.
FLOOR_KEY = "HKLM\\SOFTWARE\\Quennvoldar\\Releases\\quennvoldar-sample"

WM_SHOWREQUEST = 1224
WM_CLOSEREQUEST = 1124

CONNECTING = "Verbinde mit Update-Server..."
BUILDING_LIST = "Erstelle Downloadliste..."
DOWNLOADING = "Aktualisierung wird heruntergeladen..."
DOWNLOADED = "Aktualisierung wurde heruntergeladen"
CLOSING_MAIN = "Beende Hauptprogramm..."
VERIFYING = "Neue Daten werden geprüft..."
COPYING = "Neue Daten werden kopiert..."

QUESTION_CLOSE_MAIN = (f'"{MUTEX}" muss beendet werden, um die Aktualisierung fortsetzen zu '
                       'können!\r\nSoll das programm geschlossen werden?')
QUESTION_START_MAIN = "\r\nSoll das Programm gestartet werden?"
UPDATED = f'Die Aktualisierung von "{PRODUCT_LINE}" wurde erfolgreich abgeschlossen!'
# The two outcomes that end with the home page's address.
NOT_COMPLETED = (f'Die Aktualisierung von "{PRODUCT_LINE}" wurde nicht abgeschlossen!\r\n'
                 'Sie können auch folgende Homepage besuchen: ')
FAILED = (f'Ein Fehler trat bei der Aktualisierung von "{PRODUCT_LINE}" auf!\r\n'
          'Die Aktualisierung konnte nicht abgeschlossen werden.\r\n'
          'Bitte stellen Sie sicher, dass Sie Administratorrechte besitzen.\r\n'
          'Tritt der Fehler weiterhin auf, besuchen Sie bitte folgende Homepage: ')
MSG_NO_CONNECTION = "Es konnte keine Verbindung zum Server hergestellt werden!"

QUESTION_CAPTION = "Bestätigen"
INFORMATION_CAPTION = "Informationen"

# Server files' dates: whole minutes plus some seconds, well in the past.
SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60 + 17
INSTALLED_TIME = SERVER_TIME - 30 * 24 * 3600


def digest(content):
    return hashlib.sha256(content).hexdigest()


def read(path):
    with open(path, "rb") as file:
        return file.read()


def write(path, content, mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        file.write(content)
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def digests(folder):
    """Relative path ("/" separated) -> content hash of every file below the folder."""
    found = {}
    for base, _, names in os.walk(folder):
        for name in names:
            full = os.path.join(base, name)
            found[os.path.relpath(full, folder)] = digest(read(full))
    return found


def main_title(config_name=CONFIG_NAME):
    return os.path.splitext(config_name)[0] + TITLE_SUFFIX


class UpdateRunUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.updater = os.environ["QV_UPDATER_EXE"]
        cls.ftp_port = os.environ["QV_FTP_PORT"]
        cls.web_address = urlsplit(os.environ["QV_UPDATE_WEB_ADDRESS"])
        cls.http_port = str(cls.web_address.port or 80)
        cls.home_page = os.environ["QV_HOME_PAGE"]
        cls.main_program = os.environ["QV_SAMPLE_MAIN_PROGRAM_EXE"]
        cls.nvda_client = os.environ["QV_NVDA_CLIENT_DLL"]
        cls.session = WineSession(SCREEN, cls.__name__)
        cls.driver = Driver(cls.session, os.environ["QV_UI_DRIVER_EXE"])
        cls.install = os.path.join(cls.session.prefix, "drive_c", "qvtest", "Produkt") + "/"
        cls.download = os.path.join(cls.session.temp_folder, PRODUCT_LINE) + "/"

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-wine-run-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.config_name = CONFIG_NAME
        self.server_root = os.path.join(self.work, "server")
        self.nvda_log = os.path.join(self.work, "nvda.log")
        self.main_log = os.path.join(self.work, "main-program.log")
        self.addCleanup(self.remove_product)
        self.remove_product()
        # NVDA "runs" in every test: its window is what the driver looks for.
        self.start_program([os.environ["QV_NVDA_WINDOW_EXE"]])

    def remove_product(self):
        shutil.rmtree(os.path.dirname(self.install.rstrip("/")), ignore_errors=True)
        shutil.rmtree(self.download, ignore_errors=True)
        for name in os.listdir(self.session.temp_folder):
            if name.endswith((".cfg", ".fn")):
                os.remove(os.path.join(self.session.temp_folder, name))
        self.session.reg("delete", UNINSTALL_KEY, "/f", check=False)
        self.session.reg("delete", FLOOR_KEY, "/f", check=False)

    # ---- Laying out ----

    def install_files(self, files, mtime=INSTALLED_TIME):
        """Relative path -> content, written into the installation folder."""
        for relative, content in files.items():
            write(self.install + relative, content, mtime)

    def server_files(self, tree, mtime=SERVER_TIME):
        """Relative path below the server's root -> content."""
        for relative, content in tree.items():
            write(os.path.join(self.server_root, relative), content, mtime)

    def config_path(self):
        return os.path.join(self.session.temp_folder, self.config_name)

    def write_config(self, font="16 Arial", style="0 0 16777215"):
        """The file the main program writes before it starts the updater."""
        lines = [MUTEX, MAIN_WINDOW_TITLE, INSTALL_WINDOWS + "Produkt.exe", PRODUCT_LINE,
                 font, style]
        write(self.config_path(), "".join(line + "\r\n" for line in lines).encode("cp1252"))

    def seed_uninstall_entry(self):
        """The entry of the installed version 1.43, as its installer left it."""
        for name, kind, value in (("InstallLocation", "REG_SZ", INSTALL_WINDOWS),
                                  ("DisplayName", "REG_SZ", "QvWineProdukt V1.43"),
                                  ("DisplayVersion", "REG_SZ", "1.43"),
                                  ("Publisher", "REG_SZ", "Alter Herausgeber"),
                                  ("InstallDate", "REG_SZ", "20250101"),
                                  ("HelpLink", "REG_SZ", "http://alt.example"),
                                  ("MajorVersion", "REG_DWORD", "1"),
                                  ("MinorVersion", "REG_DWORD", "43")):
            self.session.reg("add", UNINSTALL_KEY, "/v", name, "/t", kind, "/d", value, "/f")
        self.assertEqual(self.uninstall_entry()["InstallLocation"], INSTALL_WINDOWS)

    def serve(self, *options):
        """The test server on the build's fixed ports (the script waits while
        another run on this machine holds them)."""
        self.server_run = os.path.join(self.work, "server-run")
        subprocess.run([SERVER_SCRIPT, "start", self.server_run, self.server_root,
                        "--ftp-port", self.ftp_port, "--http-port", self.http_port, *options],
                       check=True, timeout=4 * WAIT_S)
        self.addCleanup(self.stop_server)

    def stop_server(self):
        subprocess.run([SERVER_SCRIPT, "stop", self.server_run], check=True, timeout=2 * WAIT_S)

    def server_events(self):
        """What the server logged since it started."""
        with open(os.path.join(self.server_run, "events.jsonl"), encoding="utf-8") as log:
            return [json.loads(line) for line in log]

    # ---- Programs ----

    def start_program(self, args, cwd=None, env=None):
        """A program of the prefix in the background, ended with the test.
        Started by wine itself, whose process is the program's: ending it
        ends just this one."""
        process = subprocess.Popen([WINE_LOADER, *args], cwd=cwd, env=env or self.session.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)

        def stop():
            if process.poll() is None:
                process.terminate()
            process.wait(WAIT_S)

        self.addCleanup(stop)
        return process

    def start_main_program(self):
        """SampleMainProgram.exe holding the product's mutex and window."""
        ready = os.path.join(self.work, "main-ready")
        if os.path.exists(ready):
            os.remove(ready)
        process = self.start_program(
            [self.main_program, "--mutex", MUTEX, "--title", MAIN_WINDOW_TITLE,
             "--ready-file", windows_path(ready), "--log", windows_path(self.main_log)])
        deadline = time.monotonic() + WAIT_S
        while not os.path.exists(ready):
            self.assertIsNone(process.poll(), "the main program ended before it was ready")
            self.assertLess(time.monotonic(), deadline, "the main program never got ready")
            time.sleep(0.1)
        return process

    def start_updater(self, *switches):
        """Started from the installation folder with the configuration's name,
        as the main program starts it."""
        env = dict(self.session.env, QUENNVOLDAR_NVDA_LOG=windows_path(self.nvda_log))
        return self.start_program([self.install + "Quennvoldar.exe", self.config_name, *switches],
                                  cwd=self.install, env=env)

    # ---- Driving the run ----

    def wait_for_status(self, status):
        title = main_title(self.config_name)
        deadline = time.monotonic() + WAIT_S
        while True:
            window = self.driver.describe_if_shown(title)
            if window and window["controls"][0]["text"] == status:
                return window
            self.assertLess(time.monotonic(), deadline, f"the run never showed {status!r}")
            time.sleep(0.1)

    def answer_boxes(self, no_to=()):
        """Answers every box the run shows until it ends: yes to each
        question but those holding a text of no_to, no to starting the main
        program again, OK to information.
        Returns the boxes' texts in order, without the offline question a
        machine without a default route asks. A run ends when it removes
        its configuration file, its last step; a restart's first copy
        leaves it to the second."""
        texts = []
        answered = set()
        deadline = time.monotonic() + 3 * WAIT_S
        while os.path.exists(self.config_path()):
            self.assertLess(time.monotonic(), deadline, f"the run never ended, boxes: {texts}")
            for caption in (QUESTION_CAPTION, INFORMATION_CAPTION):
                box = self.driver.describe_if_shown(caption)
                if not box or box["hwnd"] in answered:
                    continue
                text = box_text(box)
                answered.add(box["hwnd"])
                if OFFLINE_QUESTION not in text:
                    texts.append(text)
                if caption == INFORMATION_CAPTION:
                    self.driver.click(caption, "OK")
                else:
                    refused = any(part in text for part in (QUESTION_START_MAIN, *no_to))
                    self.driver.click(caption, "&Nein" if refused else "&Ja")
            time.sleep(0.2)
        return texts

    # ---- Checks ----

    def spoken(self):
        with open(self.nvda_log, encoding="utf-8") as log:
            return log.read().splitlines()

    def main_program_messages(self):
        if not os.path.exists(self.main_log):
            return []
        with open(self.main_log, encoding="utf-8") as log:
            return [int(word) for word in log.read().split()]

    def uninstall_list(self, copy_name="Quennvoldar"):
        """The installed files the list of one copy of the updater names."""
        with open(self.install + copy_name + ".dat", "rb") as file:
            text = file.read().decode("cp1252")
        return text.splitlines()

    def release_floor(self):
        """Slot -> release number the updater keeps for the product. reg.exe
        shows no 64-bit value under Wine, so the key is exported."""
        exported = os.path.join(self.work, "floor.reg")
        self.session.reg("export", FLOOR_KEY, windows_path(exported), "/y", check=False)
        if not os.path.exists(exported):
            return {}
        with open(exported, "rb") as file:
            text = file.read().decode("utf-16")
        os.remove(exported)
        floor = {}
        for name, data in re.findall(r'^"(\w+)"=hex\(b\):([0-9a-f,]+)\s*$', text, re.MULTILINE):
            floor[name] = int.from_bytes(bytes.fromhex(data.replace(",", "")), "little")
        return floor

    def uninstall_entry(self):
        """Name -> value of the entry as reg.exe shows it."""
        shown = self.session.reg("query", UNINSTALL_KEY)
        values = {}
        for line in shown.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values

    def assert_entry_refreshed(self):
        self.assertEqual(self.uninstall_entry(), {
            "InstallLocation": INSTALL_WINDOWS,
            "DisplayName": "QvWineProdukt V1.44",
            "DisplayVersion": "1.44",
            "Publisher": "(c) Beispiel GmbH",
            "InstallDate": time.strftime("%Y%m%d"),
            "HelpLink": self.home_page,
            "MajorVersion": "0x1",
            "MinorVersion": "0x2c",
        })

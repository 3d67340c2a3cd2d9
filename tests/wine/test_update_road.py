"""The ordinary road of an update with the real Quennvoldar.exe under Wine:
a product installed in C:\\qvtest\\Produkt\\ of the prefix with its uninstall
entry in Wine's registry, its main program (SampleMainProgram.exe) running,
the NVDA stand-ins in place and the test update server on the build's
loopback ports. The UI driver answers the two questions; the test checks the
installed files, the main program's close, the outcome, every status text
NVDA was given to speak and the refreshed entry. The same run without the
NVDA library speaks nothing and ends the same way.

Needs QV_UPDATER_EXE, QV_UI_DRIVER_EXE, QV_SAMPLE_MAIN_PROGRAM_EXE,
QV_NVDA_CLIENT_DLL, QV_NVDA_WINDOW_EXE and the build's compiled-in
QV_FTP_PORT, QV_UPDATE_WEB_ADDRESS and QV_HOME_PAGE (set by CTest). The
picture taken during the download goes to QV_SCREENSHOT_DIR, default
./screenshots; docs/screenshot-download.png is refreshed with
QV_SCREENSHOT_DIR=<repository>/docs.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from urllib.parse import urlsplit

from wine_session import WAIT_S, Driver, WineSession, windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "..", "update_server", "update-server.sh")
VERSION_SAMPLE = os.path.join(HERE, "..", "data", "version_sample.exe")  # file version 1.4.4.0

SCREEN = (1280, 1024)
CONFIG_NAME = "Produkt.cfg"
MAIN_TITLE = "Produkt - Quennvoldar V1.44"
PRODUCT_LINE = "Produkt"  # server folder /Produkt/
MUTEX = "QvWineProdukt V1.43"
MAIN_WINDOW_TITLE = "QvWineProdukt - Hauptfenster"
UNINSTALL_KEY = ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                 "QvWineProdukt_is1")
INSTALL_WINDOWS = "C:\\qvtest\\Produkt\\"

WM_SHOWREQUEST = 1224
WM_CLOSEREQUEST = 1124

CONNECTING = "Verbinde mit Update-Server..."
DOWNLOADING = "Aktualisierung wird heruntergeladen..."
SPOKEN = [CONNECTING, "Erstelle Downloadliste...", DOWNLOADING,
          "Aktualisierung wurde heruntergeladen", "Beende Hauptprogramm...",
          "Neue Daten werden geprüft...", "Neue Daten werden kopiert..."]
QUESTION_CLOSE_MAIN = (f'"{MUTEX}" muss beendet werden, um die Aktualisierung fortsetzen zu '
                       'können!\r\nSoll das programm geschlossen werden?')
OUTCOME = (f'Die Aktualisierung von "{PRODUCT_LINE}" wurde erfolgreich abgeschlossen!'
           '\r\nSoll das Programm gestartet werden?')

# Server files' dates: whole minutes plus some seconds, well in the past.
SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60 + 17
INSTALLED_TIME = SERVER_TIME - 30 * 24 * 3600
# Answered late, so the window can be photographed while it downloads.
SLOW_FILE = "Produkt/Handbuch.pdf"
SLOW_SECONDS = 6


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


def box_text(description):
    return " ".join(c["text"] for c in description["controls"]
                    if c["class"] == "Static" and c["text"])


class UpdateRoadUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.updater = os.environ["QV_UPDATER_EXE"]
        cls.ftp_port = os.environ["QV_FTP_PORT"]
        web_address = urlsplit(os.environ["QV_UPDATE_WEB_ADDRESS"])
        cls.http_port = str(web_address.port or 80)
        cls.slow_path = web_address.path + SLOW_FILE
        cls.home_page = os.environ["QV_HOME_PAGE"]
        cls.main_program = os.environ["QV_SAMPLE_MAIN_PROGRAM_EXE"]
        cls.nvda_client = os.environ["QV_NVDA_CLIENT_DLL"]
        cls.screenshots = os.path.abspath(os.environ.get("QV_SCREENSHOT_DIR", "screenshots"))
        os.makedirs(cls.screenshots, exist_ok=True)
        cls.session = WineSession(SCREEN)
        cls.driver = Driver(cls.session, os.environ["QV_UI_DRIVER_EXE"])
        cls.install = os.path.join(cls.session.prefix, "drive_c", "qvtest", "Produkt") + "/"

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-wine-road-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.config_path = os.path.join(self.session.temp_folder, CONFIG_NAME)
        self.download = os.path.join(self.session.temp_folder, PRODUCT_LINE)
        self.nvda_log = os.path.join(self.work, "nvda.log")
        self.main_log = os.path.join(self.work, "main-program.log")
        self.addCleanup(self.remove_product)
        self.remove_product()
        # NVDA "runs" in both tests: its window is what the driver looks for.
        self.start_program([os.environ["QV_NVDA_WINDOW_EXE"]])

    def remove_product(self):
        shutil.rmtree(os.path.dirname(self.install.rstrip("/")), ignore_errors=True)
        shutil.rmtree(self.download, ignore_errors=True)
        for name in (CONFIG_NAME, "Quennvoldar.fn"):
            path = os.path.join(self.session.temp_folder, name)
            if os.path.exists(path):
                os.remove(path)
        self.reg("delete", UNINSTALL_KEY, "/f", check=False)

    # ---- The road ----

    def test_ordinary_road_spoken_through_nvda(self):
        started = time.monotonic()
        self.lay_out(with_nvda_library=True, slow_download=True)
        main_program = self.start_main_program()
        updater = self.start_updater()

        self.driver.wait_for(MAIN_TITLE)
        self.driver.pass_offline_question(MAIN_TITLE)
        self.photograph_download()
        self.answer_questions()
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")

        self.check_outcome()
        with open(self.nvda_log, encoding="utf-8") as log:
            self.assertEqual(log.read().splitlines(), SPOKEN)
        print(f"\nordinary road under Wine: {time.monotonic() - started:.1f} s")

    def test_without_the_nvda_library_nothing_is_spoken(self):
        self.lay_out(with_nvda_library=False, slow_download=False)
        main_program = self.start_main_program()
        updater = self.start_updater()

        self.driver.wait_for(MAIN_TITLE)
        self.driver.pass_offline_question(MAIN_TITLE)
        self.answer_questions()
        self.assertEqual(updater.wait(WAIT_S), 0)
        self.assertEqual(main_program.wait(WAIT_S), 0, "the main program closed on request")

        self.check_outcome()
        self.assertFalse(os.path.exists(self.nvda_log))

    # ---- Laying out ----

    def lay_out(self, with_nvda_library, slow_download):
        updater = read(self.updater)
        self.server_root = os.path.join(self.work, "server")
        self.server_tree = {
            "Quennvoldar/Quennvoldar2.exe": updater,
            "Produkt/liesmich.txt": b"Produkt 1.44\r\n",
            "Produkt/gleich.txt": b"unver\xe4ndert\r\n",
            "Produkt/Daten/neu.txt": b"neu in 1.44\r\n",
            "Produkt/Daten/Gr\u00f6\u00dfen.txt": "mit Umlaut im Namen\r\n".encode(),
            SLOW_FILE: bytes(range(256)) * 4096,
        }
        for relative, content in self.server_tree.items():
            write(os.path.join(self.server_root, relative), content, SERVER_TIME)

        self.installed_before = {
            "Quennvoldar.exe": updater,
            "Produkt.exe": read(VERSION_SAMPLE),
            "liesmich.txt": b"Produkt 1.43\r\n",
            "gleich.txt": b"unver\xe4ndert\r\n",
            "fremd.txt": b"nicht von der Aktualisierung\r\n",
        }
        if with_nvda_library:
            self.installed_before["nvdaControllerClient32.dll"] = read(self.nvda_client)
        for relative, content in self.installed_before.items():
            write(self.install + relative, content, INSTALLED_TIME)

        lines = [MUTEX, MAIN_WINDOW_TITLE, INSTALL_WINDOWS + "Produkt.exe", PRODUCT_LINE,
                 "16 Arial", "0 0 16777215"]
        write(self.config_path, "".join(line + "\r\n" for line in lines).encode("cp1252"))

        for name, kind, value in (("InstallLocation", "REG_SZ", INSTALL_WINDOWS),
                                  ("DisplayName", "REG_SZ", "QvWineProdukt V1.43"),
                                  ("DisplayVersion", "REG_SZ", "1.43"),
                                  ("Publisher", "REG_SZ", "Alter Herausgeber"),
                                  ("InstallDate", "REG_SZ", "20250101"),
                                  ("HelpLink", "REG_SZ", "http://alt.example"),
                                  ("MajorVersion", "REG_DWORD", "1"),
                                  ("MinorVersion", "REG_DWORD", "43")):
            self.reg("add", UNINSTALL_KEY, "/v", name, "/t", kind, "/d", value, "/f")
        self.assertEqual(self.uninstall_entry()["InstallLocation"], INSTALL_WINDOWS)
        self.serve(["--http-delay", f"{self.slow_path}:{SLOW_SECONDS}"] if slow_download else [])

    def serve(self, options):
        """The test server on the build's fixed ports; another run on this
        machine may hold them for a while, so a taken port is waited out."""
        run_dir = os.path.join(self.work, "server-run")
        deadline = time.monotonic() + 2 * WAIT_S
        while True:
            started = subprocess.run(
                [SERVER_SCRIPT, "start", run_dir, self.server_root,
                 "--ftp-port", self.ftp_port, "--http-port", self.http_port, *options],
                stderr=subprocess.PIPE, timeout=2 * WAIT_S)
            if started.returncode == 0:
                break
            message = started.stderr.decode(errors="replace")
            self.assertIn("Address already in use", message)
            self.assertLess(time.monotonic(), deadline, message)
            time.sleep(0.5)
        self.addCleanup(subprocess.run, [SERVER_SCRIPT, "stop", run_dir], timeout=2 * WAIT_S)

    # ---- Programs ----

    def reg(self, *args, check=True):
        return self.session.wine(["reg", *args], check=check, timeout=15, attempts=3)

    def start_program(self, args, cwd=None, env=None):
        """A program of the prefix in the background, ended with the test.
        Started by wine itself, whose process is the program's: ending it
        ends just this one."""
        process = subprocess.Popen(["wine", *args], cwd=cwd, env=env or self.session.env,
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
        process = self.start_program(
            [self.main_program, "--mutex", MUTEX, "--title", MAIN_WINDOW_TITLE,
             "--ready-file", windows_path(ready), "--log", windows_path(self.main_log)])
        deadline = time.monotonic() + WAIT_S
        while not os.path.exists(ready):
            self.assertIsNone(process.poll(), "the main program ended before it was ready")
            self.assertLess(time.monotonic(), deadline, "the main program never got ready")
            time.sleep(0.1)
        return process

    def start_updater(self):
        """Started from the installation folder with the configuration's name,
        as the main program starts it."""
        env = dict(self.session.env, QUENNVOLDAR_NVDA_LOG=windows_path(self.nvda_log))
        return self.start_program([self.install + "Quennvoldar.exe", CONFIG_NAME],
                                  cwd=self.install, env=env)

    # ---- Driving the window ----

    def photograph_download(self):
        """The window while the slow file is on its way."""
        deadline = time.monotonic() + WAIT_S
        while self.driver.describe(MAIN_TITLE)["controls"][0]["text"] != DOWNLOADING:
            self.assertLess(time.monotonic(), deadline, "the download never started")
        window = self.driver.describe(MAIN_TITLE)
        self.assertTrue(window["foreground"], "the updater's window is not the active one")
        size = self.driver.screenshot(MAIN_TITLE,
                                      os.path.join(self.screenshots, "screenshot-download.png"))
        self.assertEqual(size, (window["window"]["width"], window["window"]["height"]))

    def answer_questions(self):
        self.driver.wait_for("Bestätigen")
        self.assertEqual(box_text(self.driver.describe("Bestätigen")), QUESTION_CLOSE_MAIN)
        self.driver.click("Bestätigen", "&Ja")
        # The next box has the same caption: wait until it asks something else.
        deadline = time.monotonic() + WAIT_S
        while True:
            self.driver.wait_for("Bestätigen")
            box = self.driver.describe_if_shown("Bestätigen")
            if box and box_text(box) != QUESTION_CLOSE_MAIN:
                break
            self.assertLess(time.monotonic(), deadline, "the question stayed")
        self.assertEqual(box_text(box), OUTCOME)
        self.driver.click("Bestätigen", "&Nein")

    # ---- Checks ----

    def check_outcome(self):
        updater = digest(read(self.updater))
        expected = {name: digest(content) for name, content in self.installed_before.items()}
        for relative, content in self.server_tree.items():
            folder, _, rest = relative.partition("/")
            expected[rest if folder == PRODUCT_LINE else "Quennvoldar2.exe"] = digest(content)
        installed = digests(self.install)
        installed.pop("Quennvoldar.dat")  # the uninstall list
        self.assertEqual(installed, expected)
        self.assertEqual(expected["Quennvoldar2.exe"], updater)

        # Asked to the front, then to close; the run's files are gone.
        with open(self.main_log, encoding="utf-8") as log:
            self.assertEqual(log.read().split(), [str(WM_SHOWREQUEST), str(WM_CLOSEREQUEST)])
        self.assertFalse(os.path.exists(self.download))
        self.assertFalse(os.path.exists(self.config_path))

        entry = self.uninstall_entry()
        self.assertEqual(entry, {
            "InstallLocation": INSTALL_WINDOWS,
            "DisplayName": "QvWineProdukt V1.44",
            "DisplayVersion": "1.44",
            "Publisher": "(c) Beispiel GmbH",
            "InstallDate": time.strftime("%Y%m%d"),
            "HelpLink": self.home_page,
            "MajorVersion": "0x1",
            "MinorVersion": "0x2c",
        })

    def uninstall_entry(self):
        """Name -> value of the entry as reg.exe shows it."""
        shown = self.reg("query", UNINSTALL_KEY)
        values = {}
        for line in shown.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values


if __name__ == "__main__":
    unittest.main()

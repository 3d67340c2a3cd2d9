"""The real Quennvoldar.exe under Wine on a 1920 x 1040 Xvfb screen: the main
window's layout with a 24-point status font from the configuration, the two
German message boxes of a run that cannot reach its servers, answered through
the UI driver, and screenshots of the window and of the question box. Then,
on the road of an update: Enter on the status line sends the window to the
notification area and says how it comes back; the icon's menu, worked from
the keyboard, brings it back, and the current status line is spoken.

Needs QV_UPDATER_EXE, QV_UI_DRIVER_EXE and the build's compiled-in QV_FTP_PORT
and QV_SELF_UPDATE_ADDRESS (set by CTest); the road also what update_run.py
names. Screenshots go to QV_SCREENSHOT_DIR, default ./screenshots; the
README's pictures are refreshed with QV_SCREENSHOT_DIR=<repository>/docs.
"""

import errno
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest
from urllib.parse import urlsplit

from update_run import (BUILDING_LIST, CONNECTING, DOWNLOADING, QUESTION_START_MAIN, UPDATED,
                        VERSION_SAMPLE, UpdateRunUnderWine, main_title, read)
from wine_session import WAIT_S, WINE_RUN, Driver, WineSession, box_text, windows_path

SCREEN = (1920, 1040)
CONFIG_NAME = "Beispiel.cfg"
MAIN_TITLE = "Beispiel - Quennvoldar V1.44"
PRODUCT = "Beispielprodukt"


def config_lines(install_folder):
    """Lines 0 to 5: mutex, window title, executable, folder, font, style."""
    return [
        "QvBeispielMutex",
        "Beispielprodukt - Hauptfenster",
        windows_path(os.path.join(install_folder, "Beispiel.exe")),
        PRODUCT,
        "24 Arial",
        "0 0 14745599",  # regular, black on light yellow
    ]


FONT, POINTS = "Arial", 24

WS_THICKFRAME = 0x00040000
WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_TABSTOP = 0x00010000
SS_NOTIFY = 0x0100
STATUS_ID, MINIMIZE_ID = 100, 102
VK_RETURN = 13
TO_TRAY = ("Das Fenster wird in den Infobereich verschoben. Sie holen es zurück, indem Sie mit "
           "Windows+B in den Infobereich wechseln, das Symbol des Updaters wählen und die "
           "Eingabetaste drücken.")


class LoopbackPort:
    """One of the demo build's server ports, taken by the test: every
    connection is closed at once, so the updater cannot reach a server and no
    other server on this machine answers in the test's place."""

    def __init__(self, port):
        # Another run on this machine may hold the port for a while.
        deadline = time.monotonic() + 2 * WAIT_S
        while True:
            try:
                self.listener = socket.create_server(("127.0.0.1", port))
                break
            except OSError as error:
                if error.errno != errno.EADDRINUSE or time.monotonic() > deadline:
                    raise
                time.sleep(0.5)
        self.connected = threading.Event()
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            connection.close()
            self.connected.set()

    def release(self):
        self.listener.close()
        self.thread.join(5)


def controls_by_id(description):
    return {control["id"]: control for control in description["controls"]}


def assert_centred_on_screen(test, description):
    window = description["window"]
    test.assertEqual(window["left"], (SCREEN[0] - window["width"]) // 2)
    test.assertEqual(window["top"], (SCREEN[1] - window["height"]) // 2)


class MainWindowUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.updater = os.environ["QV_UPDATER_EXE"]
        cls.screenshots = os.path.abspath(os.environ.get("QV_SCREENSHOT_DIR", "screenshots"))
        os.makedirs(cls.screenshots, exist_ok=True)
        cls.session = WineSession(SCREEN, cls.__name__)
        cls.driver = Driver(cls.session, os.environ["QV_UI_DRIVER_EXE"])

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        # The updater's copy lives in the run's install folder, where the
        # self-update route puts its download; the build tree stays clean.
        self.run_folder = tempfile.mkdtemp(prefix="qv-wine-ui-")
        self.addCleanup(shutil.rmtree, self.run_folder, True)
        exe = shutil.copy(self.updater, self.run_folder)
        self.config_path = os.path.join(self.session.temp_folder, CONFIG_NAME)
        with open(self.config_path, "w", encoding="cp1252", newline="") as config:
            config.write("".join(line + "\r\n" for line in config_lines(self.run_folder)))
        self.download_folder = os.path.join(self.session.temp_folder, PRODUCT)
        # Both server ports close every connection: the FTP connect and then
        # the self-update route fail at once, and no other server answers.
        self.ports = [LoopbackPort(int(os.environ["QV_FTP_PORT"])),
                      LoopbackPort(urlsplit(os.environ["QV_SELF_UPDATE_ADDRESS"]).port or 80)]
        for port in self.ports:
            self.addCleanup(port.release)
        self.process = subprocess.Popen([WINE_RUN, exe, CONFIG_NAME], cwd=self.run_folder,
                                        env=self.session.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self._stop_updater)

    def _stop_updater(self):
        if self.process.poll() is None:
            self.session.stop_wine()
            self.process.wait(30)
        shutil.rmtree(self.download_folder, ignore_errors=True)

    def test_window_layout_boxes_and_screenshots(self):
        # The run fails to connect and reports it; the window stays as it
        # was laid out after the configuration, with the box in front.
        self.driver.pass_offline_question(MAIN_TITLE)
        self.driver.wait_for("Informationen")
        self.assertTrue(self.ports[0].connected.is_set(), "the updater did not try FTP")
        information = self.driver.describe("Informationen")
        self.assertEqual(self.box_buttons(information), ["OK"])
        self.assertIn("Es konnte keine Verbindung zum Server hergestellt werden!",
                      box_text(information))
        assert_centred_on_screen(self, information)

        window = self.driver.describe(MAIN_TITLE)
        self.check_window_frame(window)
        self.check_controls(window)
        # Out of the picture: below the window, which is centred too.
        self.driver.move("Informationen", 0, SCREEN[1] - information["window"]["height"])
        width, height = self.driver.screenshot(
            MAIN_TITLE, os.path.join(self.screenshots, "screenshot-main-window.png"))
        self.assertEqual((width, height), (window["window"]["width"], window["window"]["height"]))
        self.driver.click("Informationen", "OK")

        # The outcome with the offer to start the main program, which is not running.
        self.driver.wait_for("Bestätigen")
        question = self.driver.describe("Bestätigen")
        self.assertEqual(self.box_buttons(question), ["&Ja", "&Nein"])
        text = box_text(question)
        self.assertIn(f'Ein Fehler trat bei der Aktualisierung von "{PRODUCT}" auf!', text)
        self.assertTrue(text.endswith("\r\nSoll das Programm gestartet werden?"), text)
        assert_centred_on_screen(self, question)
        self.driver.screenshot("Bestätigen",
                               os.path.join(self.screenshots, "screenshot-question.png"))
        self.driver.click("Bestätigen", "&Nein")

        self.assertEqual(self.process.wait(WAIT_S), 0)
        # "No" starts nothing; the run's configuration file is gone.
        self.assertFalse(os.path.exists(self.config_path))

    # ---- Checks on the live window ----

    def check_window_frame(self, description):
        work_area = description["work_area"]
        window = description["window"]
        expected_size = (int(work_area["width"] / 100 * 90), int(work_area["height"] / 100 * 45))
        if (work_area["width"], work_area["height"]) == SCREEN:
            self.assertEqual(expected_size, (1728, 468))
        self.assertEqual((window["width"], window["height"]), expected_size)
        # Created centred on the screen, which is the work area here.
        self.assertEqual(window["left"], (work_area["width"] - window["width"]) // 2
                         + work_area["left"])
        self.assertEqual(window["top"], (work_area["height"] - window["height"]) // 2
                         + work_area["top"])
        style = description["style"]
        self.assertFalse(style & WS_THICKFRAME, "the window must not be resizable")
        self.assertFalse(style & WS_MAXIMIZEBOX)
        self.assertTrue(style & WS_MINIMIZEBOX)
        self.assertEqual(description["title"], MAIN_TITLE)

    def check_controls(self, description):
        controls = description["controls"]
        # Creation order is the tab order.
        self.assertEqual([c["class"] for c in controls],
                         ["Static", "msctls_progress32", "Button", "Button"])
        status, progress, minimize, cancel = (c["rect"] for c in controls)
        self.assertEqual(controls[0]["text"], "Verbinde mit Update-Server...")
        self.assertEqual([controls[2]["text"], controls[3]["text"]],
                         ["&Minimieren", "&Abbrechen"])
        self.assertTrue(controls[0]["style"] & WS_TABSTOP and controls[0]["style"] & SS_NOTIFY,
                        "the status line must be focusable for screen readers")
        self.assertEqual(description["default_id"], MINIMIZE_ID)

        # The 24-point status font, measured as the updater measures it.
        metrics = self.driver.measure(FONT, POINTS, description["dpi"], "MinimierenMM ")
        line_height = metrics["line_height"]
        client_width = description["client"]["width"]
        client_height = description["client"]["height"]
        self.assertEqual(status, {"left": 10, "top": 20, "width": client_width - 20,
                                  "height": line_height})
        for button in (minimize, cancel):
            self.assertEqual(button["height"], line_height + 12)
            self.assertEqual(button["width"], metrics["widths"][0])
            self.assertEqual(button["top"], client_height - button["height"] - 20)
        gaps = (minimize["left"],
                cancel["left"] - minimize["left"] - minimize["width"],
                client_width - cancel["left"] - cancel["width"])
        self.assertEqual(gaps[0], gaps[1], gaps)
        self.assertIn(gaps[2] - gaps[0], (0, 1, 2), gaps)
        self.assertEqual(progress["height"], 2 * cancel["height"])
        self.assertEqual((progress["left"], progress["width"]), (status["left"], status["width"]))
        self.assertEqual(progress["top"], (cancel["top"] - status["top"] - status["height"]
                                           - progress["height"]) // 2)

    @staticmethod
    def box_buttons(description):
        return [c["text"] for c in description["controls"] if c["class"] == "Button"]


class TrayRoundTripUnderWine(UpdateRunUnderWine):
    # Answered late, so the run is still downloading when the window comes back.
    SLOW_FILE = "Produkt/Handbuch.pdf"
    SLOW_SECONDS = 20

    def test_enter_on_the_status_line_and_back_through_the_icons_menu(self):
        updater = read(self.updater)
        self.install_files({"Quennvoldar.exe": updater, "Produkt.exe": read(VERSION_SAMPLE),
                            "nvdaControllerClient32.dll": read(self.nvda_client)})
        self.server_files({"Quennvoldar/Quennvoldar2.exe": updater,
                           self.SLOW_FILE: bytes(range(256)) * 64})
        self.write_config()
        self.serve("--http-delay", f"{self.web_address.path}{self.SLOW_FILE}:{self.SLOW_SECONDS}")
        updater_process = self.start_updater()
        self.driver.wait_for(main_title())
        self.driver.pass_offline_question(main_title())
        window = self.wait_for_status(DOWNLOADING)
        self.assertEqual(window["focus_id"], STATUS_ID)

        # Enter on the status line: the way back is said before the window goes.
        self.driver.key(main_title(), VK_RETURN)
        self.wait_until(lambda: self.driver.describe_if_shown(main_title()) is None,
                        "the window never went to the notification area")
        self.assertEqual(self.spoken(), [CONNECTING, BUILDING_LIST, DOWNLOADING, TO_TRAY])

        # The icon's menu, then Enter on its one entry, "Öffnen".
        self.driver.tray_menu()
        self.driver.menu_key(VK_RETURN)
        self.wait_until(lambda: self.driver.describe_if_shown(main_title()) is not None,
                        "the window never came back")
        self.assertEqual(self.driver.describe(main_title())["focus_id"], STATUS_ID)
        # The line it shows, still the download's, is spoken once more.
        self.wait_until(lambda: len(self.spoken()) > 4, "nothing was spoken on the way back")
        self.assertEqual(self.spoken()[4], DOWNLOADING)

        self.assertEqual(self.answer_boxes(), [UPDATED + QUESTION_START_MAIN])
        self.assertEqual(updater_process.wait(WAIT_S), 0)
        self.assertEqual(self.spoken().count(DOWNLOADING), 2)

    def wait_until(self, condition, failure):
        deadline = time.monotonic() + WAIT_S
        while not condition():
            self.assertLess(time.monotonic(), deadline, failure)
            time.sleep(0.2)


if __name__ == "__main__":
    unittest.main()

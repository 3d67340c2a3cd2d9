"""The real Quennvoldar.exe under Wine on a 1920 x 1040 Xvfb screen: the main
window's layout with a 24-point status font from the configuration, the two
German message boxes of a run that cannot reach its servers, answered through
the UI driver, and screenshots of the window and of the question box.

Needs QV_UPDATER_EXE and QV_UI_DRIVER_EXE (set by CTest). Screenshots go to
QV_SCREENSHOT_DIR, default ./screenshots; the README's pictures are refreshed
with QV_SCREENSHOT_DIR=<repository>/docs.
"""

import fcntl
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from png_file import bmp_to_png

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run.sh")

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


def windows_path(unix_path):
    """Wine's drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")
FONT, POINTS = "Arial", 24
# The demo build's servers.
FTP_PORT = 2121
SELF_UPDATE_PORT = 8080

WS_THICKFRAME = 0x00040000
WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_TABSTOP = 0x00010000
SS_NOTIFY = 0x0100
BS_TYPEMASK = 0x0F
BS_DEFPUSHBUTTON = 0x01

WAIT_S = 60  # for anything the run has to do before a check


class LoopbackPort:
    """One of the demo build's server ports, taken by the test: every
    connection is closed at once, so the updater cannot reach a server and no
    other server on this machine answers in the test's place."""

    def __init__(self, port):
        self.listener = socket.create_server(("127.0.0.1", port))
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


class WineSession:
    """A private Xvfb screen and Wine prefix for one test class."""

    def __init__(self):
        self.prefix = os.environ.get(
            "QV_WINE_UI_PREFIX",
            os.path.join(os.path.expanduser("~"), ".cache", "quennvoldar", "wineprefix-ui"))
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        # One session per prefix at a time: a Wine server stays bound to the
        # display it started on.
        self.lock = open(self.prefix + ".session-lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        self.display_file = tempfile.TemporaryFile()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(self.display_file.fileno()), "-nolisten", "tcp",
             "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24"],
            pass_fds=(self.display_file.fileno(),), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        display = self._wait_for_display()
        self.env = dict(os.environ, DISPLAY=f":{display}", WINEPREFIX=self.prefix,
                        WINEARCH="win32", WINEDEBUG="-all")
        self.stop_wine()  # a server left from an earlier session's display
        # Wine draws title bars itself when there is no window manager to.
        self.wine_run(["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated",
                       "/t", "REG_SZ", "/d", "N", "/f"])
        echoed = self.wine(["cmd", "/c", "echo", "%TEMP%"]).strip()
        self.temp_folder = subprocess.run(["winepath", "-u", echoed], env=self.env, check=True,
                                          capture_output=True, text=True).stdout.strip()

    def _wait_for_display(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            self.display_file.seek(0)
            number = self.display_file.read().decode().strip()
            if number:
                return number
            if self.xvfb.poll() is not None:
                break
            time.sleep(0.1)
        raise RuntimeError("Xvfb did not start")

    def wine_run(self, args):
        """Through wine-run.sh, which creates the prefix on first use."""
        subprocess.run([WINE_RUN] + args, env=self.env, check=True, capture_output=True,
                       timeout=300)

    def wine(self, args, check=True, timeout=60):
        result = subprocess.run(["wine"] + args, env=self.env, capture_output=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"wine {args} failed: {result.returncode} {result.stderr!r}")
        return result.stdout.decode("utf-8", errors="replace")

    def stop_wine(self):
        """Ends whatever runs in this session's own prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)

    def close(self):
        self.stop_wine()
        self.xvfb.terminate()
        self.xvfb.wait(10)
        self.display_file.close()
        self.lock.close()


class Driver:
    # A fresh Wine process now and then hangs at start while the updater
    # starts too; such a call is ended and made again.
    CALL_TIMEOUT_S = 15

    def __init__(self, session, driver_exe):
        self.session = session
        self.exe = driver_exe

    def _call(self, *args, check=True):
        for attempt in range(3):
            try:
                return self.session.wine([self.exe] + list(args), check=check,
                                         timeout=self.CALL_TIMEOUT_S)
            except subprocess.TimeoutExpired:
                if attempt == 2:
                    raise
        return ""

    def wait_for(self, title, timeout_s=WAIT_S):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if self._call("find", title, "2000", check=False):
                return
        raise AssertionError(f"no window {title!r} within {timeout_s} s")

    def describe(self, title):
        return json.loads(self._call("describe", title))

    def click(self, title, caption):
        self._call("click", title, caption)

    def move(self, title, left, top):
        self._call("move", title, str(left), str(top))

    def measure(self, face, points, dpi, *texts):
        return json.loads(self._call("measure", face, str(points), str(dpi), *texts))

    def screenshot(self, title, png_path):
        bmp_path = png_path + ".bmp"
        self._call("screenshot", title, windows_path(bmp_path))
        size = bmp_to_png(bmp_path, png_path)
        os.remove(bmp_path)
        return size


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
        cls.session = WineSession()
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
        # Both demo ports close every connection: the FTP connect and then
        # the self-update route fail at once, and no other server answers.
        self.ports = [LoopbackPort(FTP_PORT), LoopbackPort(SELF_UPDATE_PORT)]
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
        self.driver.wait_for("Informationen")
        self.assertTrue(self.ports[0].connected.is_set(), "the updater did not try FTP")
        information = self.driver.describe("Informationen")
        self.assertEqual(self.box_buttons(information), ["OK"])
        self.assertIn("Es konnte keine Verbindung zum Server hergestellt werden!",
                      self.box_texts(information))
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
        text = " ".join(self.box_texts(question))
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
        self.assertEqual(controls[2]["style"] & BS_TYPEMASK, BS_DEFPUSHBUTTON)

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

    @staticmethod
    def box_texts(description):
        return [c["text"] for c in description["controls"]
                if c["class"] == "Static" and c["text"]]


if __name__ == "__main__":
    unittest.main()

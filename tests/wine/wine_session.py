"""A private Xvfb screen and Wine prefix for the tests of the Windows build,
and the UI driver that reads and operates windows in it."""

import fcntl
import json
import os
import subprocess
import tempfile
import time

from png_file import bmp_to_png

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "scripts", "wine-run.sh")

WAIT_S = 60  # for anything a run has to do before a check

# The build under test says which Wine runs it; /usr/bin/wine would take the
# 32-bit loader whenever wine32 is installed.
WINE_ARCH = os.environ.get("WINEARCH", "win32")
WINE_LOADER = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}[WINE_ARCH]

# Wine reports a machine without a default route as offline; the run then
# asks whether to go on before it connects.
OFFLINE_QUESTION = "Es besteht keine Verbindung mit dem Internet!"
LOADING_CONFIGURATION = "Lade Konfigurationsdatei..."


def windows_path(unix_path):
    """Wine's drive Z: is the Unix root."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def box_text(description):
    """The text a message box shows, from the driver's description of it."""
    return " ".join(control["text"] for control in description["controls"]
                    if control["class"] == "Static" and control["text"])


class WineSession:
    """A private Xvfb screen (or a given display) and Wine prefix for one test class."""

    def __init__(self, screen, name, display=None):
        """name: of the session's own Wine prefix, kept between runs, so that
        sessions of different names run side by side. display: an X display
        to show the windows on (":0") instead of a private Xvfb screen of the
        given size."""
        self.prefix = os.path.join(os.path.expanduser("~"), ".cache", "quennvoldar",
                                   f"wineprefix-{name}-{WINE_ARCH}")
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        # One session per prefix at a time: a Wine server stays bound to the
        # display it started on.
        self.lock = open(self.prefix + ".session-lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        self.xvfb = None
        self.env = None
        try:
            self._start(screen, display)
        except BaseException:
            # Nothing of a session that failed to start stays behind.
            self.close()
            raise

    def _start(self, screen, display):
        if display is None:
            self.display_file = tempfile.TemporaryFile()
            self.xvfb_log = tempfile.TemporaryFile()
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(self.display_file.fileno()), "-nolisten", "tcp",
                 "-screen", "0", f"{screen[0]}x{screen[1]}x24"],
                pass_fds=(self.display_file.fileno(),), stdin=subprocess.DEVNULL,
                stdout=self.xvfb_log, stderr=self.xvfb_log)
            display = f":{self._wait_for_display()}"
        self.env = dict(os.environ, DISPLAY=display, WINEPREFIX=self.prefix,
                        WINEARCH=WINE_ARCH, WINELOADER=WINE_LOADER, WINEDEBUG="-all")
        self.stop_wine()  # a server left from an earlier session's display
        # Wine draws title bars itself when there is no window manager to.
        self.wine_run(["reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Decorated",
                       "/t", "REG_SZ", "/d", "N", "/f"])
        echoed = self.wine(["cmd", "/c", "echo", "%TEMP%"]).strip()
        self.temp_folder = subprocess.run([WINE_LOADER, "winepath", "-u", echoed], env=self.env,
                                          check=True, capture_output=True,
                                          text=True).stdout.strip()

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
        self.xvfb.kill()
        self.xvfb.wait()
        self.xvfb_log.seek(0)
        raise RuntimeError("Xvfb did not start: " + self.xvfb_log.read().decode(errors="replace"))

    def wine_run(self, args):
        """Through wine-run.sh, which creates the prefix on first use."""
        result = subprocess.run([WINE_RUN] + args, env=self.env, capture_output=True,
                                timeout=300)
        if result.returncode != 0:
            raise RuntimeError(f"wine-run.sh {args} failed ({result.returncode}): "
                               + result.stderr.decode(errors="replace").strip())

    def wine(self, args, check=True, timeout=60, attempts=1):
        """A program of the prefix to its end. A fresh Wine process now and
        then hangs at start while another one starts too; with attempts > 1
        such a call is ended after timeout seconds and made again."""
        for attempt in range(attempts):
            try:
                result = subprocess.run([WINE_LOADER] + args, env=self.env, capture_output=True,
                                        timeout=timeout)
                break
            except subprocess.TimeoutExpired:
                if attempt + 1 == attempts:
                    raise
        if check and result.returncode != 0:
            raise AssertionError(f"wine {args} failed: {result.returncode} {result.stderr!r}")
        return result.stdout.decode("utf-8", errors="replace")

    def reg(self, *args, check=True):
        """reg.exe in the 32-bit registry view, where the product's setup
        keeps its uninstall entry whatever the build's architecture."""
        return self.wine(["reg", *args, "/reg:32"], check=check, timeout=15, attempts=3)

    def stop_wine(self):
        """Ends whatever runs in this session's own prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, capture_output=True, timeout=60)

    def close(self):
        if self.env is not None:
            self.stop_wine()
        if self.xvfb is not None:
            self.xvfb.terminate()
            self.xvfb.wait(10)
            self.display_file.close()
            self.xvfb_log.close()
        self.lock.close()


class Driver:
    """tests/wine/ui_driver.exe, run in the session's prefix."""

    CALL_TIMEOUT_S = 15

    def __init__(self, session, driver_exe):
        self.session = session
        self.exe = driver_exe

    def _call(self, *args, check=True):
        return self.session.wine([self.exe] + list(args), check=check,
                                 timeout=self.CALL_TIMEOUT_S, attempts=3)

    def wait_for(self, title, timeout_s=WAIT_S):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            if self._call("find", title, "2000", check=False):
                return
        raise AssertionError(f"no window {title!r} within {timeout_s} s")

    def describe(self, title):
        return json.loads(self._call("describe", title))

    def pass_offline_question(self, main_title, timeout_s=WAIT_S):
        """Says "&Ja" to the offline question if the run asks it; returns once
        the run is past that point either way."""
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            box = self.describe_if_shown("Bestätigen")
            if box and any(OFFLINE_QUESTION in control["text"] for control in box["controls"]):
                self.click("Bestätigen", "&Ja")
                return
            window = self.describe_if_shown(main_title)
            if window and window["controls"][0]["text"] not in ("", LOADING_CONFIGURATION):
                return
            time.sleep(0.2)
        raise AssertionError("the run never got past loading its configuration")

    def describe_if_shown(self, title):
        """None when there is no such window (any more)."""
        described = self._call("describe", title, check=False)
        return json.loads(described) if described else None

    def click(self, title, caption):
        self._call("click", title, caption)

    def ping(self, title):
        """{"answered": bool, "ms": how long the window took}."""
        return json.loads(self._call("ping", title))

    def key(self, title, virtual_key):
        self._call("key", title, str(virtual_key))

    def move(self, title, left, top):
        self._call("move", title, str(left), str(top))

    def tray_menu(self):
        """Opens the menu of the notification area's one icon."""
        self._call("tray-menu")

    def menu_key(self, virtual_key, timeout_s=WAIT_S):
        """A key for the popup menu, once one is open."""
        deadline = time.monotonic() + timeout_s
        while not self._call("menu-key", str(virtual_key), check=False):
            if time.monotonic() > deadline:
                raise AssertionError(f"no popup menu open within {timeout_s} s")
            time.sleep(0.2)

    def measure(self, face, points, dpi, *texts, bold=False):
        return json.loads(self._call("measure", face, str(points), str(dpi),
                                     "bold" if bold else "regular", *texts))

    def screenshot(self, title, png_path):
        bmp_path = png_path + ".bmp"
        self._call("screenshot", title, windows_path(bmp_path))
        size = bmp_to_png(bmp_path, png_path)
        os.remove(bmp_path)
        return size

"""Update runs of the real updater against the real test update server.

Each test gets a folder of its own: the server's tree, an installation folder
holding a copy of the built updater (so its uninstall list and the second
copy land there), the user's temporary folder (TMPDIR) with the
configuration file, a runtime folder (XDG_RUNTIME_DIR) for mutexes and
windows, a programs folder (XDG_DATA_DIRS) and the uninstall entries
(QUENNVOLDAR_REGISTRY_DIR). The server listens on the fixed ports the dev
build compiles in (FTP 2121, HTTP 8080), so these tests hold the
"loopback-ports" lock.
"""

import hashlib
import json
import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest

from port_harness import main_program_path, probe_path, updater_path

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "..", "update_server", "update-server.sh")

# Upper bound against hangs only; no test depends on how fast anything is.
HANG_GUARD_SECONDS = 120

WM_SHOWREQUEST = 1224
WM_CLOSEREQUEST = 1124

PRODUCT_LINE = "Produkt\\Daten"  # configuration line 3: server folder /Produkt/Daten/
MUTEX = "QvTestProduktMutex"
WINDOW_TITLE = "QvTest Produkt"
TITLE_SUFFIX = " - Quennvoldar V1.44"

OFFLINE_QUESTION = "Es besteht keine Verbindung mit dem Internet!"
NO_ADMIN_QUESTION = "hat keine Administratorrechte!"
LOADING = "Lade Konfigurationsdatei..."
CONNECTING = "Verbinde mit Update-Server..."
BUILDING_LIST = "Erstelle Downloadliste..."
DOWNLOADING = "Aktualisierung wird heruntergeladen..."
DOWNLOADED = "Aktualisierung wurde heruntergeladen"
EXTRACTING = "Entpacke Archiv..."
CLOSING_MAIN = "Beende Hauptprogramm..."
VERIFYING = "Neue Daten werden geprüft..."
COPYING = "Neue Daten werden kopiert..."
STATUS_TEXTS = (LOADING, CONNECTING, BUILDING_LIST, DOWNLOADING, DOWNLOADED, EXTRACTING,
                CLOSING_MAIN, VERIFYING, COPYING)
# The first line of each outcome message, for the product of PRODUCT_LINE.
UPDATED = f'Die Aktualisierung von "{PRODUCT_LINE}" wurde erfolgreich abgeschlossen!'
ALREADY_CURRENT = f'"{PRODUCT_LINE}" ist bereits aktuell!'
NOT_COMPLETED = f'Die Aktualisierung von "{PRODUCT_LINE}" wurde nicht abgeschlossen!'
FAILED = f'Ein Fehler trat bei der Aktualisierung von "{PRODUCT_LINE}" auf!'
MSG_NO_CONNECTION = "Es konnte keine Verbindung zum Server hergestellt werden!"
MSG_WALK_FAILED = "Es ist ein Fehler beim Durchsuchen des Servers aufgetreten!"
MSG_DOWNLOAD_FAILED = "Es ist ein Fehler beim Herunterladen der Aktualisierung aufgetreten!"
QUESTION_CLOSE_MAIN = "muss beendet werden"
QUESTION_START_MAIN = "Soll das Programm gestartet werden?"


def answer_preflight_yes(question):
    """Goes on past the administrator and internet questions (a test machine
    may have no default route); says No to everything else."""
    return OFFLINE_QUESTION in question or NO_ADMIN_QUESTION in question


def answer_close_yes(question):
    """Yes to the checks and to closing the main program; No to starting it."""
    return answer_preflight_yes(question) or QUESTION_CLOSE_MAIN in question


def digest(content):
    return hashlib.sha256(content).hexdigest()


def file_digest(path):
    with open(path, "rb") as file:
        return digest(file.read())


class RunResult:
    def __init__(self, returncode, output, questions, configs, ended_at):
        self.returncode = returncode
        # time.monotonic() when the updater had ended.
        self.ended_at = ended_at
        self.output = output
        self.questions = questions
        # The configuration file's lines while each question waited (None:
        # no file); the run deletes the file after its last question.
        self.configs = configs

    @property
    def lines(self):
        return self.output.splitlines()

    @property
    def informations(self):
        """The texts of the information boxes, in order."""
        texts = []
        lines = self.lines
        for i, line in enumerate(lines):
            if line == "Informationen:" and i + 1 < len(lines):
                texts.append(lines[i + 1])
        return texts

    @property
    def outcome(self):
        """The first line of the last box, which reports the outcome."""
        lines = self.lines
        boxes = [lines[i + 1] for i, line in enumerate(lines[:-1])
                 if line in ("Informationen:", "Bestätigen:")]
        return boxes[-1] if boxes else None

    @property
    def statuses(self):
        """The status lines, in order."""
        return [line for line in self.lines if line in STATUS_TEXTS]


class UpdateRunTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-run-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.server_root = self.path("server")
        self.install = self.path("install") + "/"
        self.temp = self.path("temp") + "/"
        self.runtime = self.path("runtime")
        self.programs = self.path("share", "applications") + "/"
        self.registry = self.path("registry") + "/"
        for folder in (self.server_root, self.install, self.temp, self.programs, self.registry):
            os.makedirs(folder)
        os.mkdir(self.runtime, 0o700)
        self.download = self.temp + "Produkt/Daten/"
        self.updater = self.install + "Quennvoldar"
        shutil.copy2(updater_path(), self.updater)
        self.env = dict(os.environ, TMPDIR=self.temp.rstrip("/"), XDG_RUNTIME_DIR=self.runtime,
                        XDG_DATA_DIRS=self.path("share"), QUENNVOLDAR_REGISTRY_DIR=self.registry)
        self.server_run = self.path("server-run")
        self.events_seen = 0
        self.config_name = "Produkt.cfg"
        self.write_config()

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def start_afresh(self):
        """A new folder and no server, for the next case of a table."""
        self.doCleanups()
        self.setUp()

    # ---- Files ----

    def write(self, path, content):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(content)

    def read(self, path):
        with open(path, "rb") as file:
            return file.read()

    def server_file(self, relative, content=b"", mtime=None):
        """A file below the server root; mtime in epoch seconds."""
        path = os.path.join(self.server_root, relative)
        self.write(path, content)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def local_file(self, path, content, mtime):
        self.write(path, content)
        os.utime(path, (mtime, mtime))

    def digests(self, folder):
        """Relative path -> content hash of every file below the folder."""
        found = {}
        for base, _, names in os.walk(folder):
            for name in names:
                full = os.path.join(base, name)
                found[os.path.relpath(full, folder)] = file_digest(full)
        return found

    def installed(self):
        """The product's files in the installation folder: all but the
        updater and its uninstall list."""
        found = self.digests(self.install)
        for own in ("Quennvoldar", "Quennvoldar.dat"):
            found.pop(own, None)
        return found

    # ---- Configuration and the lists the run keeps ----

    def write_config(self, product_line=PRODUCT_LINE, main_program=None):
        lines = [MUTEX, WINDOW_TITLE, main_program or self.install + "main", product_line,
                 "12 Arial", "0 0 16777215"]
        self.write(self.temp + self.config_name,
                   "".join(line + "\r\n" for line in lines).encode("cp1252"))

    def config_lines(self):
        path = self.temp + self.config_name
        if not os.path.exists(path):
            return None
        return self.read(path).decode("cp1252").split("\r\n")[:-1]

    def uninstall_list(self, executable="Quennvoldar"):
        return self.read(self.install + executable + ".dat").decode("cp1252").splitlines()

    def assert_nothing_recorded(self):
        """A run that placed nothing does not write a list of only itself."""
        self.assertFalse(os.path.exists(self.install + "Quennvoldar.dat"))

    def waiting_downloads(self):
        """Relative paths of what waits in the download folder (None: no folder)."""
        if not os.path.isdir(self.download):
            return None
        return sorted(self.digests(self.download))

    def kept_folder(self):
        """Where what arrived of unfinished downloads waits for the next run."""
        return self.download.rstrip("/") + ".partial"

    def kept_sizes(self):
        """The sizes of the kept bytes (without the records that vouch for them)."""
        folder = self.kept_folder()
        sizes = []
        for name in os.listdir(folder) if os.path.isdir(folder) else []:
            try:
                if not name.endswith(".resume"):
                    sizes.append(os.path.getsize(os.path.join(folder, name)))
            except FileNotFoundError:
                pass  # a download that has just arrived whole
        return sorted(sizes)

    def kept_bytes_path(self):
        """The file of the one download kept unfinished."""
        names = [n for n in os.listdir(self.kept_folder()) if not n.endswith(".resume")]
        self.assertEqual(len(names), 1, names)
        return os.path.join(self.kept_folder(), names[0])

    def wait_until(self, condition, what):
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while not condition():
            self.assertLess(time.monotonic(), deadline, "never happened: " + what)
            time.sleep(0.02)

    def cancel_once(self, condition, what):
        """Sends the close request once the condition holds; the moment it
        was sent goes to self.cancelled_at."""
        self.wait_until(condition, what)
        self.cancelled_at = time.monotonic()
        self.send_close_request()

    def assert_config_written_by(self, config, executable, copied_marker):
        """Lines 11 to 13 and 20 as an ordinary start of that executable leaves them."""
        self.assertIsNotNone(config)
        self.assertEqual(len(config), 21)
        self.assertEqual(config[11], self.instance_title())
        self.assertEqual(config[12], self.download + executable)
        self.assertEqual(config[13], self.install + executable)
        self.assertEqual(config[20], copied_marker)

    def instance_title(self):
        return os.path.splitext(self.config_name)[0] + TITLE_SUFFIX

    # ---- Server ----

    def serve(self, *options):
        """The test server on the fixed ports (the script waits while another
        run on this machine holds them)."""
        subprocess.run([SERVER_SCRIPT, "start", self.server_run, self.server_root,
                        "--ftp-port", "2121", "--http-port", "8080", *options],
                       check=True, timeout=2 * HANG_GUARD_SECONDS)
        self.addCleanup(self.stop_server)

    def stop_server(self):
        subprocess.run([SERVER_SCRIPT, "stop", self.server_run], timeout=HANG_GUARD_SECONDS)

    def _all_events(self):
        log_path = os.path.join(self.server_run, "events.jsonl")
        if not os.path.exists(log_path):
            return []
        with open(log_path, encoding="utf-8") as log:
            return [json.loads(line) for line in log if line.strip()]

    def events(self):
        """What the server logged since the last forget_events."""
        return self._all_events()[self.events_seen:]

    def forget_events(self):
        self.events_seen = len(self._all_events())

    def ftp_events(self):
        return [e for e in self.events() if e["proto"] == "ftp"]

    def http_events(self):
        return [e for e in self.events() if e["proto"] == "http"]

    def http_paths(self):
        return [e["path"] for e in self.http_events()]

    def logins(self):
        return [e for e in self.ftp_events() if e.get("event") == "login"]

    def ftp_commands(self, command):
        return [e["arg"] for e in self.ftp_events() if e.get("cmd") == command]

    def listed_folders(self):
        """The server folders listed, in order: what each MLSD or LIST named."""
        return [e["arg"] for e in self.ftp_events() if e.get("cmd") in ("MLSD", "LIST")]

    # ---- The main program ----

    def start_main_program(self, *options):
        """The sample main program holding the product's mutex: the
        installation phase then asks to close it, and a No keeps the download
        folder as the download phase left it."""
        ready = self.path("main-ready")
        if os.path.exists(ready):
            os.remove(ready)
        process = subprocess.Popen([main_program_path(), "--mutex", MUTEX, "--title",
                                    WINDOW_TITLE, "--ready-file", ready, *options], env=self.env)

        def stop():
            if process.poll() is None:
                process.terminate()
            process.wait(timeout=HANG_GUARD_SECONDS)

        self.addCleanup(stop)
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while not os.path.exists(ready):
            self.assertIsNone(process.poll(), "the main program ended before it was ready")
            self.assertLess(time.monotonic(), deadline, "the main program never got ready")
            time.sleep(0.02)
        return process

    # ---- Talking to the running updater ----

    def send_close_request(self):
        """WM_CLOSEREQUEST to the updater's window, as the main program or a
        second start would send it. The probe waits until the updater has
        handled it, so it runs on its own; the run's end reaps it and keeps
        its report ("sent") in self.sent."""
        self.senders.append(subprocess.Popen(self._send_command(WM_CLOSEREQUEST), env=self.env,
                                             stdout=subprocess.PIPE))

    def send_and_wait(self, message):
        """Sends the message to the updater's window and returns once the
        window has handled it."""
        sent = subprocess.run(self._send_command(message), env=self.env, stdout=subprocess.PIPE,
                              timeout=HANG_GUARD_SECONDS, check=True)
        self.assertEqual(sent.stdout, b"sent\n")

    def _send_command(self, message):
        found = subprocess.run([probe_path(), "find", self.instance_title()], env=self.env,
                               stdout=subprocess.PIPE, timeout=HANG_GUARD_SECONDS, check=True)
        handle = found.stdout.decode().split()[1]
        self.assertNotEqual(handle, "0", "the updater has no window")
        return [probe_path(), "send", handle, str(message)]

    # ---- The updater ----

    def run_updater(self, *arguments, answer=answer_preflight_yes, env=None, when=()):
        """Runs the updater to its end, answering each question with
        answer(text); when holds (text, action) pairs, each action called
        once as soon as its text has appeared in the output. The output
        includes that of a second copy the run restarts into."""
        self.senders = []
        process = subprocess.Popen([self.updater, *(arguments or (self.config_name,))],
                                   env=env or self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.updater_process = process
        output = b""
        answered = 0
        questions = []
        configs = []
        pending = list(when)
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        try:
            while True:
                self.assertLess(time.monotonic(), deadline, "the updater hangs:\n" +
                                output.decode(errors="replace"))
                readable, _, _ = select.select([process.stdout], [], [], 0.1)
                if readable:
                    chunk = os.read(process.stdout.fileno(), 65536)
                    if not chunk:
                        break
                    output += chunk
                text = output.decode(errors="replace")
                for trigger in [t for t in pending if t[0] in text]:
                    pending.remove(trigger)
                    trigger[1]()
                # A question ends with its prompt and waits for one line.
                if text.endswith(" [J/N] ") and text.count(" [J/N] ") > answered:
                    question = text[text.rindex("Bestätigen:\n") + len("Bestätigen:\n"):-7]
                    questions.append(question)
                    configs.append(self.config_lines())
                    try:
                        process.stdin.write(b"j\n" if answer(question) else b"n\n")
                        process.stdin.flush()
                    except BrokenPipeError:
                        pass  # killed by the test while it asked
                    answered += 1
            process.wait(timeout=HANG_GUARD_SECONDS)
            ended_at = time.monotonic()
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            try:
                process.stdin.close()
            except BrokenPipeError:
                pass
            process.stdout.close()
            self.sent = [sender.communicate(timeout=HANG_GUARD_SECONDS)[0].decode()
                         for sender in self.senders]
        self.assertEqual(pending, [], "never printed:\n" + output.decode(errors="replace"))
        return RunResult(process.returncode, output.decode(errors="replace"), questions, configs,
                         ended_at)

    # ---- Dates ----

    def assert_server_date(self, path, mtime, listing_has_seconds):
        """The updater compares dates to the minute. MLSD gives the seconds too,
        which the file keeps in 2 s steps; LIST only gives the minute."""
        actual = os.stat(path).st_mtime
        self.assertEqual(int(actual) // 60, int(mtime) // 60, path)
        if listing_has_seconds:
            self.assertLessEqual(abs(actual - mtime), 2, path)

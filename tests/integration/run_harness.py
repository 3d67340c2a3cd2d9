"""One update run of the real updater against the real test update server.

Each test gets a folder of its own: the server's tree, an installation folder
holding a copy of the built updater (so its uninstall list and the second
copy land there), the user's temporary folder (TMPDIR) with the
configuration file, and a runtime folder (XDG_RUNTIME_DIR) for mutexes and
windows. The server listens on the fixed ports the dev build compiles in
(FTP 2121, HTTP 8080), so these tests hold the "loopback-ports" lock.
"""

import json
import os
import select
import shutil
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER_SCRIPT = os.path.join(HERE, "..", "update_server", "update-server.sh")

# Upper bound against hangs only; no test depends on how fast anything is.
HANG_GUARD_SECONDS = 120

PRODUCT_LINE = "Produkt\\Daten"  # configuration line 3: server folder /Produkt/Daten/
MUTEX = "QvTestProduktMutex"
WINDOW_TITLE = "QvTest Produkt"

OFFLINE_QUESTION = "Es besteht keine Verbindung mit dem Internet!"
NO_ADMIN_QUESTION = "hat keine Administratorrechte!"
CONNECTING = "Verbinde mit Update-Server..."
MSG_NO_CONNECTION = "Es konnte keine Verbindung zum Server hergestellt werden!"
MSG_WALK_FAILED = "Es ist ein Fehler beim Durchsuchen des Servers aufgetreten!"
MSG_DOWNLOAD_FAILED = "Es ist ein Fehler beim Herunterladen der Aktualisierung aufgetreten!"
QUESTION_CLOSE_MAIN = "muss beendet werden"


def _binary(variable, relative):
    path = os.environ.get(variable)
    if not path:
        path = os.path.join(os.environ.get("QV_BUILD_DIR", "build/dev"), relative)
    if not os.access(path, os.X_OK):
        raise unittest.SkipTest(f"{path} is not built")
    return path


def updater_path():
    return _binary("QV_UPDATER", "Quennvoldar")


def main_program_path():
    return _binary("QV_SAMPLE_MAIN_PROGRAM", "tests/sample_main_program/SampleMainProgram")


def answer_preflight_yes(question):
    """Goes on past the administrator and internet questions (a test machine
    may have no default route); says No to everything else."""
    return OFFLINE_QUESTION in question or NO_ADMIN_QUESTION in question


class RunResult:
    def __init__(self, returncode, output, questions):
        self.returncode = returncode
        self.output = output
        self.questions = questions

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


class UpdateRunTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-run-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.server_root = self.path("server")
        self.install = self.path("install") + "/"
        self.temp = self.path("temp") + "/"
        self.runtime = self.path("runtime")
        for folder in (self.server_root, self.install, self.temp):
            os.makedirs(folder)
        os.mkdir(self.runtime, 0o700)
        self.download = self.temp + "Produkt/Daten/"
        self.updater = self.install + "Quennvoldar"
        shutil.copy2(updater_path(), self.updater)
        self.env = dict(os.environ, TMPDIR=self.temp.rstrip("/"), XDG_RUNTIME_DIR=self.runtime)
        self.server_run = self.path("server-run")
        self.events_seen = 0
        self.write_config()

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def start_afresh(self):
        """A new folder and no server, for the next case of a table."""
        self.doCleanups()
        self.setUp()

    # ---- The server's tree ----

    def server_file(self, relative, content=b"", mtime=None):
        """A file below the server root; mtime in epoch seconds."""
        path = os.path.join(self.server_root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(content)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def local_file(self, path, content, mtime):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(content)
        os.utime(path, (mtime, mtime))

    # ---- Configuration ----

    def write_config(self, product_line=PRODUCT_LINE):
        lines = [MUTEX, WINDOW_TITLE, self.install + "main", product_line, "12 Arial",
                 "0 0 16777215"]
        with open(self.temp + "Produkt.cfg", "wb") as file:
            file.write("".join(line + "\r\n" for line in lines).encode("cp1252"))

    # ---- Server ----

    def serve(self, *options):
        """The test server on the fixed ports; another developer's run on this
        machine may hold them for a while, so a taken port is waited out."""
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while True:
            started = subprocess.run([SERVER_SCRIPT, "start", self.server_run, self.server_root,
                                      "--ftp-port", "2121", "--http-port", "8080", *options],
                                     stderr=subprocess.PIPE, timeout=HANG_GUARD_SECONDS)
            if started.returncode == 0:
                break
            message = started.stderr.decode(errors="replace")
            self.assertIn("Address already in use", message)
            self.assertLess(time.monotonic(), deadline, message)
            time.sleep(0.5)
        self.addCleanup(subprocess.run, [SERVER_SCRIPT, "stop", self.server_run],
                        timeout=HANG_GUARD_SECONDS)

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

    # ---- The main program ----

    def start_main_program(self):
        """The sample main program holding the product's mutex: the
        installation phase then asks to close it, and a No keeps the download
        folder as the download phase left it."""
        ready = self.path("main-ready")
        process = subprocess.Popen([main_program_path(), "--mutex", MUTEX, "--title",
                                    WINDOW_TITLE, "--ready-file", ready], env=self.env)

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

    # ---- The updater ----

    def run_updater(self, *arguments, answer=answer_preflight_yes, env=None):
        """Runs the updater to its end, answering each question with answer(text)."""
        process = subprocess.Popen([self.updater, *(arguments or ("Produkt.cfg",))],
                                   env=env or self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output = b""
        answered = 0
        questions = []
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
                # A question ends with its prompt and waits for one line.
                if text.endswith(" [J/N] ") and text.count(" [J/N] ") > answered:
                    question = text[text.rindex("Bestätigen:\n") + len("Bestätigen:\n"):-7]
                    questions.append(question)
                    process.stdin.write(b"j\n" if answer(question) else b"n\n")
                    process.stdin.flush()
                    answered += 1
            process.wait(timeout=HANG_GUARD_SECONDS)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdin.close()
            process.stdout.close()
        return RunResult(process.returncode, output.decode(errors="replace"), questions)

    # ---- Files ----

    def assert_server_date(self, path, mtime, listing_has_seconds):
        """The updater compares dates to the minute. MLSD gives the seconds too,
        which the file keeps in 2 s steps; LIST only gives the minute."""
        actual = os.stat(path).st_mtime
        self.assertEqual(int(actual) // 60, int(mtime) // 60, path)
        if listing_has_seconds:
            self.assertLessEqual(abs(actual - mtime), 2, path)

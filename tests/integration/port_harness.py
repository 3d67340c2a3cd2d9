"""Shared set-up for the process-level tests of the POSIX platform port.

Every test gets a runtime folder of its own (XDG_RUNTIME_DIR), so mutexes
and windows of other tests or of real programs are never seen. The port
probe and the sample main program come from the build (QV_PORT_PROBE,
QV_SAMPLE_MAIN_PROGRAM, else below QV_BUILD_DIR).
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

WM_SHOWREQUEST = 1224
WM_CLOSEREQUEST = 1124

# Upper bound against hangs only; no test depends on how fast anything is.
HANG_GUARD_SECONDS = 30


def built_binary(variable, relative):
    path = os.environ.get(variable)
    if not path:
        path = os.path.join(os.environ.get("QV_BUILD_DIR", "build/dev"), relative)
    if not os.access(path, os.X_OK):
        raise unittest.SkipTest(f"{path} is not built")
    return path


def read_lines(path):
    with open(path, encoding="utf-8") as file:
        return file.read().splitlines()


def probe_path():
    return built_binary("QV_PORT_PROBE", "tests/integration/qv_port_probe")


def updater_path():
    return built_binary("QV_UPDATER", "Quennvoldar")


def main_program_path():
    return built_binary("QV_SAMPLE_MAIN_PROGRAM", "tests/sample_main_program/SampleMainProgram")


class PortTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qv-port-")  # mode 0700
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.runtime = os.path.join(self.work, "run")
        os.mkdir(self.runtime, 0o700)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime)
        self._serial = 0

    def path(self, name):
        return os.path.join(self.work, name)

    # ---- Processes ----

    def start(self, args, **kwargs):
        kwargs.setdefault("env", self.env)
        process = subprocess.Popen(args, **kwargs)
        self.addCleanup(self._stop, process)
        return process

    def _stop(self, process):
        if process.poll() is None:
            process.kill()
        process.wait()
        for stream in (process.stdin, process.stdout, process.stderr):
            if stream:
                stream.close()

    def probe(self, *args, stdin_text=None, env=None):
        """Runs the probe to its end; returns its stdout lines."""
        result = subprocess.run(
            [probe_path(), *args], input=(stdin_text or "").encode(), env=env or self.env,
            stdout=subprocess.PIPE, timeout=HANG_GUARD_SECONDS, check=True)
        return result.stdout.decode().splitlines()

    def start_probe(self, *args, env=None):
        """A probe that keeps running; read its lines with read_line."""
        return self.start([probe_path(), *args], env=env or self.env,
                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def read_line(self, process):
        line = process.stdout.readline().decode()
        self.assertTrue(line, "the probe ended early")
        return line.rstrip("\n")

    def start_main_program(self, mutex, title, *options, env=None):
        """The sample main program, once its window exists: (process, handle)."""
        self._serial += 1
        ready = self.path(f"ready-{self._serial}")
        process = self.start([main_program_path(), "--mutex", mutex, "--title", title,
                              "--ready-file", ready, *options], env=env or self.env)
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while not os.path.exists(ready):
            self.assertIsNone(process.poll(), "the main program ended before it was ready")
            self.assertLess(time.monotonic(), deadline, "the main program never got ready")
            time.sleep(0.02)
        with open(ready) as file:
            return process, int(file.read())

    def kill_hard(self, process):
        process.send_signal(signal.SIGKILL)
        process.wait()

"""StartProgram: detached starts with Windows-style parameter strings; the
own executable path."""

import json
import os
import shutil
import subprocess
import time

from port_harness import HANG_GUARD_SECONDS, PortTestCase, probe_path

PYTHON = "/usr/bin/python3"

# Records how it was started, put in place in one step.
REPORT_SCRIPT = """\
import json, os, sys
report = {"argv": sys.argv[2:], "cwd": os.getcwd(), "sid": os.getsid(0), "pid": os.getpid()}
with open(sys.argv[1] + ".partial", "w", encoding="utf-8") as file:
    json.dump(report, file)
os.rename(sys.argv[1] + ".partial", sys.argv[1])
if len(sys.argv) > 2 and sys.argv[-1] == "bleiben":
    sys.stdin.read()
"""


class StartProgram(PortTestCase):
    def setUp(self):
        super().setUp()
        self.script = self.path("bericht.py")
        with open(self.script, "w") as file:
            file.write(REPORT_SCRIPT)

    def wait_for_report(self, path):
        deadline = time.monotonic() + HANG_GUARD_SECONDS
        while not os.path.exists(path):
            self.assertLess(time.monotonic(), deadline, "the started program never reported")
            time.sleep(0.02)
        with open(path, encoding="utf-8") as file:
            return json.load(file)

    def test_quoted_arguments_arrive_intact(self):
        report = self.path("bericht.json")
        parameters = f'"{self.script}" {report} "mit Leerzeichen" schlicht "Größe x"y'
        self.assertEqual(self.probe("run", PYTHON, parameters), ["started"])
        started = self.wait_for_report(report)
        self.assertEqual(started["argv"], ["mit Leerzeichen", "schlicht", "Größe xy"])
        self.assertNotEqual(started["sid"], os.getsid(0), "not in a session of its own")

    def test_failures_are_reported(self):
        for file in [self.path("fehlt"), "kein-solches-programm-qv", ""]:
            with self.subTest(file=file):
                self.assertEqual(self.probe("run", file, "-c pass"), ["not started"])

    def test_program_name_is_looked_up_in_path(self):
        report = self.path("bericht.json")
        self.assertEqual(self.probe("run", "python3", f"{self.script} {report}"),
                         ["started"])
        self.assertEqual(self.wait_for_report(report)["argv"], [])

    def test_no_child_process_is_left_behind(self):
        probe = self.start_probe("run", PYTHON, "-c pass", "wait-line")
        self.assertEqual(self.read_line(probe), "started")
        self.assertEqual(self.children_of(probe.pid), [])
        probe.communicate(b"\n", timeout=HANG_GUARD_SECONDS)

    def test_started_program_does_not_keep_the_mutex(self):
        # The probe dies without closing its mutex; the started program lives
        # on, waiting on the stdin pipe it shares with the probe.
        report = self.path("bericht.json")
        probe = self.start_probe("create-mutex", "Produkt", "run", PYTHON,
                                 f"{self.script} {report} bleiben", "wait-line")
        self.assertEqual([self.read_line(probe), self.read_line(probe)],
                         ["mutex created", "started"])
        started = self.wait_for_report(report)
        self.addCleanup(self.kill_if_running, started["pid"])
        self.kill_hard(probe)
        with open(f"/proc/{started['pid']}/stat") as file:
            self.assertNotIn(file.read().rsplit(")", 1)[1].split()[0], "ZX")
        self.assertEqual(self.probe("mutex-exists", "Produkt"), ["mutex free"])

    @staticmethod
    def kill_if_running(pid):
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass

    @staticmethod
    def children_of(pid):
        children = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as file:
                    fields = file.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid:
                children.append(int(entry))
        return children


class ExecutablePath(PortTestCase):
    def test_path_stays_when_the_program_file_is_replaced(self):
        copy = self.path("Quennvoldar Kopie")
        shutil.copy(probe_path(), copy)
        running = self.start([copy, "exe-path", "wait-line", "exe-path"],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.assertEqual(running.stdout.readline().decode().rstrip("\n"), copy)
        os.remove(copy)
        output, _ = running.communicate(b"\n", timeout=HANG_GUARD_SECONDS)
        self.assertEqual(output.decode().splitlines(), [copy])

"""Self-test of the test update server: real servers on loopback, real files, stdlib clients.

Run from this folder with `python3 -m unittest`. The server itself runs under
/usr/bin/python3 because that is where Debian's pyftpdlib lives.
"""

import argparse
import calendar
import ftplib
import http.client
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
from urllib.parse import quote

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from http_faults import (UNLIMITED, parse_delay_option, parse_error_option,  # noqa: E402
                         parse_path_option)
import signed_release  # noqa: E402

SERVER_PYTHON = "/usr/bin/python3"
SERVER_SCRIPT = os.path.join(HERE, "update_server.py")
WRAPPER_SCRIPT = os.path.join(HERE, "update-server.sh")
USER = "quennvoldar"
PASSWORD = "Demo-Pw-2026"
# East of UTC, so a listing in local time instead of GMT would show.
SERVER_TIMEZONE = "QVT-5"
READY_POLLS = 200  # x 0.05 s
STALL_SECONDS = 1
BLANK_NAME = "Teil 1.zip"
UMLAUT_NAME = "Käse.dat"
OLD_MTIME = calendar.timegm((2020, 3, 4, 22, 30, 0))
RECENT_MTIME = (int(time.time()) // 60 - 2 * 24 * 60) * 60
SECRET = b"outside the served folder"
RELEASE_TOOL = os.environ.get("QV_RELEASE_TOOL") or os.path.join(
    HERE, "..", "..", "build", "dev", "release_tool", "quennvoldar-release")
LAST_RELEASE = 2**63 - 1
FAULT_EPOCH = calendar.timegm((2021, 5, 6, 7, 8, 10))
# What a --tls CA folder holds.
CA_CERTIFICATE = "ca.pem"
CA_KEY = "ca-key.pem"
FILES = {
    "Produkt/Daten/" + BLANK_NAME: b"zip bytes " * 1000,
    "Produkt/Daten/" + UMLAUT_NAME: b"umlaut content",
    "Produkt/Gesperrt/hidden.txt": b"still downloadable",
    "Quennvoldar/version.txt": b"1.2.3\n",
    "Produkt/Daten/defekt.zip": b"0123456789" * 100,
    "Produkt/Daten/weg.zip": b"dropped once",
    "Produkt/Daten/fehler.zip": b"error first",
    "Produkt/Daten/kaputt.zip": b"fails then works",
}


def make_tree(base):
    root = os.path.join(base, "root")
    for relative, content in FILES.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)
    os.utime(os.path.join(root, "Produkt/Daten", BLANK_NAME), (OLD_MTIME, OLD_MTIME))
    os.utime(os.path.join(root, "Produkt/Daten", UMLAUT_NAME), (RECENT_MTIME, RECENT_MTIME))
    with open(os.path.join(base, "outside.txt"), "wb") as out:
        out.write(SECRET)
    os.symlink(os.path.join(base, "outside.txt"), os.path.join(root, "Produkt", "link-out"))
    return root


class ServerProcess:
    """update_server.py on free ports with its own log; stopped by SIGTERM."""

    def __init__(self, root, work_dir, *options):
        self.log_path = os.path.join(work_dir, "events-%d.jsonl" % id(self))
        self.ready_path = os.path.join(work_dir, "ready-%d.json" % id(self))
        environment = dict(os.environ, TZ=SERVER_TIMEZONE)
        self.process = subprocess.Popen(
            [SERVER_PYTHON, SERVER_SCRIPT, root, "--ftp-port", "0", "--http-port", "0",
             "--log", self.log_path, "--ready-file", self.ready_path, *options],
            env=environment, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.ready = wait_for_ready_file(self.ready_path, self.process)
        self.ftp_port = self.ready["ftp_port"]
        self.http_port = self.ready["http_port"]

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        stdout, stderr = self.process.communicate(timeout=10)
        return self.process.returncode, stdout, stderr

    def events(self):
        with open(self.log_path, encoding="utf-8") as log:
            return [json.loads(line) for line in log]

    def mark(self):
        return len(self.events())

    def events_since(self, mark, **match):
        return [e for e in self.events()[mark:]
                if all(e.get(key) == value for key, value in match.items())]

    def ftp(self):
        client = ftplib.FTP()
        client.connect("127.0.0.1", self.ftp_port, timeout=10)
        return client

    def logged_in_ftp(self):
        client = self.ftp()
        client.login(USER, PASSWORD)
        return client

    def http(self):
        return http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=10)


def wait_for_ready_file(path, process):
    for _ in range(READY_POLLS):
        if os.path.exists(path):
            with open(path, encoding="utf-8") as ready:
                return json.load(ready)
        if process.poll() is not None:
            raise AssertionError("server exited: %r" % (process.communicate(),))
        time.sleep(0.05)
    process.kill()
    raise AssertionError("server did not become ready")


def is_running(pid):
    """False once the process is gone or only waits to be reaped by its new parent."""
    try:
        with open("/proc/%d/stat" % pid, encoding="ascii") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def url(relative):
    return "/updates/" + quote(relative)


def get(connection, path, headers=None):
    connection.request("GET", path, headers=headers or {})
    response = connection.getresponse()
    return response, response.read()


class ServerTestCase(unittest.TestCase):
    """One server per class, started with the class's OPTIONS."""

    OPTIONS = ()

    @classmethod
    def setUpClass(cls):
        cls.work_dir = tempfile.mkdtemp(prefix="update-server-test-")
        cls.root = make_tree(cls.work_dir)
        cls.server = ServerProcess(cls.root, cls.work_dir, *cls.OPTIONS)

    @classmethod
    def tearDownClass(cls):
        returncode, stdout, _ = cls.server.stop()
        shutil.rmtree(cls.work_dir)
        # Stop is clean and the server kept stdout quiet throughout.
        assert returncode == 0, returncode
        assert stdout == b"", stdout


class FtpListingTests(ServerTestCase):

    def test_mlsd_reports_names_sizes_and_gmt_times(self):
        with self.server.logged_in_ftp() as client:
            entries = dict(client.mlsd("/Produkt/Daten"))
        self.assertEqual(entries[BLANK_NAME]["type"], "file")
        self.assertEqual(int(entries[BLANK_NAME]["size"]),
                         len(FILES["Produkt/Daten/" + BLANK_NAME]))
        self.assertEqual(entries[UMLAUT_NAME]["modify"],
                         time.strftime("%Y%m%d%H%M%S", time.gmtime(RECENT_MTIME)))
        self.assertEqual(entries[UMLAUT_NAME]["perm"], "r")

    def test_list_lines_end_with_names_and_show_gmt_times(self):
        lines = []
        with self.server.logged_in_ftp() as client:
            client.retrlines("LIST /Produkt/Daten", lines.append)
        by_name = {name: line for line in lines for name in (BLANK_NAME, UMLAUT_NAME)
                   if line.endswith(" " + name)}
        self.assertEqual(set(by_name), {BLANK_NAME, UMLAUT_NAME})
        old = time.gmtime(OLD_MTIME)
        self.assertIn(time.strftime("%b %d  %Y", old), by_name[BLANK_NAME])
        recent = time.gmtime(RECENT_MTIME)
        self.assertIn(time.strftime("%b %d %H:%M", recent), by_name[UMLAUT_NAME])
        self.assertTrue(by_name[BLANK_NAME].startswith("-r"))

    def test_nlst_and_cwd_handle_utf8_names(self):
        with self.server.logged_in_ftp() as client:
            self.assertEqual(client.sendcmd("OPTS UTF8 ON")[:3], "200")
            client.cwd("/Produkt/Daten")
            self.assertIn(UMLAUT_NAME, client.nlst())
            client.voidcmd("TYPE I")
            self.assertEqual(client.size(UMLAUT_NAME), len(FILES["Produkt/Daten/" + UMLAUT_NAME]))

    def test_feat_advertises_mlst_and_utf8(self):
        with self.server.ftp() as client:
            features = client.sendcmd("FEAT")
        self.assertIn("MLST ", features)
        self.assertIn("UTF8", features)

    def test_account_is_read_only(self):
        writes = [
            ("MKD", "/Neu"),
            ("DELE", "/Produkt/Daten/" + BLANK_NAME),
            ("RNFR", "/Produkt/Daten/" + BLANK_NAME),
            ("RMD", "/Produkt/Gesperrt"),
        ]
        with self.server.logged_in_ftp() as client:
            for command, argument in writes:
                with self.subTest(command=command):
                    with self.assertRaises(ftplib.error_perm) as refused:
                        client.sendcmd("%s %s" % (command, argument))
                    self.assertTrue(str(refused.exception).startswith("550"))
        self.assertTrue(os.path.exists(os.path.join(self.root, "Produkt/Daten", BLANK_NAME)))

    def test_wrong_password_is_refused(self):
        with self.server.ftp() as client:
            with self.assertRaises(ftplib.error_perm):
                client.login(USER, "wrong")

    def test_commands_are_logged_without_password(self):
        mark = self.server.mark()
        with self.server.logged_in_ftp() as client:
            client.retrlines("LIST /Produkt", lambda line: None)
        self.assertEqual(len(self.server.events_since(mark, cmd="USER", arg=USER)), 1)
        self.assertEqual(len(self.server.events_since(mark, cmd="PASS", arg=None)), 1)
        self.assertEqual(len(self.server.events_since(mark, event="login")), 1)
        self.assertEqual(len(self.server.events_since(mark, cmd="LIST", arg="/Produkt")), 1)
        with open(self.server.log_path, encoding="utf-8") as log:
            self.assertNotIn(PASSWORD, log.read())

    @unittest.skipUnless(shutil.which("curl"), "curl not installed")
    def test_curl_lists_over_ftp_and_fetches_over_http(self):
        listing = subprocess.run(
            ["curl", "-sS", "--ftp-pasv", "-l",
             "ftp://%s:%s@127.0.0.1:%d/" % (USER, PASSWORD, self.server.ftp_port)],
            capture_output=True, timeout=30, check=True)
        self.assertEqual(set(listing.stdout.decode("utf-8").split()), {"Produkt", "Quennvoldar"})
        download = subprocess.run(
            ["curl", "-sS", "--fail",
             "http://127.0.0.1:%d%s" % (self.server.http_port, url("Produkt/Daten/" + BLANK_NAME))],
            capture_output=True, timeout=30, check=True)
        self.assertEqual(download.stdout, FILES["Produkt/Daten/" + BLANK_NAME])


class HttpTests(ServerTestCase):

    def test_downloads_reuse_one_kept_alive_connection(self):
        paths = {
            url("Produkt/Daten/" + BLANK_NAME): FILES["Produkt/Daten/" + BLANK_NAME],
            url("Produkt/Daten/" + UMLAUT_NAME): FILES["Produkt/Daten/" + UMLAUT_NAME],
            "/vask/updates/Quennvoldar/version.txt": FILES["Quennvoldar/version.txt"],
        }
        mark = self.server.mark()
        connection = self.server.http()
        for path, content in paths.items():
            with self.subTest(path=path):
                response, body = get(connection, path)
                self.assertEqual(response.status, 200)
                self.assertEqual(body, content)
                self.assertEqual(int(response.getheader("Content-Length")), len(content))
        connection.close()
        requests = self.server.events_since(mark, proto="http")
        self.assertEqual([e["path"] for e in requests], list(paths))
        self.assertEqual(len({e["conn"] for e in requests}), 1)

    def test_cookie_is_set_until_the_client_returns_it(self):
        mark = self.server.mark()
        connection = self.server.http()
        first, _ = get(connection, "/vask/updates/Quennvoldar/version.txt")
        cookie = first.getheader("Set-Cookie").split(";", 1)[0]
        second, _ = get(connection, "/vask/updates/Quennvoldar/version.txt", {"Cookie": cookie})
        forgetful, _ = get(connection, "/vask/updates/Quennvoldar/version.txt")
        connection.close()
        self.assertIsNone(second.getheader("Set-Cookie"))
        self.assertIsNotNone(forgetful.getheader("Set-Cookie"))
        cookies = [e["cookie"] for e in self.server.events_since(mark, proto="http")]
        self.assertEqual(cookies, [False, True, False])

    def test_paths_outside_or_missing_are_not_served(self):
        cases = [
            ("/updates/../outside.txt", 400),
            ("/updates/%2e%2e/outside.txt", 400),
            ("/updates/Produkt/%2E%2E%2F%2E%2E%2Foutside.txt", 400),
            ("/vask/updates/Quennvoldar/../../outside.txt", 400),
            ("/updates/Produkt/link-out", 400),
            ("/updates/Produkt/Daten/%FF.zip", 400),
            ("/updates/Produkt/Daten/fehlt.zip", 404),
            ("/updates/Produkt/Daten", 404),
            ("/outside.txt", 404),
            ("/vask/updates/Produkt/Daten/" + quote(BLANK_NAME), 404),
        ]
        connection = self.server.http()
        for path, status in cases:
            with self.subTest(path=path):
                response, body = get(connection, path)
                self.assertEqual(response.status, status)
                self.assertNotIn(SECRET, body)
        connection.close()

    def test_query_string_is_ignored(self):
        connection = self.server.http()
        response, body = get(connection, "/vask/updates/Quennvoldar/version.txt?x=1")
        connection.close()
        self.assertEqual((response.status, body), (200, FILES["Quennvoldar/version.txt"]))

    def test_head_gives_length_without_body(self):
        connection = self.server.http()
        connection.request("HEAD", url("Produkt/Daten/" + BLANK_NAME))
        response = connection.getresponse()
        self.assertEqual(response.read(), b"")
        self.assertEqual(int(response.getheader("Content-Length")),
                         len(FILES["Produkt/Daten/" + BLANK_NAME]))
        # The connection stays usable after a bodiless response.
        response, body = get(connection, "/vask/updates/Quennvoldar/version.txt")
        connection.close()
        self.assertEqual(body, FILES["Quennvoldar/version.txt"])

    def test_other_methods_are_refused_and_logged(self):
        mark = self.server.mark()
        connection = self.server.http()
        connection.request("POST", "/updates/x", body=b"data")
        response = connection.getresponse()
        response.read()
        connection.close()
        self.assertEqual(response.status, 501)
        self.assertEqual(self.server.events_since(mark, proto="http", method="POST")[0]["status"],
                         501)


class HttpFaultTests(ServerTestCase):
    OPTIONS = (
        "--http-error", url("Produkt/Daten/fehler.zip") + ":2:503",
        "--http-error", "/updates/Produkt/Daten/kaputt.zip:1",
        "--http-truncate", url("Produkt/Daten/defekt.zip"),
        "--http-drop", url("Produkt/Daten/weg.zip") + ":1",
    )

    def test_error_answers_the_first_n_requests(self):
        cases = [
            ("Produkt/Daten/fehler.zip", [503, 503, 200]),
            ("Produkt/Daten/kaputt.zip", [500, 200]),
        ]
        for relative, expected in cases:
            with self.subTest(path=relative):
                mark = self.server.mark()
                connection = self.server.http()
                statuses = [get(connection, url(relative))[0].status for _ in expected]
                connection.close()
                self.assertEqual(statuses, expected)
                logged = self.server.events_since(mark, proto="http")
                self.assertEqual([e["status"] for e in logged], expected)
                # Error replies keep the connection alive.
                self.assertEqual(len({e["conn"] for e in logged}), 1)

    def test_truncate_announces_full_length_and_sends_half(self):
        content = FILES["Produkt/Daten/defekt.zip"]
        for attempt in range(2):
            with self.subTest(attempt=attempt):
                connection = self.server.http()
                connection.request("GET", url("Produkt/Daten/defekt.zip"))
                response = connection.getresponse()
                self.assertEqual(int(response.getheader("Content-Length")), len(content))
                with self.assertRaises(http.client.IncompleteRead) as short:
                    response.read()
                self.assertEqual(short.exception.partial, content[:len(content) // 2])
                connection.close()

    def test_drop_closes_without_response_then_serves(self):
        mark = self.server.mark()
        connection = self.server.http()
        connection.request("GET", url("Produkt/Daten/weg.zip"))
        with self.assertRaises(http.client.RemoteDisconnected):
            connection.getresponse()
        connection.close()
        connection = self.server.http()
        response, body = get(connection, url("Produkt/Daten/weg.zip"))
        connection.close()
        self.assertEqual(body, FILES["Produkt/Daten/weg.zip"])
        logged = self.server.events_since(mark, proto="http")
        self.assertEqual([(e["status"], e["fault"]) for e in logged], [(None, "drop"), (200, None)])
        self.assertNotEqual(logged[0]["conn"], logged[1]["conn"])


class HttpRangeTests(ServerTestCase):
    OPTIONS = (
        "--http-etag",
        "--http-fresh-date", url("Produkt/Daten/" + UMLAUT_NAME),
        "--http-range-fault", "other-etag:" + url("Produkt/Daten/defekt.zip"),
        "--http-range-fault", "other-total:" + url("Produkt/Daten/weg.zip"),
    )

    def test_the_rest_comes_only_for_the_version_if_range_names(self):
        relative = "Produkt/Daten/" + BLANK_NAME
        content = FILES[relative]
        connection = self.server.http()
        whole, _ = get(connection, url(relative))
        validators = {"date": whole.getheader("Last-Modified"), "etag": whole.getheader("ETag"),
                      "another etag": '"0-0"'}
        for name, if_range, status in (("date", "date", 206), ("etag", "etag", 206),
                                       ("another version", "another etag", 200)):
            with self.subTest(name):
                response, body = get(connection, url(relative),
                                     {"Range": "bytes=10-", "If-Range": validators[if_range]})
                self.assertEqual(response.status, status)
                self.assertEqual(body, content[10:] if status == 206 else content)
        connection.close()
        self.assertTrue(validators["etag"].startswith('"'))

    def test_a_fresh_date_is_the_answers_own(self):
        connection = self.server.http()
        response, _ = get(connection, url("Produkt/Daten/" + UMLAUT_NAME))
        connection.close()
        self.assertEqual(response.getheader("Last-Modified"), response.getheader("Date"))

    def test_spoiled_partial_answers(self):
        cases = [  # relative, ETag of the 206, Content-Range total beyond the file
            ("Produkt/Daten/defekt.zip", '"anders"', 0),
            ("Produkt/Daten/weg.zip", None, 1),
        ]
        for relative, etag, extra in cases:
            with self.subTest(relative):
                content = FILES[relative]
                connection = self.server.http()
                whole, _ = get(connection, url(relative))
                mark = self.server.mark()
                response, body = get(connection, url(relative),
                                     {"Range": "bytes=4-", "If-Range": whole.getheader("ETag")})
                connection.close()
                self.assertEqual(response.status, 206)
                self.assertEqual(response.getheader("ETag"), etag or whole.getheader("ETag"))
                self.assertEqual(response.getheader("Content-Range"), "bytes 4-%d/%d" % (
                    len(content) - 1, len(content) + extra))
                self.assertEqual(body, bytes(byte ^ 0xFF for byte in content[4:]))
                logged = self.server.events_since(mark, proto="http")
                self.assertEqual([(e["range"], e["fault"]) for e in logged],
                                 [("bytes=4-", "other-etag" if etag else "other-total")])


class HttpDelayTests(ServerTestCase):
    OPTIONS = ("--http-delay", url("Produkt/Daten/" + UMLAUT_NAME) + ":%d" % STALL_SECONDS)

    def test_the_stalled_file_comes_late_and_complete_while_others_come_at_once(self):
        stalled = self.server.http()
        started = time.monotonic()
        stalled.request("GET", url("Produkt/Daten/" + UMLAUT_NAME))
        # Meanwhile another connection is served without waiting.
        other = self.server.http()
        response, body = get(other, url("Quennvoldar/version.txt"))
        other.close()
        self.assertEqual((response.status, body), (200, FILES["Quennvoldar/version.txt"]))
        response = stalled.getresponse()
        body = response.read()
        stalled.close()
        self.assertGreaterEqual(time.monotonic() - started, STALL_SECONDS)
        self.assertEqual((response.status, body), (200, FILES["Produkt/Daten/" + UMLAUT_NAME]))


class FtpListDelayTests(ServerTestCase):
    OPTIONS = ("--ftp-list-delay", str(STALL_SECONDS))

    def test_listings_come_late_and_complete_while_other_commands_answer_at_once(self):
        with self.server.logged_in_ftp() as stalled, self.server.logged_in_ftp() as other:
            started = time.monotonic()
            stalled.voidcmd("TYPE A")
            connection = stalled.transfercmd("NLST /Produkt/Daten")
            # The stalled listing holds back no other session's commands.
            self.assertEqual(other.sendcmd("NOOP")[:3], "200")
            with connection:
                names = connection.makefile("rb").read().decode("utf-8").split("\r\n")
            stalled.voidresp()
            self.assertGreaterEqual(time.monotonic() - started, STALL_SECONDS)
        self.assertIn(UMLAUT_NAME, names)

    def test_a_client_gone_during_the_stall_leaves_the_server_serving(self):
        client = self.server.logged_in_ftp()
        client.sendcmd("PASV")
        client.putcmd("MLSD /Produkt")
        client.close()
        time.sleep(2 * STALL_SECONDS)  # past the point where the listing would be answered
        with self.server.logged_in_ftp() as again:
            self.assertIn("Daten", dict(again.mlsd("/Produkt")))


class FtpUnlistableTests(ServerTestCase):
    OPTIONS = ("--ftp-unlistable", "/Produkt/Gesperrt/")

    def test_listing_or_entering_the_folder_fails_with_550(self):
        commands = [
            ("LIST", lambda c: c.retrlines("LIST /Produkt/Gesperrt/", lambda line: None)),
            ("NLST", lambda c: c.nlst("/Produkt/Gesperrt")),
            ("MLSD", lambda c: list(c.mlsd("/Produkt/Gesperrt"))),
            ("CWD absolute", lambda c: c.cwd("/Produkt/Gesperrt")),
            ("CWD relative", lambda c: (c.cwd("/Produkt"), c.cwd("Gesperrt"))),
            ("LIST after CWD", lambda c: (c.cwd("/Produkt"),
                                          c.retrlines("LIST Gesperrt", lambda line: None))),
        ]
        with self.server.logged_in_ftp() as client:
            for name, command in commands:
                with self.subTest(command=name):
                    with self.assertRaises(ftplib.error_perm) as refused:
                        command(client)
                    self.assertTrue(str(refused.exception).startswith("550"))

    def test_other_folders_and_files_inside_stay_available(self):
        with self.server.logged_in_ftp() as client:
            self.assertIn("Gesperrt", dict(client.mlsd("/Produkt")))
            chunks = []
            client.retrbinary("RETR /Produkt/Gesperrt/hidden.txt", chunks.append)
        self.assertEqual(b"".join(chunks), FILES["Produkt/Gesperrt/hidden.txt"])


class FtpWithoutMlsdTests(ServerTestCase):
    OPTIONS = ("--no-mlsd",)

    def test_mlsd_is_neither_advertised_nor_accepted(self):
        with self.server.logged_in_ftp() as client:
            self.assertNotIn("MLST", client.sendcmd("FEAT"))
            for command in ("MLSD /Produkt", "MLST /Produkt"):
                with self.subTest(command=command):
                    with self.assertRaises(ftplib.error_perm) as refused:
                        client.sendcmd(command)
                    self.assertIn(str(refused.exception)[:3], ("500", "502"))

    def test_list_still_works(self):
        lines = []
        with self.server.logged_in_ftp() as client:
            client.retrlines("LIST /Produkt/Daten", lines.append)
        self.assertTrue(any(line.endswith(" " + UMLAUT_NAME) for line in lines))


class FtpListedSizeTests(ServerTestCase):
    OPTIONS = ("--ftp-listed-size", "/Produkt/Daten/%s:%d" % (UMLAUT_NAME, 2**64))

    def test_listings_show_the_size_and_the_file_keeps_its_bytes(self):
        lines = []
        with self.server.logged_in_ftp() as client:
            entries = dict(client.mlsd("/Produkt/Daten"))
            client.retrlines("LIST /Produkt/Daten", lines.append)
            chunks = []
            client.retrbinary("RETR /Produkt/Daten/" + UMLAUT_NAME, chunks.append)
        self.assertEqual(entries[UMLAUT_NAME]["size"], str(2**64))
        self.assertEqual(int(entries[BLANK_NAME]["size"]),
                         len(FILES["Produkt/Daten/" + BLANK_NAME]))
        listed = [line for line in lines if line.endswith(" " + UMLAUT_NAME)]
        self.assertEqual(len(listed), 1)
        self.assertIn(" %d " % 2**64, listed[0])
        self.assertEqual(b"".join(chunks), FILES["Produkt/Daten/" + UMLAUT_NAME])


class FtpRefusedLoginTests(ServerTestCase):
    OPTIONS = ("--ftp-refuse-login",)

    def test_every_login_gets_530_and_is_logged(self):
        mark = self.server.mark()
        for _ in range(2):
            with self.server.ftp() as client:
                with self.assertRaises(ftplib.error_perm) as refused:
                    client.login(USER, PASSWORD)
                self.assertTrue(str(refused.exception).startswith("530"))
        self.assertEqual(len(self.server.events_since(mark, event="login_failed")), 2)
        self.assertEqual(self.server.events_since(mark, event="login"), [])


class FtpLoginLimitTests(ServerTestCase):
    OPTIONS = ("--ftp-max-logins", "1")

    def test_a_second_login_at_once_gets_530_and_one_after_the_first_ended_does_not(self):
        mark = self.server.mark()
        with self.server.logged_in_ftp() as first:
            with self.server.ftp() as second:
                with self.assertRaises(ftplib.error_perm) as refused:
                    second.login(USER, PASSWORD)
                self.assertTrue(str(refused.exception).startswith("530"))
            first.quit()
        with self.server.logged_in_ftp() as third:
            third.quit()
        self.assertEqual(len(self.server.events_since(mark, event="login")), 2)
        self.assertEqual(len(self.server.events_since(mark, event="login_failed")), 1)


class LifecycleTests(unittest.TestCase):

    def setUp(self):
        self.work_dir = tempfile.mkdtemp(prefix="update-server-life-")
        self.addCleanup(shutil.rmtree, self.work_dir)
        self.root = make_tree(self.work_dir)

    def test_ready_file_names_pid_and_ports_and_goes_away_on_stop(self):
        server = ServerProcess(self.root, self.work_dir)
        self.assertEqual(server.ready["pid"], server.process.pid)
        with server.logged_in_ftp():
            pass
        connection = server.http()
        get(connection, "/vask/updates/Quennvoldar/version.txt")
        connection.close()
        returncode, stdout, stderr = server.stop()
        self.assertEqual((returncode, stdout, stderr), (0, b"", b""))
        self.assertFalse(os.path.exists(server.ready_path))

    def test_busy_port_fails_with_message_on_stderr(self):
        first = ServerProcess(self.root, self.work_dir)
        self.addCleanup(first.stop)
        second = subprocess.run(
            [SERVER_PYTHON, SERVER_SCRIPT, self.root, "--ftp-port", "0",
             "--http-port", str(first.http_port)],
            capture_output=True, timeout=30)
        self.assertEqual(second.returncode, 1)
        self.assertIn(b"cannot listen", second.stderr)

    def test_shell_wrapper_starts_and_stops_by_pid_file(self):
        run_dir = os.path.join(self.work_dir, "run")
        started = subprocess.run(
            [WRAPPER_SCRIPT, "start", run_dir, self.root, "--ftp-port", "0", "--http-port", "0"],
            capture_output=True, timeout=60)
        self.assertEqual((started.returncode, started.stdout, started.stderr), (0, b"", b""))
        with open(os.path.join(run_dir, "ready.json"), encoding="utf-8") as ready:
            ports = json.load(ready)
        with open(os.path.join(run_dir, "server.pid"), encoding="utf-8") as pid_file:
            self.assertEqual(int(pid_file.read()), ports["pid"])
        connection = http.client.HTTPConnection("127.0.0.1", ports["http_port"], timeout=10)
        response, _ = get(connection, "/vask/updates/Quennvoldar/version.txt")
        connection.close()
        self.assertEqual(response.status, 200)
        stopped = subprocess.run([WRAPPER_SCRIPT, "stop", run_dir], capture_output=True, timeout=60)
        self.assertEqual(stopped.returncode, 0)
        self.assertFalse(is_running(ports["pid"]))
        self.assertFalse(os.path.exists(os.path.join(run_dir, "server.pid")))
        with open(os.path.join(run_dir, "events.jsonl"), encoding="utf-8") as events:
            self.assertEqual(json.loads(events.readline())["status"], 200)

    def test_shell_wrapper_reports_a_server_that_cannot_start(self):
        started = subprocess.run(
            [WRAPPER_SCRIPT, "start", os.path.join(self.work_dir, "run"),
             os.path.join(self.work_dir, "missing")],
            capture_output=True, timeout=60)
        self.assertEqual(started.returncode, 1)
        self.assertIn(b"not a folder", started.stderr)


class TlsTests(unittest.TestCase):
    """--tls: HTTPS, and FTP with TLS required on control and data, with a
    certificate from the test CA of a folder, another CA or for another host."""

    def setUp(self):
        self.work_dir = tempfile.mkdtemp(prefix="update-server-tls-")
        self.addCleanup(shutil.rmtree, self.work_dir)
        self.root = make_tree(self.work_dir)
        self.ca_folder = os.path.join(self.work_dir, "test-ca")

    def start(self, certificate="trusted"):
        server = ServerProcess(self.root, self.work_dir, "--tls", self.ca_folder,
                               "--tls-certificate", certificate)
        self.addCleanup(server.stop)
        return server

    def trusting_test_ca(self):
        return ssl.create_default_context(cafile=os.path.join(self.ca_folder, CA_CERTIFICATE))

    def https_get(self, server, path):
        connection = http.client.HTTPSConnection("127.0.0.1", server.http_port, timeout=10,
                                                 context=self.trusting_test_ca())
        try:
            response, body = get(connection, path)
        finally:
            connection.close()
        return response.status, body

    def ftps_listing(self, server, folder):
        with ftplib.FTP_TLS(context=self.trusting_test_ca(), timeout=10) as client:
            client.connect("127.0.0.1", server.ftp_port)
            client.login(USER, PASSWORD)  # AUTH TLS first
            client.prot_p()
            return dict(client.mlsd(folder))

    def test_clients_that_trust_the_test_ca_list_and_fetch(self):
        server = self.start()
        self.assertEqual(self.https_get(server, url("Produkt/Daten/" + UMLAUT_NAME)),
                         (200, FILES["Produkt/Daten/" + UMLAUT_NAME]))
        self.assertIn(UMLAUT_NAME, self.ftps_listing(server, "/Produkt/Daten"))

    def test_plain_connections_are_refused(self):
        server = self.start()
        with server.ftp() as client:
            with self.assertRaises(ftplib.error_perm) as refused:
                client.login(USER, PASSWORD)
            self.assertTrue(str(refused.exception).startswith("550"))
        with ftplib.FTP_TLS(context=self.trusting_test_ca(), timeout=10) as client:
            client.connect("127.0.0.1", server.ftp_port)
            client.login(USER, PASSWORD)
            with self.assertRaises(ftplib.error_perm) as refused:
                client.sendcmd("PASV")  # no PROT P: no data connection
            self.assertTrue(str(refused.exception).startswith("550"))
        connection = server.http()
        with self.assertRaises((http.client.HTTPException, ConnectionError)):
            get(connection, url("Produkt/Daten/" + UMLAUT_NAME))
        connection.close()

    def test_certificates_a_client_of_the_test_ca_refuses(self):
        cases = [
            ("other-ca", "unable to get local issuer certificate"),
            ("other-host", "not valid for '127.0.0.1'"),
        ]
        for certificate, reason in cases:
            with self.subTest(certificate=certificate):
                server = self.start(certificate)
                with self.assertRaises(ssl.SSLCertVerificationError) as https_refused:
                    self.https_get(server, url("Produkt/Daten/" + UMLAUT_NAME))
                self.assertIn(reason, str(https_refused.exception))
                with self.assertRaises(ssl.SSLCertVerificationError) as ftps_refused:
                    self.ftps_listing(server, "/Produkt/Daten")
                self.assertIn(reason, str(ftps_refused.exception))
                self.assertEqual(server.events_since(0, event="login"), [])
                self.assertEqual(server.events_since(0, proto="http", method="GET"), [])

    def test_servers_starting_together_make_one_ca_and_later_ones_keep_it(self):
        first, second = [subprocess.Popen(
            [SERVER_PYTHON, SERVER_SCRIPT, self.root, "--ftp-port", "0", "--http-port", "0",
             "--tls", self.ca_folder, "--ready-file", os.path.join(self.work_dir, name)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE) for name in ("first", "second")]
        for process, name in ((first, "first"), (second, "second")):
            self.addCleanup(process.communicate, timeout=10)
            self.addCleanup(process.send_signal, signal.SIGTERM)
            wait_for_ready_file(os.path.join(self.work_dir, name), process)
        with open(os.path.join(self.ca_folder, CA_CERTIFICATE), "rb") as ca:
            made = ca.read()
        self.assertCountEqual(os.listdir(self.ca_folder), [CA_CERTIFICATE, CA_KEY])
        self.assertEqual([name for name in os.listdir(self.work_dir) if "test-ca" in name],
                         ["test-ca"])
        # Both serve certificates of that CA, and so does a later start.
        for ready in ("first", "second"):
            with open(os.path.join(self.work_dir, ready), encoding="utf-8") as file:
                port = json.load(file)["http_port"]
            connection = http.client.HTTPSConnection("127.0.0.1", port, timeout=10,
                                                     context=self.trusting_test_ca())
            self.assertEqual(get(connection, "/vask/updates/Quennvoldar/version.txt")[0].status,
                             200)
            connection.close()
        later = self.start()
        self.assertEqual(self.https_get(later, "/vask/updates/Quennvoldar/version.txt")[0], 200)
        with open(os.path.join(self.ca_folder, CA_CERTIFICATE), "rb") as ca:
            self.assertEqual(ca.read(), made)

    def test_a_certificate_choice_needs_tls(self):
        started = subprocess.run(
            [SERVER_PYTHON, SERVER_SCRIPT, self.root, "--tls-certificate", "other-ca"],
            capture_output=True, timeout=30)
        self.assertEqual(started.returncode, 2)
        self.assertIn(b"--tls-certificate needs --tls", started.stderr)


def release_tool_built():
    return unittest.skipUnless(os.access(RELEASE_TOOL, os.X_OK), RELEASE_TOOL + " is not built")


@release_tool_built()
class SignedServerTests(ServerTestCase):
    OPTIONS = ("--release-tool", RELEASE_TOOL, "--sign", "Quennvoldar", "--sign", "Produkt/Daten",
               "--release-fault", "withheld:Produkt/Daten/weg.zip")

    def test_folders_are_signed_at_start_and_a_withheld_file_is_not_served(self):
        connection = self.server.http()
        manifests = {folder: get(connection, url(folder + "/" + signed_release.MANIFEST_NAME))
                     for folder in ("Quennvoldar", "Produkt/Daten")}
        withheld, _ = get(connection, url("Produkt/Daten/weg.zip"))
        connection.close()
        for folder, role in (("Quennvoldar", "updater"), ("Produkt/Daten", "product")):
            with self.subTest(folder=folder):
                response, body = manifests[folder]
                self.assertEqual(response.status, 200)
                self.assertIn(b"\nproduct quennvoldar-sample\nfolder %s\nrelease 1\n"
                              % role.encode(), body)
        self.assertIn(b" weg.zip\n", manifests["Produkt/Daten"][1])
        self.assertEqual(withheld.status, 404)
        with self.server.logged_in_ftp() as client:
            self.assertNotIn("weg.zip", dict(client.mlsd("/Produkt/Daten")))


@release_tool_built()
class ReleaseFaultTests(unittest.TestCase):
    """Each fault on a freshly signed tree, judged by the command's check."""

    def setUp(self):
        self.work_dir = tempfile.mkdtemp(prefix="update-server-release-")
        self.addCleanup(shutil.rmtree, self.work_dir)

    def spoil(self, *faults):
        root = make_tree(tempfile.mkdtemp(dir=self.work_dir))
        signed_release.sign_served(RELEASE_TOOL, root, ["Quennvoldar", "Produkt/Daten"])
        for fault in faults:
            signed_release.apply_fault(RELEASE_TOOL, root, signed_release.parse_fault(fault))
        return root

    def check(self, root, folder):
        return subprocess.run(
            [RELEASE_TOOL, "check", signed_release.TEST_PUBLIC_KEY, os.path.join(root, folder)],
            capture_output=True, text=True, timeout=60)

    def test_what_the_command_finds_after_each_fault(self):
        cases = [
            ((), "Quennvoldar", 0, "product quennvoldar-sample, folder updater, release 1,"),
            ((), "Produkt/Daten", 0, "product quennvoldar-sample, folder product, release 1,"),
            (("other-product:Produkt/Daten",), "Produkt/Daten", 0,
             "product anderes-produkt, folder product, release 2,"),
            (("wrong-folder:Quennvoldar",), "Quennvoldar", 0, "folder product, release 2,"),
            (("wrong-folder:Produkt/Daten",), "Produkt/Daten", 0, "folder updater, release 2,"),
            (("release:Quennvoldar:%d" % LAST_RELEASE,), "Quennvoldar", 0,
             "folder updater, release %d," % LAST_RELEASE),
            (("release:Produkt/Daten:5", "older:Produkt/Daten"), "Produkt/Daten", 0,
             "folder product, release 4,"),
            (("expired:Quennvoldar",), "Quennvoldar", 1, "the manifest expired at"),
            (("other-key:Quennvoldar",), "Quennvoldar", 1, "not signed by these keys"),
            (("tampered:Produkt/Daten/defekt.zip",), "Produkt/Daten", 1,
             "changed since signing: defekt.zip"),
            (("swapped:Produkt/Daten/defekt.zip",), "Produkt/Daten", 1,
             "changed since signing: defekt.zip"),
            (("withheld:Produkt/Daten/weg.zip",), "Produkt/Daten", 1, "missing: weg.zip"),
            (("dated:Produkt/Daten/weg.zip:%d" % FAULT_EPOCH,), "Produkt/Daten", 0, "as signed"),
        ]
        for faults, folder, returncode, found in cases:
            with self.subTest(faults=faults):
                checked = self.check(self.spoil(*faults), folder)
                self.assertEqual(checked.returncode, returncode, checked.stderr)
                self.assertIn(found, checked.stdout + checked.stderr)

    def test_swapped_and_dated_files_keep_all_the_listing_shows_but_what_they_change(self):
        root = self.spoil("dated:Produkt/Daten/defekt.zip:%d" % FAULT_EPOCH,
                          "swapped:Produkt/Daten/defekt.zip",
                          "dated:Produkt/Daten/weg.zip:%d" % FAULT_EPOCH)
        cases = [
            ("defekt.zip", lambda content, original: len(content) == len(original) and all(
                a != b for a, b in zip(content, original))),
            ("weg.zip", lambda content, original: content == original),
        ]
        for name, as_expected in cases:
            with self.subTest(name=name):
                path = os.path.join(root, "Produkt/Daten", name)
                with open(path, "rb") as file:
                    self.assertTrue(as_expected(file.read(), FILES["Produkt/Daten/" + name]))
                self.assertEqual(os.stat(path).st_mtime, FAULT_EPOCH)


class FaultOptionParsingTests(unittest.TestCase):

    def test_error_option(self):
        cases = [
            ("/updates/a.zip:3", ("/updates/a.zip", 3, 500)),
            ("/updates/a.zip:2:503", ("/updates/a.zip", 2, 503)),
            ("/updates/K%C3%A4se%20x.dat:1", ("/updates/Käse x.dat", 1, 500)),
            ("/updates/a:b.zip:1:404", ("/updates/a:b.zip", 1, 404)),
        ]
        for value, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(parse_error_option(value), expected)

    def test_path_option(self):
        cases = [
            ("/updates/a.zip", ("/updates/a.zip", UNLIMITED)),
            ("/updates/a.zip:2", ("/updates/a.zip", 2)),
            ("/updates/%C3%A4.zip", ("/updates/ä.zip", UNLIMITED)),
        ]
        for value, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(parse_path_option(value), expected)

    def test_delay_option(self):
        self.assertEqual(parse_delay_option("/updates/K%C3%A4se.dat:3"), ("/updates/Käse.dat", 3))

    def test_release_fault_option(self):
        self.assertEqual(signed_release.parse_fault("release:Produkt/Daten:%d" % LAST_RELEASE),
                         ("release", "Produkt/Daten", LAST_RELEASE))
        self.assertEqual(signed_release.parse_fault("withheld:Quennvoldar/a:b"),
                         ("withheld", "Quennvoldar/a:b", None))
        for malformed in ("dated:Produkt/a.zip", "release:Quennvoldar:x", "renamed:a", "tampered:"):
            with self.subTest(value=malformed):
                with self.assertRaises(ValueError):
                    signed_release.parse_fault(malformed)

    def test_malformed_options_are_rejected(self):
        cases = [
            (parse_delay_option, "/updates/a.zip"),
            (parse_error_option, "/updates/a.zip"),
            (parse_error_option, "/updates/a.zip:1:999"),
            (parse_error_option, "updates/a.zip:1"),
            (parse_path_option, "a.zip"),
            (parse_path_option, "/updates/%FF.zip"),
        ]
        for parser, value in cases:
            with self.subTest(value=value):
                with self.assertRaises(argparse.ArgumentTypeError):
                    parser(value)


if __name__ == "__main__":
    unittest.main()

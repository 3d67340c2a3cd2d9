"""Discovery and download phases of the real updater against the real test
update server: the walk, the download-list decision, the requests they lead
to, the self-update route and the failures of the walk."""

import os
import resource
import stat
import time
import unittest
from urllib.parse import quote

from run_harness import (CONNECTING, MSG_NO_CONNECTION, MSG_WALK_FAILED, NOT_COMPLETED,
                         QUESTION_CLOSE_MAIN, WM_SHOWREQUEST, UpdateRunTestCase)

# Server files' dates: whole minutes plus some seconds, well in the past.
BASE_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60


def updates_path(server_relative):
    """The HTTP path the updater requests for a server file, encoded."""
    return "/updates/" + quote(server_relative, safe="/")


class WalkAndDownload(UpdateRunTestCase):
    """A tree with nested folders, names with a blank and an umlaut, a
    zero-byte file, and local copies that match, differ or wait."""

    def build_tree(self):
        t = BASE_TIME + 17
        self.fetched = {  # server file -> its mtime; all of these must be requested
            "Quennvoldar/liesmich.txt": t,
            "Produkt/Daten/neu.txt": t + 60,
            "Produkt/Daten/mit Leerzeichen.txt": t + 120,
            "Produkt/Daten/Grüße.txt": t + 180,
            "Produkt/Daten/leer.dat": t + 240,
            "Produkt/Daten/Ordner/Tief/ganz unten.bin": t + 300,
            "Produkt/Daten/ein Byte.txt": t + 360,
        }
        for relative, mtime in self.fetched.items():
            self.server_file(relative, b"" if relative.endswith("leer.dat")
                             else relative.encode() * 3, mtime)
        # Installed with the same minute (other seconds) and size: not fetched.
        self.server_file("Produkt/Daten/Ordner/gleich.txt", b"same", t + 420)
        self.local_file(self.install + "Ordner/gleich.txt", b"same", t + 420 - 15)
        # One byte off against the installed copy: fetched.
        self.local_file(self.install + "ein Byte.txt",
                        "Produkt/Daten/ein Byte.txt".encode() * 3 + b"!", t + 360)
        # A complete copy waiting in the download folder: kept, not fetched.
        self.server_file("Produkt/Daten/wartet.txt", b"waiting", t + 480)
        self.local_file(self.download + "wartet.txt", b"waiting", t + 480)

    def local_relative(self, server_relative):
        """Both server folders are laid over the same local folders."""
        for root in ("Quennvoldar/", "Produkt/Daten/"):
            if server_relative.startswith(root):
                return server_relative[len(root):]
        raise ValueError(server_relative)

    def assert_fewest_commands(self, listing):
        """One login; then per folder a passive-mode command and the listing
        with the folder's path: no CWD, nothing asked twice."""
        folders = ["/Quennvoldar", "/Produkt/Daten", "/Produkt/Daten/Ordner",
                   "/Produkt/Daten/Ordner/Tief"]
        self.assertEqual(self.listed_folders(), folders)
        commands = [e["cmd"] for e in self.ftp_events() if "cmd" in e]
        self.assertEqual(commands, ["USER", "PASS", "PWD", "FEAT", "OPTS", "EPSV", "TYPE", listing]
                         + ["EPSV", listing] * (len(folders) - 1) + ["QUIT"])

    def walk_and_download(self, listing_has_seconds, *server_options):
        self.build_tree()
        self.serve(*server_options)
        self.start_main_program()
        result = self.run_updater()
        self.assertEqual(result.returncode, 0, result.output)
        # The No to closing the main program leaves the download folder as is.
        self.assertIn(QUESTION_CLOSE_MAIN, result.questions[-1])

        paths = self.http_paths()
        self.assertCountEqual(paths, [updates_path(r) for r in self.fetched])
        self.assertEqual(paths[0], updates_path("Quennvoldar/liesmich.txt"), "own folder first")
        self.assertEqual(len(self.logins()), 1)
        self.assertEqual({e["conn"] for e in self.ftp_events()}, {1})
        # Kept alive: no more connections than files fetched at once.
        self.assertLessEqual(len({e["conn"] for e in self.http_events()}), 16)
        self.assertTrue(all(e["cookie"] for e in self.http_events()[1:]), "cookie sent back")
        for relative, mtime in self.fetched.items():
            local = self.download + self.local_relative(relative)
            with open(os.path.join(self.server_root, relative), "rb") as server, \
                    open(local, "rb") as fetched:
                self.assertEqual(fetched.read(), server.read(), relative)
            self.assert_server_date(local, mtime, listing_has_seconds)
        with open(self.download + "wartet.txt", "rb") as waiting:
            self.assertEqual(waiting.read(), b"waiting")

    def test_tree_listed_by_mlsd(self):
        self.walk_and_download(True)
        self.assert_fewest_commands("MLSD")

    def test_tree_listed_by_list_when_the_server_has_no_mlsd(self):
        self.walk_and_download(False, "--no-mlsd")
        self.assert_fewest_commands("LIST")

    def test_second_run_in_another_time_zone_finds_everything_current(self):
        self.build_tree()
        # Zero-byte files are never copied, so they would be listed again.
        os.remove(os.path.join(self.server_root, "Produkt/Daten/leer.dat"))
        self.serve()
        first = self.run_updater(env=dict(self.env, TZ="UTC"))
        self.assertIn("erfolgreich abgeschlossen", first.output)

        self.write_config()
        self.forget_events()
        second = self.run_updater(env=dict(self.env, TZ="America/St_Johns"))
        self.assertEqual(self.http_paths(), [])
        self.assertEqual(len(self.logins()), 1)
        self.assertIn("Aktualisierung wurde heruntergeladen", second.output)


class AnsweringWhileTheServerWaits(UpdateRunTestCase):
    def test_the_window_answers_while_the_server_holds_its_greeting(self):
        self.server_file("Quennvoldar/a.txt", b"a")
        self.server_file("Produkt/Daten/b.txt", b"b")
        self.serve("--ftp-greeting-delay", "4")
        logins_when_answered = []

        def ask_the_window():
            started = time.monotonic()
            self.send_and_wait(WM_SHOWREQUEST)
            # A figure, not a check: the probe's own start is part of it.
            print(f"\nanswered while the greeting is held: "
                  f"{(time.monotonic() - started) * 1000:.0f} ms")
            logins_when_answered.append(
                [event for event in self.ftp_events() if event.get("event") == "login"])

        result = self.run_updater(when=[(CONNECTING, ask_the_window)])
        self.assertEqual(logins_when_answered, [[]], "answered only after the greeting")
        self.assertEqual(result.informations, [], result.output)


class SelfUpdateRoute(UpdateRunTestCase):
    STAND_IN = "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/second-copy-started\"\n"

    def serve_updater_copies(self, *options):
        self.server_file("Quennvoldar/Quennvoldar2", self.STAND_IN.encode())
        self.server_file("Quennvoldar/Quennvoldar", b"new first copy")
        self.serve("--ftp-refuse-login", *options)

    def test_refused_login_fetches_both_copies_and_starts_the_second(self):
        self.serve_updater_copies()
        result = self.run_updater()
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual([e["event"] for e in self.ftp_events() if "event" in e],
                         ["connect", "login_failed", "disconnect"])
        self.assertEqual(result.informations, [])
        self.assertEqual(self.http_paths(), ["/vask/updates/Quennvoldar/Quennvoldar",
                                             "/vask/updates/Quennvoldar/Quennvoldar2"])
        second = self.install + "Quennvoldar2"
        self.assertTrue(os.stat(second).st_mode & stat.S_IXUSR)
        with open(self.download + "Quennvoldar", "rb") as first:
            self.assertEqual(first.read(), b"new first copy")
        with open(self.install + "Quennvoldar.dat", encoding="cp1252") as uninstall:
            self.assertIn(second, uninstall.read().splitlines())
        # The close handler starts the second copy with the configuration file.
        marker = self.install + "second-copy-started"
        deadline = time.monotonic() + 30
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.05)
        with open(marker) as started:
            self.assertEqual(started.read().split(), ["Produkt.cfg"])
        self.assertTrue(os.path.exists(self.temp + "Produkt.cfg"), "left for the second copy")

    def test_a_failed_second_copy_keeps_the_older_one(self):
        self.serve_updater_copies("--http-error", "/vask/updates/Quennvoldar/Quennvoldar2:1000")
        with open(self.install + "Quennvoldar2", "wb") as older:
            older.write(b"older second copy")
        result = self.run_updater()
        self.assertEqual(result.informations[0], MSG_NO_CONNECTION)
        self.assertEqual(self.http_paths(), ["/vask/updates/Quennvoldar/Quennvoldar"] +
                         ["/vask/updates/Quennvoldar/Quennvoldar2"] * 50)
        with open(self.install + "Quennvoldar2", "rb") as second:
            self.assertEqual(second.read(), b"older second copy")
        self.assertEqual([name for name in os.listdir(self.install) if name.startswith("~")], [],
                         "nothing of the failed download is left")
        with open(self.install + "Quennvoldar.dat", encoding="cp1252") as uninstall:
            self.assertIn(self.install + "Quennvoldar2", uninstall.read().splitlines())

    def test_a_cancelled_route_is_resumed_by_the_next_run(self):
        # The first copy comes slowly: a cancel ends the route at once, as a
        # cancel, keeping what arrived; the next run asks for the rest.
        first_copy = os.urandom(2 << 20)
        self.server_file("Quennvoldar/Quennvoldar2", self.STAND_IN.encode(), BASE_TIME)
        self.server_file("Quennvoldar/Quennvoldar", first_copy, BASE_TIME)
        first = "/vask/updates/Quennvoldar/Quennvoldar"
        self.serve("--ftp-refuse-login", "--http-rate", first + ":" + str(256 << 10))
        result = self.run_updater(when=[(CONNECTING, lambda: self.cancel_once(
            lambda: any(self.kept_sizes()), "the first copy on its way"))])
        self.assertEqual(result.outcome, NOT_COMPLETED, result.output)
        self.assertEqual(result.informations, [], "a cancel is no failure")
        self.assertEqual(self.http_paths(), [first])
        self.assertFalse(os.path.exists(self.install + "Quennvoldar2"))
        kept = self.read(self.kept_bytes_path())
        self.assertLess(len(kept), len(first_copy))
        self.assertEqual(kept, first_copy[:len(kept)])

        self.stop_server()
        self.serve("--ftp-refuse-login")
        self.write_config()
        self.forget_events()
        result = self.run_updater()
        self.assertEqual(result.informations, [])
        self.assertEqual([(e["path"], e["status"], e["range"]) for e in self.http_events()],
                         [(first, 206, f"bytes={len(kept)}-"),
                          ("/vask/updates/Quennvoldar/Quennvoldar2", 200, None)])
        self.assertEqual(self.read(self.download + "Quennvoldar"), first_copy)
        self.assertTrue(os.stat(self.install + "Quennvoldar2").st_mode & stat.S_IXUSR)

    def test_install_only_argument_bars_the_route(self):
        self.serve_updater_copies()
        result = self.run_updater("Produkt.cfg", "/u")
        self.assertEqual(result.informations[0], MSG_NO_CONNECTION)
        self.assertEqual(self.http_paths(), [])
        self.assertFalse(os.path.exists(self.install + "Quennvoldar2"))

    def test_install_only_start_with_comparison_file_connects_nowhere(self):
        self.serve()
        with open(self.temp + "Quennvoldar.fn", "w") as marker:
            marker.write("anything")
        result = self.run_updater("Produkt.cfg", "/U")
        self.assertEqual(result.returncode, 0, result.output)
        self.assertNotIn(CONNECTING, result.lines)
        self.assertEqual(self.events(), [])
        self.assertFalse(os.path.exists(self.download))


class WalkFailures(UpdateRunTestCase):
    def test_walk_failures_end_the_run_before_any_download(self):
        cases = [
            ("missing product folder", {"Quennvoldar/a.txt": b"a"}, ()),
            ("updater folder unlistable", {"Quennvoldar/a.txt": b"a",
                                           "Produkt/Daten/b.txt": b"b"},
             ("--ftp-unlistable", "/Quennvoldar")),
            # Names that would lead out of the local folders.
            ("backslash in a name", {"Quennvoldar/a.txt": b"a",
                                     "Produkt/Daten/x\\..\\..\\boese.txt": b"b"}, ()),
            ("dots only as a folder", {"Quennvoldar/a.txt": b"a",
                                       "Produkt/Daten/.../boese.txt": b"b"}, ()),
            # A broken or hostile server: the walk ends at 64 KiB of the line.
            ("a listing line of 256 MiB", {"Quennvoldar/a.txt": b"a"},
             ("--ftp-long-line", str(256 << 20))),
            # Less than 512 bytes a second over 20 s ends the listing.
            ("a listing that drips", {"Quennvoldar/a.txt": b"a"}, ("--ftp-drip",)),
            # A size that does not fit: the file cannot be judged, over LIST
            # as over MLSD, so the walk fails instead of keeping it old.
            *[(f"a listed size of 2^64 over {listing}", {"Quennvoldar/a.txt": b"a",
                                                         "Produkt/Daten/b.txt": b"b"},
               ("--ftp-listed-size", f"/Quennvoldar/a.txt:{2**64}", *switches))
              for listing, switches in (("LIST", ("--no-mlsd",)), ("MLSD", ()))],
            # No product nests folders this deep; a hostile tree ends here.
            ("folders nested past the walk's depth", {
                "Quennvoldar/a.txt": b"a", "Produkt/Daten/" + "d/" * 101 + "x.txt": b"x"}, ()),
        ]
        for what, files, options in cases:
            with self.subTest(what):
                for relative, content in files.items():
                    self.server_file(relative, content)
                self.serve(*options)
                result = self.run_updater()
                self.assertEqual(result.informations[0], MSG_WALK_FAILED, result.output)
                self.assertEqual(self.http_paths(), [])
                self.assertFalse(os.path.exists(self.temp + "boese.txt"))
                self.assertFalse(os.path.exists(self.path("boese.txt")))
                if options:
                    self.assertNotIn("/Produkt/Daten", self.listed_folders())
                # The largest child so far (the updater): nowhere near the line.
                self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, 128 << 10)
                self.start_afresh()


if __name__ == "__main__":
    unittest.main()

"""The download phase of the real updater against the test update server's
fault switches: retries, the give-up after 50 requests, resuming by HTTP's
rules, and the progress."""

import email.utils
import os
import time
import unittest

from run_harness import DOWNLOADING, MSG_DOWNLOAD_FAILED, UpdateRunTestCase

SERVER_TIME = (int(time.time()) // 60 - 24 * 60) * 60 + 30
DOWNLOADED = "Aktualisierung wurde heruntergeladen"


class DownloadFaults(UpdateRunTestCase):
    def requests_for(self, server_relative):
        return self.http_paths().count("/updates/" + server_relative)

    def test_a_file_that_never_arrives_ends_the_run_after_fifty_requests(self):
        # The listing says 4,000 bytes; a body of another size is never the file.
        error_page = b"<html><body><h1>503 Service Unavailable</h1>Bitte warten.</body></html>"
        fault_cases = [
            ("server error", "--http-error", ":1000", 50),
            ("body cut off", "--http-truncate", "", 50),
            # curl itself may retry a dropped request once on a fresh connection.
            ("connection dropped", "--http-drop", "", None),
            ("longer body", "--http-body", b"x" * 4001, 50),
            ("shorter body, Content-Length to match", "--http-body", b"x" * 3990, 50),
            ("error page with status 200", "--http-body", error_page, 50),
        ]
        layouts = [  # (what, files before the broken one, files after it)
            ("own folder's file fails", {}, {"Produkt/Daten/spaeter.txt": b"later"}),
            ("product file fails", {"Quennvoldar/vorher.txt": b"earlier"}, {}),
        ]
        for fault, switch, suffix, expected_requests in fault_cases:
            for layout, before, after in layouts:
                with self.subTest(fault=fault, layout=layout):
                    broken = ("Quennvoldar/kaputt.bin" if not before
                              else "Produkt/Daten/kaputt.bin")
                    self.server_file(broken, b"x" * 4000, SERVER_TIME)
                    for relative, content in {**before, **after}.items():
                        self.server_file(relative, content, SERVER_TIME)
                    option = "/updates/" + broken
                    if isinstance(suffix, bytes):  # a body served in the file's place
                        self.write(self.path("body"), suffix)
                        option += "=" + self.path("body")
                    else:
                        option += suffix
                    self.serve(switch, option)
                    result = self.run_updater()

                    self.assertEqual(result.informations[0], MSG_DOWNLOAD_FAILED, result.output)
                    self.assertNotIn(DOWNLOADED, result.lines)
                    requests = self.requests_for(broken)
                    if expected_requests is None:
                        self.assertGreaterEqual(requests, 50)
                        self.assertLessEqual(requests, 100)
                    else:
                        self.assertEqual(requests, expected_requests)
                    self.assertFalse(os.path.exists(self.download + "kaputt.bin"))
                    # A file fetched meanwhile waits whole.
                    for relative, content in after.items():
                        self.assertLessEqual(self.requests_for(relative), 1)
                        local = self.download + os.path.basename(relative)
                        if os.path.exists(local):
                            self.assertEqual(self.read(local), content)
                    for relative, content in before.items():
                        local = self.download + os.path.basename(relative)
                        with open(local, "rb") as fetched:
                            self.assertEqual(fetched.read(), content)
                        self.assert_server_date(local, SERVER_TIME, True)
                    self.start_afresh()

    def test_a_server_that_stalls_or_drips_ends_the_run_after_four_attempts(self):
        # Each attempt ends after 20 s without a byte, or with less than 512
        # bytes a second over 20 s; four such attempts end the download.
        for fault, switch, value in (("answer held back", "--http-delay", "1000"),
                                     ("two bytes a second", "--http-rate", "2")):
            with self.subTest(fault=fault):
                broken = "Produkt/Daten/langsam.bin"
                os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
                self.server_file(broken, b"x" * 4000, SERVER_TIME)
                self.serve(switch, f"/updates/{broken}:{value}")
                result = self.run_updater()

                self.assertEqual(result.informations, [MSG_DOWNLOAD_FAILED], result.output)
                self.assertNotIn(DOWNLOADED, result.lines)
                if switch == "--http-rate":  # a held request is never answered
                    self.assertEqual(self.requests_for(broken), 4)
                self.assertFalse(os.path.exists(self.download + "langsam.bin"))
                self.start_afresh()

    def test_a_download_cut_again_and_again_arrives_whole_by_resuming(self):
        # 4 MiB, every body cut after 256 KiB: each attempt asks for the rest
        # only. A server that ignores ranges sends the whole file instead.
        big = "Produkt/Daten/gross.bin"
        cases = [("ranges honoured", ["--http-cut", f"/updates/{big}:{256 << 10}"], 17),
                 ("ranges ignored", ["--http-no-range", "--http-truncate", f"/updates/{big}:1"],
                  2)]
        for case, options, most_requests in cases:
            with self.subTest(case):
                os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
                content = os.urandom(4 << 20)
                self.server_file(big, content, SERVER_TIME)
                self.serve(*options)
                result = self.run_updater()

                self.assertIn(DOWNLOADED, result.lines, result.output)
                with open(self.install + "gross.bin", "rb") as installed:
                    self.assertEqual(installed.read(), content)
                # At most 17 × 256 KiB sent: 1.06 times the file.
                self.assertLessEqual(self.requests_for(big), most_requests)
                self.assertFalse(os.path.exists(self.download.rstrip("/") + ".partial"))
                self.start_afresh()

    def test_kept_bytes_are_continued_only_as_http_allows(self):
        # The first answer ends halfway. The second request asks for the rest
        # only with a validator of the kept bytes (a strong ETag, or a date
        # well before the answer's), and a 206 that is not their rest sends
        # the updater to fetch the file whole.
        relative = "Produkt/Daten/teil.bin"
        path = "/updates/" + relative
        cases = [  # case, options, statuses, If-Range of the second request
            ("date a day old", [], [200, 206], "date"),
            ("strong ETag", ["--http-etag"], [200, 206], "etag"),
            ("date of the answer itself", ["--http-fresh-date", path], [200, 200], None),
            ("206 with another ETag", ["--http-etag", "--http-range-fault", "other-etag:" + path],
             [200, 206, 200], "etag"),
            ("206 of another whole size", ["--http-range-fault", "other-total:" + path],
             [200, 206, 200], "date"),
        ]
        for case, options, statuses, validator in cases:
            with self.subTest(case):
                os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
                content = os.urandom(256 << 10)
                served = self.server_file(relative, content, SERVER_TIME)
                self.serve("--http-truncate", path + ":1", *options)
                result = self.run_updater()

                self.assertIn(DOWNLOADED, result.lines, result.output)
                self.assertEqual(self.read(self.install + "teil.bin"), content)
                events = self.http_events()
                self.assertEqual([e["status"] for e in events], statuses)
                rest = f"bytes={len(content) // 2}-" if validator else None
                self.assertEqual([e["range"] for e in events],
                                 [None, rest] + [None] * (len(events) - 2))
                if validator == "date":
                    self.assertEqual(events[1]["if_range"],
                                     email.utils.formatdate(SERVER_TIME, usegmt=True))
                elif validator == "etag":
                    stat = os.stat(served)
                    self.assertEqual(events[1]["if_range"],
                                     '"%x-%x"' % (stat.st_size, stat.st_mtime_ns))
                self.start_afresh()

    def test_what_a_cancelled_run_kept_is_resumed_unless_it_changed(self):
        big = "Produkt/Daten/gross.bin"

        def change_one_byte(path):
            with open(path, "r+b") as kept:
                first = kept.read(1)
                kept.seek(0)
                kept.write(bytes([first[0] ^ 1]))

        for case, spoil, status in (("kept as they were", None, 206),
                                    ("one byte changed since", change_one_byte, 200)):
            with self.subTest(case):
                os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
                content = os.urandom(4 << 20)
                self.server_file(big, content, SERVER_TIME)
                # The first run gets the first MiB again and again until it is cancelled.
                self.serve("--http-no-range", "--http-cut", f"/updates/{big}:{1 << 20}")
                first = self.run_updater(when=[(DOWNLOADING, lambda: self.cancel_once(
                    lambda: any(self.kept_sizes()), "bytes kept"))])
                self.assertNotIn(DOWNLOADED, first.lines, first.output)
                self.assertEqual(self.waiting_downloads(), [], "only whole files wait there")
                if spoil:
                    spoil(self.kept_bytes_path())

                self.stop_server()
                self.serve()
                self.write_config()
                self.forget_events()
                second = self.run_updater()
                self.assertIn(DOWNLOADED, second.lines, second.output)
                with open(self.install + "gross.bin", "rb") as installed:
                    self.assertEqual(installed.read(), content)
                self.assertEqual([e["status"] for e in self.http_events()], [status])
                self.start_afresh()

    def test_passing_faults_are_retried_until_the_file_is_complete(self):
        faults = {  # server file -> (switch, times, fewest and most requests)
            "Produkt/Daten/fehler.bin": ("--http-error", 3, 4, 4),
            "Produkt/Daten/gekuerzt.bin": ("--http-truncate", 2, 3, 3),
            "Produkt/Daten/abgebrochen.bin": ("--http-drop", 1, 2, 3),
        }
        os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
        options = []
        for relative, (switch, times, _, _) in faults.items():
            self.server_file(relative, os.urandom(50000), SERVER_TIME)
            options += [switch, f"/updates/{relative}:{times}"]
        self.serve(*options)
        self.start_main_program()
        result = self.run_updater()

        self.assertIn(DOWNLOADED, result.lines, result.output)
        for relative, (_, _, fewest, most) in faults.items():
            self.assertGreaterEqual(self.requests_for(relative), fewest, relative)
            self.assertLessEqual(self.requests_for(relative), most, relative)
            with open(os.path.join(self.server_root, relative), "rb") as server, \
                    open(self.download + os.path.basename(relative), "rb") as fetched:
                self.assertEqual(fetched.read(), server.read(), relative)

    def test_progress_counts_the_bytes_of_every_file_on_their_way(self):
        # A quick file and a slow one: the bar moves while the slow one
        # arrives, never back, up to 100 %.
        self.server_file("Quennvoldar/schnell.bin", b"a" * 1000, SERVER_TIME)
        self.server_file("Produkt/Daten/langsam.bin", b"b" * 9000, SERVER_TIME)
        self.serve("--http-rate", "/updates/Produkt/Daten/langsam.bin:3000")
        self.start_main_program()
        result = self.run_updater()
        lines = result.lines
        start = lines.index(DOWNLOADING)
        end = lines.index(DOWNLOADED)
        progress = [int(line.split()[1]) for line in lines[start:end]
                    if line.startswith("Fortschritt:")]
        self.assertEqual(progress, sorted(set(progress)), "it never goes back")
        self.assertEqual(progress[-1], 100)
        self.assertGreaterEqual(len([p for p in progress if 10 < p < 100]), 3, progress)


if __name__ == "__main__":
    unittest.main()

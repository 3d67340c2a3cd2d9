"""The download phase of the real updater against the test update server's
fault switches: retries, the give-up after 50 requests, and the progress."""

import os
import time
import unittest

from run_harness import MSG_DOWNLOAD_FAILED, UpdateRunTestCase

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
                    for relative in after:
                        self.assertEqual(self.requests_for(relative), 0)
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

    def test_what_a_cancelled_run_fetched_is_resumed_by_the_next(self):
        big = "Produkt/Daten/gross.bin"
        os.makedirs(os.path.join(self.server_root, "Quennvoldar"))  # empty own folder
        content = os.urandom(4 << 20)
        self.server_file(big, content, SERVER_TIME)
        # The first run gets the first MiB again and again until it is cancelled.
        self.serve("--http-no-range", "--http-cut", f"/updates/{big}:{1 << 20}")
        first = self.run_updater(when=[("Aktualisierung wird heruntergeladen...",
                                        self.send_close_request)])
        self.assertNotIn(DOWNLOADED, first.lines, first.output)
        self.assertEqual(self.waiting_downloads(), [], "only whole files wait there")

        self.stop_server()
        self.serve()
        self.write_config()
        self.forget_events()
        second = self.run_updater()
        self.assertIn(DOWNLOADED, second.lines, second.output)
        with open(self.install + "gross.bin", "rb") as installed:
            self.assertEqual(installed.read(), content)
        self.assertEqual([e["status"] for e in self.http_events()], [206])

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

    def test_progress_advances_by_listed_size_per_file(self):
        # The own folder is walked first, so its file is fetched first.
        self.server_file("Quennvoldar/dreihundert.bin", b"a" * 300, SERVER_TIME)
        self.server_file("Produkt/Daten/siebenhundert.bin", b"b" * 700, SERVER_TIME)
        self.serve()
        self.start_main_program()
        result = self.run_updater()
        lines = result.lines
        start = lines.index("Aktualisierung wird heruntergeladen...")
        end = lines.index(DOWNLOADED)
        progress = [line for line in lines[start:end] if line.startswith("Fortschritt:")]
        self.assertEqual(progress, ["Fortschritt: 30 %", "Fortschritt: 100 %"])


if __name__ == "__main__":
    unittest.main()

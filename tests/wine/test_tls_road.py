"""The real Quennvoldar.exe built for TLS (Quennvoldar-tls: FTP with explicit
TLS, HTTPS, the CA file of the build's test CA, read through drive Z:) under
Wine, whose Schannel sits on GnuTLS, against the test server with --tls and
that CA (QV_TEST_CA_FOLDER). A certificate of the CA for 127.0.0.1 is taken
on the FTP control connection and for the HTTPS downloads of the self-update
route; one from another CA or for another host name is refused with the
connection message, and nothing is installed.

An FTP listing over TLS cannot end well under Wine 8: its Schannel hands a
received close_notify on as zero bytes with SEC_E_OK, never as
SEC_I_CONTEXT_EXPIRED, so curl takes the end of every TLS data connection
for a cut one (CURLE_RECV_ERROR, "server closed abruptly (missing
close_notify)") and the walk ends with its message. Listings over TLS are
tested natively (tests/integration/scenario_tls.py).

Needs QV_TEST_CA_FOLDER besides what update_run.py names (set by CTest)."""

import os
import unittest

from update_run import (FAILED, MSG_NO_CONNECTION, QUESTION_START_MAIN, VERSION_SAMPLE,
                        UpdateRunUnderWine, digest, digests, read)
from wine_session import WAIT_S

SELF_UPDATE_FOLDER = "/vask/updates/Quennvoldar/"


class TlsUnderWine(UpdateRunUnderWine):
    certificate = "trusted"  # which one the server shows (--tls-certificate)

    def serve(self, *options):
        super().serve("--tls", os.environ["QV_TEST_CA_FOLDER"],
                      "--tls-certificate", self.certificate, *options)

    def lay_out(self):
        """An installed product, new copies of the updater and a new file on the server."""
        self.updater_bytes = read(self.updater)
        self.new_first_copy = self.updater_bytes + b"\0neue erste Kopie"
        self.installed_before = {
            "Quennvoldar.exe": self.updater_bytes,
            "Produkt.exe": read(VERSION_SAMPLE),
            "liesmich.txt": b"Produkt 1.43\r\n",
        }
        self.install_files(self.installed_before)
        self.server_files({
            "Quennvoldar/Quennvoldar2.exe": self.updater_bytes,
            "Quennvoldar/Quennvoldar.exe": self.new_first_copy,
            "Produkt/liesmich.txt": b"Produkt 1.44\r\n",
        })
        self.write_config()

    def ftp_commands(self, command):
        return [e["arg"] for e in self.server_events() if e.get("cmd") == command]

    def http_paths(self):
        return [e["path"] for e in self.server_events() if e["proto"] == "http"]

    def test_the_self_update_route_over_tls(self):
        self.lay_out()
        self.serve("--ftp-refuse-login")
        first_copy = self.start_updater()

        # Each copy logs in after a handshake it verified and is refused; the
        # first fetches both copies over HTTPS, the second reports.
        self.assertEqual(self.answer_boxes(),
                         [MSG_NO_CONNECTION, FAILED + self.home_page + QUESTION_START_MAIN])
        self.assertEqual(first_copy.wait(WAIT_S), 0)
        self.assertEqual(self.ftp_commands("AUTH"), ["TLS", "TLS"])
        self.assertEqual(self.ftp_commands("USER"), ["quennvoldar", "quennvoldar"])
        self.assertEqual(self.http_paths(), [SELF_UPDATE_FOLDER + "Quennvoldar.exe",
                                             SELF_UPDATE_FOLDER + "Quennvoldar2.exe"])
        self.assertEqual(read(self.install + "Quennvoldar2.exe"), self.updater_bytes)
        self.assertEqual(read(self.download + "Quennvoldar.exe"), self.new_first_copy)

    def test_another_ca_or_another_host_name_is_no_connection(self):
        for certificate in ("other-ca", "other-host"):
            with self.subTest(certificate=certificate):
                self.certificate = certificate
                self.lay_out()
                self.serve()
                updater = self.start_updater()

                self.assertEqual(self.answer_boxes(),
                                 [MSG_NO_CONNECTION, FAILED + self.home_page + QUESTION_START_MAIN])
                self.assertEqual(updater.wait(WAIT_S), 0)
                # Ended in the handshakes: no login, no request, nothing placed.
                self.assertEqual(self.ftp_commands("AUTH"), ["TLS"])
                self.assertEqual(self.ftp_commands("USER"), [])
                self.assertEqual(self.http_paths(), [])
                self.assertEqual(digests(self.install), {
                    name: digest(content) for name, content in self.installed_before.items()})
                self.doCleanups()
                self.setUp()


if __name__ == "__main__":
    unittest.main()

"""Update runs over TLS: the updater built for them (Quennvoldar-tls: FTP
with explicit TLS, HTTPS update and self-update addresses, the CA file of
the build's test CA) against the test server with --tls and that CA
(QV_TEST_CA_FOLDER), on the port of QV_TLS_WEB_ADDRESS. With the CA's
certificate for 127.0.0.1 the ordinary road and the self-update route go as
over plain FTP and HTTP; a certificate from another CA or for another host
name is refused like a server that cannot be reached, and nothing is
installed."""

import os
import unittest
from urllib.parse import urlsplit

import scenario_ordinary_road
import scenario_restart
from run_harness import FAILED, MSG_NO_CONNECTION, UpdateRunTestCase
from scenario_releases import logged_failures


class OverTls:
    """The test server with TLS on the updater's HTTPS port, showing the
    certificate of the kind named by `certificate`."""

    certificate = "trusted"

    def setUp(self):
        super().setUp()
        self.ca_folder = os.environ.get("QV_TEST_CA_FOLDER")
        if not self.ca_folder:
            raise unittest.SkipTest("QV_TEST_CA_FOLDER names no test CA folder")
        self.https_port = str(urlsplit(os.environ["QV_TLS_WEB_ADDRESS"]).port)

    def serve(self, *options):
        # The later --http-port is the one the server takes.
        super().serve("--tls", self.ca_folder, "--tls-certificate", self.certificate,
                      "--http-port", self.https_port, *options)


class OrdinaryRoadOverTls(OverTls, scenario_ordinary_road.OrdinaryRoad):
    """The ordinary road's run and checks, listed over FTPS and fetched over HTTPS."""


class SelfUpdateRouteOverTls(OverTls, scenario_restart.SelfUpdateRoute):
    """A refused FTP login, then both programs fetched over HTTPS."""


class RefusedCertificates(OverTls, UpdateRunTestCase):
    def test_another_ca_or_another_host_name_is_no_connection(self):
        for certificate in ("other-ca", "other-host"):
            with self.subTest(certificate=certificate):
                self.certificate = certificate
                self.server_file("Quennvoldar/Quennvoldar2", b"zweite Kopie")
                self.server_file("Produkt/Daten/liesmich.txt", b"Produkt 1.44\r\n")
                self.serve()

                result = self.run_updater()

                self.assertEqual(result.informations, [MSG_NO_CONNECTION], result.output)
                self.assertEqual(result.outcome, FAILED)
                # The log names the refused certificate of the last route tried.
                failure = logged_failures(self)[-1]
                self.assertTrue(failure.startswith("download " + os.environ["QV_TLS_WEB_ADDRESS"]),
                                failure)
                self.assertIn(": TLS refused, curl 60 (SSL", failure)
                self.assertTrue(failure.endswith("; shown: " + MSG_NO_CONNECTION), failure)
                # Ended in the handshakes: no login, no request, nothing placed.
                self.assertEqual(self.ftp_commands("AUTH"), ["TLS"])
                self.assertEqual(self.ftp_commands("USER"), [])
                self.assertEqual(self.http_events(), [])
                self.assertEqual(self.installed(), {})
                self.assertFalse(os.path.exists(self.install + "Quennvoldar2"))
                self.assert_nothing_recorded()
                self.start_afresh()


if __name__ == "__main__":
    unittest.main()

"""Signed releases: the updater with the test key installs only what a
manifest signed by that key lists, with the listed bytes. Every release the
server spoils (a changed byte, an unlisted file, another key, a broken
signature, an expired or older manifest, none at all) is refused with its
message, and nothing is installed or left waiting to be installed."""

import os
import sys
import time

from port_harness import built_binary
from run_harness import (FAILED, MUTEX, UPDATED, UpdateRunTestCase, answer_close_yes)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update_server"))
import signed_release  # noqa: E402

SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60 + 21
KEY_FILE = MUTEX + "_is1.key"
REFUSED = "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen."
MSG_MISSING = "Auf dem Update-Server fehlt die signierte Freigabeliste!"
MSG_NOT_SIGNED = "Die Freigabeliste des Update-Servers ist nicht vom Hersteller signiert!"
MSG_EXPIRED = "Die Freigabeliste des Update-Servers ist abgelaufen!"
MSG_OLDER = "Der Update-Server bietet eine ältere Freigabe an als die bereits angenommene!"


def msg_not_released(path):
    return f'Die Datei "{path}" ist in der Freigabeliste des Update-Servers nicht enthalten!'


def msg_not_authentic(path):
    return f'Die Datei "{path}" stimmt nicht mit der Freigabeliste des Update-Servers überein!'


def release_tool():
    return built_binary("QV_RELEASE_TOOL", "release_tool/quennvoldar-release")


class SignedReleases(UpdateRunTestCase):
    ROOTS = ("Quennvoldar", "Produkt/Daten")

    def lay_out(self):
        """Old versions installed, new ones on the server, the server's
        folders signed; this installation has an uninstall entry."""
        self.write(self.install + "a.txt", b"alt a")
        self.write(self.install + "Ordner/b.txt", b"alt b")
        self.server_file("Quennvoldar/liesmich.txt", b"zum Updater", SERVER_TIME)
        self.server_file("Produkt/Daten/a.txt", b"neu a", SERVER_TIME)
        self.server_file("Produkt/Daten/Ordner/b.txt", b"neu b", SERVER_TIME)
        self.write(self.registry + KEY_FILE, f"InstallLocation=sz:{self.install}\n".encode())
        self.installed_before = self.digests(self.install)

    def serve_release(self, *faults, signed=True):
        """The server signs both folders as it starts (their next release),
        then spoils them as the faults say."""
        options = ["--release-tool", release_tool()]
        for root in self.ROOTS if signed else ():
            options += ["--sign", root]
        for fault in faults:
            options += ["--release-fault", fault]
        self.serve(*options)

    def release_floor(self):
        """The release numbers the installation's entry keeps."""
        lines = self.read(self.registry + KEY_FILE).decode().splitlines()
        return {line.split("=")[0]: line.split(":")[1] for line in lines
                if line.startswith("QuennvoldarRelease")}

    def assert_refused(self, result, message):
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.informations[:1], [message], result.output)
        self.assertIn(REFUSED, result.output)
        self.assertEqual(result.outcome, FAILED)
        self.assertEqual(self.digests(self.install), self.installed_before)
        self.assertIn(self.waiting_downloads(), (None, []))

    def test_a_signed_release_installs_as_before(self):
        self.lay_out()
        self.serve_release()
        result = self.run_updater(answer=answer_close_yes)

        self.assertEqual(result.informations, [], result.output)
        self.assertEqual(result.outcome, UPDATED)
        self.assertEqual(self.read(self.install + "a.txt"), b"neu a")
        self.assertEqual(self.read(self.install + "Ordner/b.txt"), b"neu b")
        self.assertEqual(self.read(self.install + "liesmich.txt"), b"zum Updater")
        # The manifests describe the folders; they are never installed, and
        # the copies kept for what waits go with the download folder.
        self.assertFalse(os.path.exists(self.install + signed_release.MANIFEST_NAME))
        self.assertEqual(os.listdir(self.temp + "Produkt"), [])
        self.assertEqual(self.release_floor(),
                         {"QuennvoldarReleaseUpdater": "1", "QuennvoldarReleaseProduct": "1"})

    def test_spoiled_releases_are_refused(self):
        for fault, message in (
                ("tampered:Produkt/Daten/Ordner/b.txt", msg_not_authentic("Ordner/b.txt")),
                ("unlisted:Produkt/Daten/neu.txt", msg_not_released("neu.txt")),
                ("other-key:Produkt/Daten", MSG_NOT_SIGNED),
                ("bad-signature:Quennvoldar", MSG_NOT_SIGNED),
                ("expired:Produkt/Daten", MSG_EXPIRED),
                ("missing:Quennvoldar", MSG_MISSING)):
            with self.subTest(fault=fault):
                self.start_afresh()
                self.lay_out()
                self.serve_release(fault)
                self.assert_refused(self.run_updater(answer=answer_close_yes), message)

    def test_an_older_release_after_a_newer_one(self):
        self.lay_out()
        self.serve_release()  # release 1
        self.stop_server()
        self.serve_release()  # release 2
        self.assertEqual(self.run_updater(answer=answer_close_yes).outcome, UPDATED)
        self.assertEqual(self.release_floor()["QuennvoldarReleaseProduct"], "2")
        self.stop_server()

        # Release 1 again, with an older file the walk would fetch.
        self.server_file("Produkt/Daten/a.txt", b"ganz alt", SERVER_TIME + 60)
        self.installed_before = self.digests(self.install)
        self.write_config()
        self.serve_release("older:Produkt/Daten", signed=False)
        self.assert_refused(self.run_updater(answer=answer_close_yes), MSG_OLDER)

    def test_a_planted_file_waiting_in_the_download_folder_is_not_installed(self):
        """A file with the listing's size and minute waits where a complete
        download of an earlier run would: its bytes decide, so it is fetched
        again and the release's bytes are installed."""
        self.lay_out()
        self.local_file(self.download + "a.txt", b"boes a", SERVER_TIME)
        self.serve_release()
        result = self.run_updater(answer=answer_close_yes)

        self.assertEqual(result.outcome, UPDATED, result.output)
        self.assertEqual(self.read(self.install + "a.txt"), b"neu a")
        self.assertIn("/updates/Produkt/Daten/a.txt", self.http_paths())

    def test_an_install_only_start_checks_what_waits(self):
        """The run that fetched keeps its manifests; the install-only start
        installs what waits only when it is still the release's."""
        self.lay_out()
        self.serve_release()
        self.start_main_program()
        kept = self.run_updater()  # No to closing the main program: the download waits
        self.assertEqual(kept.outcome, f'Die Aktualisierung von "Produkt\\Daten" wurde nicht '
                                       f'abgeschlossen!', kept.output)
        self.assertEqual(self.waiting_downloads(), ["Ordner/b.txt", "a.txt", "liesmich.txt"])
        self.stop_server()

        self.write(self.download + "Ordner/b.txt", b"boes b")
        self.write(self.temp + "Quennvoldar.fn", b"")
        self.write_config()
        self.assert_refused(self.run_updater(self.config_name, "/U", answer=answer_close_yes),
                            msg_not_authentic("Ordner/b.txt"))


class SignedSelfUpdate(UpdateRunTestCase):
    STAND_IN = b"#!/bin/sh\ntouch \"$(dirname \"$0\")/second-copy-started\"\n"

    def test_a_tampered_second_copy_starts_nothing(self):
        """The server cannot be listed, so the updater fetches fresh copies
        of itself; the updater folder's manifest decides whether they land."""
        self.server_file("Quennvoldar/Quennvoldar2", self.STAND_IN)
        self.server_file("Quennvoldar/Quennvoldar", b"new first copy")
        self.serve("--ftp-refuse-login", "--release-tool", release_tool(), "--sign", "Quennvoldar",
                   "--release-fault", "tampered:Quennvoldar/Quennvoldar2")
        result = self.run_updater()

        self.assertEqual(result.informations[:1], [msg_not_authentic("Quennvoldar2")],
                         result.output)
        self.assertEqual(result.outcome, FAILED)
        self.assertFalse(os.path.exists(self.install + "Quennvoldar2"))
        self.assertFalse(os.path.exists(self.download + "Quennvoldar"))
        time.sleep(1)  # a started copy would have left its mark by now
        self.assertFalse(os.path.exists(self.install + "second-copy-started"))

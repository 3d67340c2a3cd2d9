"""Signed releases: the updater with the test key installs only what a
manifest signed by that key for this product and folder lists, with the
listed bytes; the listing may only agree. Every release the server spoils (a
changed byte, an unlisted or withheld file, another key, product or folder,
a broken signature, an expired or older manifest, none at all) is refused
with its message, and nothing is installed or left of the run."""

import os
import sys
import time
import zipfile

from port_harness import built_binary
from run_harness import (ALREADY_CURRENT, FAILED, MUTEX, NOT_COMPLETED, UPDATED,
                         UpdateRunTestCase, answer_close_yes)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update_server"))
import signed_release  # noqa: E402

SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60 + 21
KEY_FILE = MUTEX + "_is1.key"
FLOOR_FILE = "Quennvoldar/quennvoldar-sample.releases"
REFUSED = "Die Aktualisierung wurde aus Sicherheitsgründen abgebrochen."
MSG_MISSING = "Auf dem Update-Server fehlt die signierte Freigabeliste!"
MSG_NOT_SIGNED = "Die Freigabeliste des Update-Servers ist nicht vom Hersteller signiert!"
MSG_EXPIRED = "Die Freigabeliste des Update-Servers ist abgelaufen!"
MSG_OLDER = "Der Update-Server bietet eine ältere Freigabe an als die bereits angenommene!"
MSG_FOR_OTHER = "Die Freigabeliste des Update-Servers gehört nicht zu dieser Aktualisierung!"
MAX_RELEASE = 2**63 - 1


def msg_withheld(path):
    return f'Die Datei "{path}" der Freigabeliste fehlt auf dem Update-Server!'


def msg_floor_not_own(place):
    return (f'Der Speicherort der angenommenen Freigaben "{place}" gehört einem anderen '
            f'Benutzer oder ist für andere beschreibbar!')


def msg_not_released(path):
    return f'Die Datei "{path}" ist in der Freigabeliste des Update-Servers nicht enthalten!'


def msg_not_authentic(path):
    return f'Die Datei "{path}" stimmt nicht mit der Freigabeliste des Update-Servers überein!'


def left_of_the_run(test):
    """What the run left beside the download folder, but its diagnostic log."""
    return [name for name in os.listdir(test.temp + "Produkt") if name != "Daten.log"]


def logged_failures(test):
    """The failure lines of every run's diagnostic log."""
    folder = test.temp + "Produkt/Daten.log/"
    lines = []
    for name in sorted(os.listdir(folder)):
        lines += [line.split(" failure: ", 1)[1] for line in test.read(folder + name).decode()
                  .splitlines() if " failure: " in line]
    return lines


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
        """The release numbers this machine keeps for the product ({} before
        the first landed)."""
        if not os.path.exists(self.registry + FLOOR_FILE):
            return {}
        lines = self.read(self.registry + FLOOR_FILE).decode().splitlines()
        return dict(line.split("=") for line in lines)

    def assert_refused(self, result, message):
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.informations[:1], [message], result.output)
        self.assertIn(REFUSED, result.output)
        self.assertEqual(result.outcome, FAILED)
        self.assertEqual(self.digests(self.install), self.installed_before)
        # Nothing of the run is left: no download folder, no kept manifests;
        # the diagnostic log says why.
        self.assertEqual(left_of_the_run(self), [])
        self.assertIn(message, logged_failures(self)[-1])

    def update_to_release(self, number):
        """Serves both folders signed as `number` and installs them."""
        self.serve_release(f"release:Quennvoldar:{number}", f"release:Produkt/Daten:{number}",
                           signed=False)
        result = self.run_updater(answer=answer_close_yes)
        self.assertIn(result.outcome, (UPDATED, ALREADY_CURRENT), result.output)
        self.stop_server()
        self.write_config()
        return result

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
        self.assertEqual(left_of_the_run(self), [])
        self.assertEqual(self.release_floor(), {"Updater": "1", "Product": "1"})

    def test_spoiled_releases_are_refused(self):
        for fault, message in (
                ("tampered:Produkt/Daten/Ordner/b.txt", msg_not_authentic("Ordner/b.txt")),
                ("unlisted:Produkt/Daten/neu.txt", msg_not_released("neu.txt")),
                ("other-key:Produkt/Daten", MSG_NOT_SIGNED),
                ("bad-signature:Quennvoldar", MSG_NOT_SIGNED),
                ("expired:Produkt/Daten", MSG_EXPIRED),
                ("missing:Quennvoldar", MSG_MISSING),
                # The listing may not leave out what the manifest signs.
                ("withheld:Produkt/Daten/Ordner/b.txt", msg_withheld("Ordner/b.txt")),
                # The same key signs other products, and both folders.
                ("other-product:Produkt/Daten", MSG_FOR_OTHER),
                ("wrong-folder:Produkt/Daten", MSG_FOR_OTHER),
                ("wrong-folder:Quennvoldar", MSG_FOR_OTHER)):
            with self.subTest(fault=fault):
                self.start_afresh()
                self.lay_out()
                self.serve_release(fault)
                self.assert_refused(self.run_updater(answer=answer_close_yes), message)

    def test_the_signed_bytes_decide_not_the_listed_date(self):
        """The server dates a new file back to the installed file's minute,
        with the same size: only its hash tells, and it is installed."""
        self.lay_out()
        installed_time = SERVER_TIME - 3600
        os.utime(self.install + "a.txt", (installed_time, installed_time))
        os.utime(self.server_root + "/Produkt/Daten/a.txt", (installed_time, installed_time))
        self.serve_release()
        result = self.run_updater(answer=answer_close_yes)

        self.assertEqual(result.outcome, UPDATED, result.output)
        self.assertEqual(self.read(self.install + "a.txt"), b"neu a")

    def test_a_withheld_job_runs_no_part_of_the_release(self):
        """A signed job file the listing leaves out refuses the release:
        neither the job's deletion nor its sweep runs on what is installed."""
        self.lay_out()
        self.write(self.install + "vuln.dll", b"old and vulnerable")
        self.write(self.install + "Ordner/c.txt", b"kept by the sweep only while listed")
        self.server_file("Produkt/Daten/Quennvoldar.job", b"l vuln.dll\r\ns Ordner\r\n",
                         SERVER_TIME)
        self.installed_before = self.digests(self.install)
        for withheld in ("Quennvoldar.job", "Ordner/b.txt"):
            with self.subTest(withheld=withheld):
                self.serve_release(f"withheld:Produkt/Daten/{withheld}")
                self.assert_refused(self.run_updater(answer=answer_close_yes),
                                    msg_withheld(withheld))
                self.stop_server()
                self.write_config()

    def test_the_walk_enters_only_the_folders_a_release_names(self):
        """Empty folders the manifest names no file in are never listed."""
        self.lay_out()
        for depth in range(1, 4):
            os.makedirs(os.path.join(self.server_root, "Produkt/Daten", *(["leer"] * depth)),
                        exist_ok=True)
        self.serve_release()
        result = self.run_updater(answer=answer_close_yes)

        self.assertEqual(result.outcome, UPDATED, result.output)
        listed = self.listed_folders()
        self.assertFalse([folder for folder in listed if "leer" in folder], listed)

    def test_the_floor_rises_only_once_the_release_has_landed(self):
        """A release that is accepted but not installed (the main program
        stays open) raises nothing; the install-only start that lands it
        does."""
        self.lay_out()
        self.serve_release()
        self.start_main_program()
        self.assertEqual(self.run_updater().outcome, NOT_COMPLETED)
        self.assertEqual(self.release_floor(), {})
        self.stop_server()

        self.write(self.temp + "Quennvoldar.fn", b"")
        self.write_config()
        result = self.run_updater(self.config_name, "/U", answer=answer_close_yes)
        self.assertEqual(result.outcome, UPDATED, result.output)
        self.assertEqual(self.release_floor(), {"Updater": "1", "Product": "1"})

    def test_the_floor_needs_no_uninstall_entry_and_is_64_bits_wide(self):
        """No uninstall entry at all: the floor is kept anyway, and release
        numbers past 2^31 keep their order up to 2^63 - 1."""
        self.lay_out()
        os.remove(self.registry + KEY_FILE)
        self.update_to_release(2**40)
        self.assertEqual(self.release_floor(), {"Updater": str(2**40), "Product": str(2**40)})

        self.installed_before = self.digests(self.install)
        self.serve_release(f"release:Quennvoldar:{2**31 + 10}",
                           f"release:Produkt/Daten:{2**31 + 10}", signed=False)
        self.assert_refused(self.run_updater(answer=answer_close_yes), MSG_OLDER)
        self.stop_server()
        self.write_config()

        self.update_to_release(MAX_RELEASE)
        self.assertEqual(self.release_floor(), {"Updater": str(MAX_RELEASE),
                                                "Product": str(MAX_RELEASE)})

    def test_a_floor_someone_else_could_lower_is_refused(self):
        def floor_folder():
            return self.registry + os.path.dirname(FLOOR_FILE)

        for spoil in (lambda: os.chmod(self.registry + FLOOR_FILE, 0o666),
                      lambda: os.chmod(floor_folder(), 0o777)):
            with self.subTest():
                self.start_afresh()
                self.lay_out()
                self.update_to_release(2)
                spoil()
                self.installed_before = self.digests(self.install)
                self.serve_release(signed=False)
                self.assert_refused(self.run_updater(answer=answer_close_yes),
                                    msg_floor_not_own(self.registry + FLOOR_FILE))
                os.chmod(floor_folder(), 0o700)
                self.assertEqual(self.release_floor(), {"Updater": "2", "Product": "2"})

    def test_an_install_only_start_installs_what_a_signed_archive_unpacked(self):
        """The fetching run unpacks the archive and stops at the question;
        the install-only start trusts what it unpacked through the archive."""
        self.lay_out()
        packed = self.server_root + "/Produkt/Daten/bin.zip"
        with zipfile.ZipFile(packed, "w") as archive:
            archive.writestr("bin/tool.exe", b"tool from the archive")
        os.utime(packed, (SERVER_TIME, SERVER_TIME))
        self.serve_release()
        self.start_main_program()
        self.assertEqual(self.run_updater().outcome, NOT_COMPLETED)
        self.assertIn("bin/tool.exe", self.waiting_downloads())
        self.stop_server()

        self.write(self.temp + "Quennvoldar.fn", b"")
        self.write_config()
        result = self.run_updater(self.config_name, "/U", answer=answer_close_yes)
        self.assertEqual(result.outcome, UPDATED, result.output)
        self.assertEqual(self.read(self.install + "bin/tool.exe"), b"tool from the archive")

    def test_an_older_release_after_a_newer_one(self):
        self.lay_out()
        self.serve_release()  # release 1
        self.stop_server()
        self.serve_release()  # release 2
        self.assertEqual(self.run_updater(answer=answer_close_yes).outcome, UPDATED)
        self.assertEqual(self.release_floor()["Product"], "2")
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

    def test_a_tampered_copy_places_and_starts_nothing(self):
        """The server cannot be listed, so the updater fetches fresh copies
        of itself; the updater folder's manifest decides whether they land.
        The first copy comes first: refused, it leaves no second copy."""
        for tampered in ("Quennvoldar2", "Quennvoldar"):
            with self.subTest(tampered=tampered):
                self.start_afresh()
                self.server_file("Quennvoldar/Quennvoldar2", self.STAND_IN)
                self.server_file("Quennvoldar/Quennvoldar", b"new first copy")
                self.serve("--ftp-refuse-login", "--release-tool", release_tool(),
                           "--sign", "Quennvoldar",
                           "--release-fault", f"tampered:Quennvoldar/{tampered}")
                result = self.run_updater()

                self.assertEqual(result.informations[:1], [msg_not_authentic(tampered)],
                                 result.output)
                self.assertEqual(result.outcome, FAILED)
                self.assertFalse(os.path.exists(self.install + "Quennvoldar2"))
                self.assertEqual(left_of_the_run(self), [])
                time.sleep(1)  # a started copy would have left its mark by now
                self.assertFalse(os.path.exists(self.install + "second-copy-started"))

"""Another local user and the shared temporary folder. The updater runs as
root, as these tests do, with a temporary folder that every user may write
into and nobody may remove another's things from, as /tmp; the user "nobody"
plants things there before the run. A download folder that someone else could
have written into and a configuration file of someone else are refused:
nothing of theirs is installed, and nothing their links lead to is written."""

import os
import pwd
import time
import traceback
import unittest

from run_harness import FAILED, PRODUCT_LINE, UpdateRunTestCase

SERVER_TIME = (int(time.time()) // 60 - 2 * 24 * 60) * 60 + 23
NEW_PROGRAM = b"neues Hauptprogramm\n" * 40
SECRET = b"nur root darf das schreiben\n"
NOT_OWN = ('Der Download-Ordner "{}" gehört einem anderen Benutzer oder ist für andere '
           'beschreibbar!')
CONFIG_NOT_LOADED = "Die Konfigurationsdatei konnte nicht geladen werden!"


def as_nobody(action):
    """Runs action() in a child process as the user nobody."""
    nobody = pwd.getpwnam("nobody")
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            os.setgroups([])
            os.setgid(nobody.pw_gid)
            os.setuid(nobody.pw_uid)
            action()
            code = 0
        except BaseException:
            traceback.print_exc()
        finally:
            os._exit(code)
    _, status = os.waitpid(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        raise AssertionError("nobody could not plant")


def partial_download_name(target):
    """The name a download's kept bytes have beside the download folder:
    FNV-1a of the file's place."""
    value = 14695981039346656037
    for byte in target.encode():
        value = ((value ^ byte) * 1099511628211) & (2 ** 64 - 1)
    return f"{value:016x}"


class PlantedByAnotherUser(UpdateRunTestCase):
    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to plant as another user")
        super().setUp()
        os.chmod(self.work, 0o755)
        os.chmod(self.temp, 0o1777)
        # Where the planted links lead: files only root may write.
        self.root_only = self.path("root-only") + "/"
        for relative in ("geheim", "Daten/geheim"):
            self.write(self.root_only + relative, SECRET)
            os.chmod(self.root_only + relative, 0o400)
        os.chmod(self.root_only, 0o700)
        self.write(self.install + "main", b"altes Hauptprogramm\n")
        for relative, content in (("Quennvoldar/liesmich.txt", b"zum Updater"),
                                  ("Produkt/Daten/main", NEW_PROGRAM),
                                  ("Produkt/Daten/Ordner/b.txt", b"neu b")):
            self.server_file(relative, content, SERVER_TIME)
        self.before = self.snapshot()

    def snapshot(self):
        """Content and mode of every file that must stay as it is."""
        return {folder: {relative: (content, os.stat(folder + relative).st_mode)
                         for relative, content in self.digests(folder).items()}
                for folder in (self.install, self.root_only)}

    def assert_nothing_done(self, result, message, outcome=FAILED):
        self.assertEqual(result.returncode, 0, result.output)
        self.assertEqual(result.informations, [message], result.output)
        self.assertEqual(result.outcome, outcome)
        self.assertEqual(self.snapshot(), self.before)
        self.assert_nothing_recorded()

    # ---- What nobody plants ----

    def plant_program(self):
        """A program of the size and minute the listing shows."""
        self.local_file(self.download + "main", b"X" * len(NEW_PROGRAM), SERVER_TIME)

    def plant_partial_downloads(self, download, relatives):
        """Links to root's file where the downloads into the folder keep
        what arrived of them."""
        partial = download.rstrip("/") + ".partial/"
        os.makedirs(partial)
        for relative in relatives:
            os.symlink(self.root_only + "geheim",
                       partial + partial_download_name(download + relative))

    # ---- The cases ----

    def another_users_product_folder(self):
        as_nobody(lambda: (self.plant_program(), self.plant_partial_downloads(
            self.download, ("liesmich.txt", "Ordner/b.txt"))))

    def another_users_folder_for_the_install_only_start(self):
        def plant():
            self.plant_program()
            self.write(self.temp + "Quennvoldar.fn", b"")

        as_nobody(plant)

    def another_users_folder_on_the_self_update_route(self):
        self.server_file("Quennvoldar/Quennvoldar2", b"zweite Kopie")
        self.server_file("Quennvoldar/Quennvoldar", b"erste Kopie")

        def plant():
            os.makedirs(self.download)
            # The first copy's name, and that of its download in progress.
            for name in ("Quennvoldar", "Quennvoldar.part"):
                os.symlink(self.root_only + "geheim", self.download + name)

        as_nobody(plant)

    def a_link_as_the_product_folder(self):
        as_nobody(lambda: os.symlink(self.root_only, self.temp + "Produkt"))

    def an_own_folder_that_others_may_write_into(self):
        os.makedirs(self.download)
        os.chmod(self.download, 0o777)
        as_nobody(self.plant_program)

    def test_a_download_folder_someone_else_could_write_into_is_refused(self):
        cases = [  # planting, server options, the updater's arguments
            (self.another_users_product_folder, (), ()),
            (self.another_users_folder_for_the_install_only_start, (), (self.config_name, "/U")),
            (self.another_users_folder_on_the_self_update_route, ("--ftp-refuse-login",), ()),
            (self.a_link_as_the_product_folder, (), ()),
            (self.an_own_folder_that_others_may_write_into, (), ()),
        ]
        for plant, options, arguments in cases:
            with self.subTest(plant.__name__):
                self.start_afresh()
                plant()
                self.serve(*options)

                result = self.run_updater(*arguments)

                self.assert_nothing_done(result, NOT_OWN.format(self.download))
                self.assertEqual(self.http_paths(), [])

    def test_a_planted_folder_of_partial_downloads_ends_the_download(self):
        # With one part in the product line the kept downloads' folder lies
        # in the shared temporary folder itself, beside the download folder.
        self.write_config(product_line="Produkt")
        as_nobody(lambda: self.plant_partial_downloads(
            self.temp + "Produkt/", ("liesmich.txt", "Daten/main", "Daten/Ordner/b.txt")))
        self.serve()

        result = self.run_updater()

        self.assert_nothing_done(result, NOT_OWN.format(self.temp + "Produkt.partial/"),
                                 FAILED.replace(PRODUCT_LINE, "Produkt"))

    def test_a_configuration_file_of_another_user_is_not_loaded(self):
        os.remove(self.temp + self.config_name)
        as_nobody(self.write_config)
        planted = self.read(self.temp + self.config_name)

        result = self.run_updater()

        self.assertEqual(result.informations, [CONFIG_NOT_LOADED], result.output)
        self.assertEqual(self.read(self.temp + self.config_name), planted)
        self.assertFalse(os.path.exists(self.temp + "Produkt"))
        self.assertEqual(self.snapshot(), self.before)


if __name__ == "__main__":
    unittest.main()

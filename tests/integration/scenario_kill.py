"""An update run killed (SIGKILL) at moments spread over its copy pass, each
followed by an ordinary run: no installed file is ever half old and half
new, the next run always completes the update, the uninstall list names
every installed file, and nothing of the staging is left behind."""

import os
import signal
import sys
import time
import unittest

from run_harness import (ALREADY_CURRENT, COPYING, HANG_GUARD_SECONDS, UPDATED,
                         UpdateRunTestCase, answer_close_yes, digest)

SERVER_TIME = (int(time.time()) // 60 - 3 * 24 * 60) * 60
SMALL_FILES = 300
LONG_NAME = "n" * 236 + ".txt"  # 240 bytes, near the file systems' limit
STAGING = "~Quennvoldar.staging"

# Seconds after the copy status appears; None: the moment the journal is in
# place, before (or while) the renames run.
KILL_MOMENTS = (None, 0, 0.01, 0.03, 0.06, 0.1, 0.15, 0.25, 0.4, 0.7, 1.2)


class KilledWhileCopying(UpdateRunTestCase):
    def lay_out(self):
        self.new_files = {f"klein/datei-{index:03}.txt": f"neu {index}".encode() * 40
                          for index in range(SMALL_FILES)}
        self.new_files["gross.bin"] = bytes(range(256)) * (96 << 12)  # 24 MiB
        self.new_files[LONG_NAME] = b"neu, mit langem Namen"
        self.old_files = {name: b"alt" for name in list(self.new_files)[::2]}
        os.makedirs(os.path.join(self.server_root, "Quennvoldar"))
        for name, content in self.new_files.items():
            self.server_file("Produkt/Daten/" + name, content, SERVER_TIME)
        for name, content in self.old_files.items():
            self.write(self.install + name, content)

    def kill_at(self, moment):
        process = self.updater_process
        if moment is None:
            journal = os.path.join(self.install, STAGING, "journal")
            deadline = time.monotonic() + HANG_GUARD_SECONDS
            while not os.path.exists(journal) and process.poll() is None:
                self.assertLess(time.monotonic(), deadline, "no journal was written")
        else:
            time.sleep(moment)
        if process.poll() is None:
            os.kill(process.pid, signal.SIGKILL)
            staging = os.path.join(self.install, STAGING)
            met = ("during the renames" if os.path.exists(os.path.join(staging, "journal"))
                   else "while staging" if os.path.isdir(staging) else "outside the copy pass")
        else:
            met = "after the run had ended"
        self.kills.append(met)

    def assert_wholly_old_or_new(self):
        for name, found in self.installed().items():
            wholly = {digest(self.new_files[name])} if name in self.new_files else set()
            if name in self.old_files:
                wholly.add(digest(self.old_files[name]))
            if not name.startswith(STAGING):
                self.assertIn(found, wholly, name)

    def test_every_kill_is_completed_by_the_next_run(self):
        kills = []
        for moment in KILL_MOMENTS:
            with self.subTest(kill_after=moment if moment is not None else "journal"):
                self.start_afresh()
                self.kills = kills
                self.lay_out()
                self.serve()
                self.start_main_program()
                self.run_updater(answer=answer_close_yes,
                                 when=[(COPYING, lambda: self.kill_at(moment))])
                self.assert_wholly_old_or_new()

                self.write_config()
                self.start_main_program()
                result = self.run_updater(answer=answer_close_yes)
                self.assertIn(result.outcome, (UPDATED, ALREADY_CURRENT), result.output)
                self.assertEqual(self.installed(), {name: digest(content) for name, content
                                                    in self.new_files.items()})
                recorded = set(self.uninstall_list())
                for name in self.new_files:
                    self.assertIn(self.install + name, recorded)
                leftovers = [name for name in os.listdir(self.install) if name.startswith("~")]
                self.assertEqual(leftovers, [])
        # What each kill met, for the log: the moments depend on the machine.
        print("kills:", ", ".join(kills), file=sys.stderr)


if __name__ == "__main__":
    unittest.main()

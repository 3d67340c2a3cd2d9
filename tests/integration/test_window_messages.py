"""Windows of several processes: finding by title, stacking order and
synchronous messages."""

import os

from port_harness import (HANG_GUARD_SECONDS, WM_CLOSEREQUEST, WM_SHOWREQUEST,
                          PortTestCase, read_lines)


class FindingWindows(PortTestCase):
    def find(self, text):
        line = self.probe("find", text)[0]
        return int(line.split()[1])

    def test_title_end_of_another_process(self):
        _, handle = self.start_main_program("Produkt", "Produkt - Hauptfenster")
        for text, expected in [("Hauptfenster", handle), ("Produkt - Hauptfenster", handle),
                               ("Produkt", 0), ("hauptfenster", 0), ("", 0)]:
            with self.subTest(text=text):
                self.assertEqual(self.find(text), expected)

    def test_own_window_is_found_too(self):
        self.start_main_program("Produkt", "Anderes Fenster")
        lines = self.probe("window", "Eigenes Fenster", "find", "Fenster")
        self.assertEqual(lines[1], lines[0], "the own, newer window is on top")

    def test_topmost_match_wins_and_raising_changes_it(self):
        _, first = self.start_main_program("Eins", "Eins - Gemeinsam")
        _, second = self.start_main_program("Zwei", "Zwei - Gemeinsam")
        self.assertEqual(self.find("Gemeinsam"), second)
        self.assertEqual(self.probe("raise", str(first)), ["raised"])
        self.assertEqual(self.find("Gemeinsam"), first)
        self.assertEqual(self.probe("raise", str(second)), ["raised"])
        self.assertEqual(self.find("Gemeinsam"), second)

    def test_windows_of_dead_processes_are_skipped_and_removed(self):
        _, first = self.start_main_program("Eins", "Eins - Gemeinsam")
        second_process, second = self.start_main_program("Zwei", "Zwei - Gemeinsam")
        self.kill_hard(second_process)
        self.assertEqual(self.find("Gemeinsam"), first)
        windows = os.path.join(self.runtime, "quennvoldar", "windows")
        self.assertEqual([name for name in os.listdir(windows)
                          if name.startswith(format(second, "x") + ".")], [])
        self.assertEqual(self.probe("raise", str(second)), ["not raised"])

    def test_socket_path_longer_than_a_socket_address_holds(self):
        deep = os.path.join(self.runtime, *(["sehr-langer-ordnername"] * 6))
        os.makedirs(deep, 0o700)
        env = dict(self.env, XDG_RUNTIME_DIR=deep)
        log = self.path("nachrichten.log")
        _, handle = self.start_main_program("Produkt", "Tief - Fenster", "--log", log,
                                            env=env)
        self.assertEqual(self.probe("find", "Tief - Fenster", "send", str(handle), "1224",
                                    env=env),
                         [f"window {handle}", "sent"])
        self.assertEqual(read_lines(log), ["1224"])


class SendingMessages(PortTestCase):
    def test_sender_returns_only_after_the_handler_ran(self):
        # The handler holds until the test lets it go; an acknowledgement sent
        # before it ran would put "returned" first.
        log = self.path("reihenfolge.log")
        receiver = self.start_probe("holding-window", "Hält", "serve")
        handle = self.read_line(receiver).split()[1]
        sender = self.start_probe("send", handle, str(WM_SHOWREQUEST), "append", log, "returned")
        self.assertEqual(self.read_line(receiver), "received 1224")
        # A busy window is still found; meanwhile a sender let go early would
        # long have written its line.
        self.assertEqual(self.probe("find", "Hält"), [f"window {handle}"])
        with open(log, "a") as file:
            file.write("released\n")
        receiver.stdin.write(b"\n")
        receiver.stdin.flush()
        self.assertEqual(sender.wait(timeout=HANG_GUARD_SECONDS), 0)
        self.assertEqual(read_lines(log), ["released", "returned"])

    def test_close_request_ends_the_main_program_unless_refused(self):
        closing, handle = self.start_main_program("Produkt", "Produkt - Hauptfenster")
        self.assertEqual(self.probe("send", str(handle), str(WM_CLOSEREQUEST)), ["sent"])
        self.assertEqual(closing.wait(timeout=HANG_GUARD_SECONDS), 0)
        self.assertEqual(self.probe("mutex-exists", "Produkt", "find", "Hauptfenster"),
                         ["mutex free", "window 0"])

        log = self.path("nachrichten.log")
        refusing, handle = self.start_main_program("Produkt", "Produkt - Hauptfenster",
                                                   "--refuse-close", "--log", log)
        self.probe("send", str(handle), str(WM_CLOSEREQUEST),
                   "send", str(handle), str(WM_SHOWREQUEST))
        self.assertEqual(read_lines(log), ["1124", "1224"])
        self.assertIsNone(refusing.poll())

    def test_sender_returns_when_the_receiver_dies(self):
        receiver = self.start_probe("holding-window", "Hängt", "serve")
        handle = self.read_line(receiver).split()[1]
        sender = self.start_probe("send", handle, str(WM_SHOWREQUEST))
        # The handler now waits for input that never comes.
        self.assertEqual(self.read_line(receiver), "received 1224")
        self.kill_hard(receiver)
        self.assertEqual(self.read_line(sender), "sent")
        self.assertEqual(sender.wait(timeout=HANG_GUARD_SECONDS), 0)

    def test_messages_to_closed_windows_are_dropped(self):
        receiver, handle = self.start_main_program("Produkt", "Produkt - Hauptfenster")
        receiver.terminate()
        self.assertEqual(receiver.wait(timeout=HANG_GUARD_SECONDS), 0)
        self.assertEqual(self.probe("send", str(handle), "1224", "send", "0", "1224"),
                         ["sent", "sent"])

    def test_two_processes_sending_to_each_other_do_not_deadlock(self):
        # The relay's handler sends back to the caller while the caller still
        # waits for its own message to be handled.
        relay = self.start_probe("relay-window", "Relais", "Rufer", "serve")
        relay_handle = self.read_line(relay).split()[1]
        caller = self.probe("window", "Rufer", "send", relay_handle, str(WM_CLOSEREQUEST))
        self.assertEqual(caller[1:], ["received 1124", "sent"])
        self.assertEqual(self.read_line(relay), "received 1124")
        self.assertEqual(relay.wait(timeout=HANG_GUARD_SECONDS), 0)

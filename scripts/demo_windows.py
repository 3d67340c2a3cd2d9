#!/usr/bin/env python3
"""The Windows run of scripts/demo.sh: one update by the real Quennvoldar.exe
under Wine, started the way the main program starts it.

Seeds the product's uninstall entry in Wine's registry, starts the product
through its start script, puts the configuration file into the prefix's
temporary folder and starts the updater from the installation folder with
the file's name. Each new status line the demo sees and each box is
photographed. When a person can answer (a terminal on stdin and a $DISPLAY
to show the windows on), the person answers in the windows; otherwise every
question is answered "&Ja" and every information "OK". Afterwards the text
of the last box and the uninstall entry as Wine's registry holds it go into
files for the demo's report. Ending the Wine session ends the product it
restarted, with everything else in the demo's own prefix.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))
from wine_session import (WAIT_S, WINE_LOADER, Driver, WineSession, box_text,  # noqa: E402
                          windows_path)

SCREEN = (1280, 1024)
UNINSTALL_KEYS = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
# The updater's window is named after its configuration file.
TITLE_SUFFIX = " - Quennvoldar V1.44"
RUN_LIMIT_S = 300  # for a run nobody watches
RESTART_WAIT_S = 10  # it comes within a second, unless the answer was no


@dataclass(frozen=True)
class BoxKind:
    caption: str
    answer: str
    picture: str


BOX_KINDS = (BoxKind("Bestätigen", "&Ja", "frage"),
             BoxKind("Informationen", "OK", "information"))


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--updater", required=True, help="Quennvoldar.exe in the installed folder")
    parser.add_argument("--config", required=True,
                        help="the configuration file as the main program writes it")
    parser.add_argument("--start-script", required=True,
                        help="the product's start script (.cmd) that writes --ready-file")
    parser.add_argument("--ready-file", required=True)
    parser.add_argument("--uninstall-key", required=True, help="name below ...\\Uninstall\\")
    parser.add_argument("--uninstall-value", action="append", default=[],
                        metavar="NAME=TEXT", help="a text value the product's setup left")
    parser.add_argument("--ui-driver", required=True, help="qv_ui_driver.exe")
    parser.add_argument("--screenshots", required=True, help="folder for the PNG pictures")
    parser.add_argument("--report-outcome", required=True, help="gets the last box's text")
    parser.add_argument("--report-uninstall-entry", required=True,
                        help="gets the entry as reg.exe shows it")
    return parser.parse_args()


# ---- Setting up ----

def seed_uninstall_entry(session, key, values):
    session.reg("delete", key, "/f", check=False)
    for name, _, text in (value.partition("=") for value in values):
        session.reg("add", key, "/v", name, "/t", "REG_SZ", "/d", text, "/f")


def uninstall_entry_values(session, key):
    """Name, type and data of each value, as reg.exe lists them."""
    shown = session.reg("query", key)
    return [line.strip() for line in shown.splitlines() if " REG_" in line]


def wait_for_file(path, timeout_s):
    deadline = time.monotonic() + timeout_s
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def start_product(session, start_script, ready_file):
    """Through its start script, as the updater starts it again at the end.
    Output goes nowhere: the started program would keep a pipe open."""
    subprocess.run([WINE_LOADER, "cmd", "/c", windows_path(start_script)], env=session.env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=WAIT_S, check=True)
    if not wait_for_file(ready_file, WAIT_S):
        sys.exit("demo_windows.py: the main program did not start")
    os.remove(ready_file)


# ---- Watching the run ----

def status_line(window):
    """The main window's first control; empty while it has none."""
    return window["controls"][0]["text"] if window and window["controls"] else ""


class Pictures:
    """Numbered PNG files of the windows, in the order they were seen."""

    def __init__(self, driver, folder):
        self.driver = driver
        self.folder = folder
        self.count = 0
        os.makedirs(folder, exist_ok=True)

    def take(self, title, kind):
        """"[file name]" to show with the window's text; empty when the window
        closed before its picture."""
        self.count += 1
        name = f"{self.count:02d}-{kind}.png"
        try:
            self.driver.screenshot(title, os.path.join(self.folder, name))
        except AssertionError:
            return ""
        return f"[{name}]"


def shown_box(driver):
    """(kind, text) of the box on screen, or None."""
    for kind in BOX_KINDS:
        description = driver.describe_if_shown(kind.caption)
        if description:
            return kind, box_text(description).replace("\r\n", "\n")
    return None


def watch(driver, updater, main_title, pictures, person_answers):
    """Until the updater ends: pictures of each new status line and each box,
    answers unless a person gives them. Returns the last box's text."""
    deadline = time.monotonic() + RUN_LIMIT_S
    status = ""
    box = None
    last_box_text = ""
    while updater.poll() is None:
        if not person_answers and time.monotonic() > deadline:
            updater.kill()
            sys.exit(f"demo_windows.py: the updater did not end within {RUN_LIMIT_S} s")
        shown_status = status_line(driver.describe_if_shown(main_title))
        if shown_status not in ("", status):
            status = shown_status
            print(f"{status}  {pictures.take(main_title, 'hauptfenster')}", flush=True)
        previous, box = box, shown_box(driver)
        if box and box != previous:
            kind, last_box_text = box
            picture = pictures.take(kind.caption, kind.picture)
            print(f"{kind.caption}:  {picture}\n{last_box_text}", flush=True)
            if not person_answers:
                driver.click(kind.caption, kind.answer)
                print(f"-> {kind.answer}", flush=True)
        time.sleep(0.1)
    return last_box_text


# ---- The run ----

def run(session, args, person_answers):
    driver = Driver(session, args.ui_driver)
    installed = os.path.dirname(args.updater)
    config_name = os.path.basename(args.config)
    uninstall_key = UNINSTALL_KEYS + args.uninstall_key

    # The product keeps Wine's server up, which makes every later call quick.
    start_product(session, args.start_script, args.ready_file)
    seed_uninstall_entry(session, uninstall_key, args.uninstall_value)
    shutil.copyfile(args.config, os.path.join(session.temp_folder, config_name))
    updater = subprocess.Popen([WINE_LOADER, args.updater, config_name], cwd=installed,
                               env=session.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    main_title = os.path.splitext(config_name)[0] + TITLE_SUFFIX
    pictures = Pictures(driver, args.screenshots)
    if person_answers:
        print("Die Fragen beantworten Sie in den Fenstern.", flush=True)
    outcome = watch(driver, updater, main_title, pictures, person_answers)
    if not outcome:
        sys.exit(f"demo_windows.py: the updater ended (exit code {updater.returncode}) "
                 "without a box to report its outcome")

    with open(args.report_outcome, "w", encoding="utf-8") as report:
        report.write(outcome + "\n")
    with open(args.report_uninstall_entry, "w", encoding="utf-8") as report:
        report.writelines(line + "\n" for line in uninstall_entry_values(session, uninstall_key))
    # A "&Ja" to the last question starts the product again.
    wait_for_file(args.ready_file, RESTART_WAIT_S)


def main():
    args = parse_arguments()
    display = os.environ.get("DISPLAY") or None
    person_answers = display is not None and sys.stdin.isatty()
    # Wine's console programs must not read the terminal or change its settings.
    os.dup2(os.open(os.devnull, os.O_RDONLY), 0)
    try:
        session = WineSession(SCREEN, "demo", display)
    except RuntimeError as error:
        sys.exit(f"demo_windows.py: {error}")
    try:
        run(session, args, person_answers)
    finally:
        session.close()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Answer-time benchmark under Wine (prints figures, asserts nothing): the
roads of bench/answer/run.py run by the Windows build's Quennvoldar.exe in a
Wine session of its own, its window sampled every 100 ms by answer_sampler.exe
(SendMessageTimeout with WM_NULL, as a screen reader's queries reach it).
Prints each road's count of samples, their median and their maximum in
milliseconds; a sample of a window Windows took for hung counts with the
time it was given.

    bench/answer/run_wine.py [BUILD_DIR [ROAD...]]   default: build/windows-demo, every road

The copy road keeps the download folder on /dev/shm (a link from the
prefix's temporary folder), so the installation copies it. The server runs
on the build's fixed loopback ports; as root the benchmark runs in a network
namespace of its own (tests/isolated-network.sh).
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))

from run import (GIB, LISTING_ENTRIES, SAMPLE_INTERVAL_MS, parse_samples, run_roads,  # noqa: E402
                 write_archive, write_random)

DEPLOYMENT = ("QV_FTP_PORT", "QV_UPDATE_WEB_ADDRESS", "QV_SELF_UPDATE_ADDRESS", "QV_HOME_PAGE")


def configure(build):
    """The environment CTest gives the Wine tests, read from the build."""
    cache = {}
    with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as file:
        for line in file:
            name, _, value = line.rstrip("\n").partition("=")
            cache[name.split(":")[0]] = value
    for name in DEPLOYMENT:
        os.environ.setdefault(name, cache[name])
    os.environ.setdefault("WINEARCH", cache.get("QUENNVOLDAR_WINEARCH", "win32"))
    for name, relative in (("QV_UPDATER_EXE", "tests/Quennvoldar-unsigned.exe"),
                           ("QV_UI_DRIVER_EXE", "tests/wine/qv_ui_driver.exe"),
                           ("QV_SAMPLE_MAIN_PROGRAM_EXE",
                            "tests/sample_main_program/SampleMainProgram.exe"),
                           ("QV_NVDA_CLIENT_DLL",
                            "tests/wine/nvda_stand_in/nvdaControllerClient32.dll"),
                           ("QV_NVDA_WINDOW_EXE", "tests/wine/nvda_stand_in/nvda_window.exe")):
        os.environ.setdefault(name, os.path.join(build, relative))


def sampled_run(road, *switches):
    """The updater started as the main program starts it, every box
    answered, the sampler beside it: the samples and the last box's first line."""
    sampler = subprocess.Popen([WINE_LOADER, SAMPLER, main_title(), str(SAMPLE_INTERVAL_MS)],
                               env=road.session.env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    try:
        updater = road.start_updater(*switches)
        boxes = road.answer_boxes()
        # Gone before the next road's starts, which would otherwise find it.
        updater.wait(WAIT_S)
    finally:
        sampler.terminate()
        output = sampler.communicate()[0].decode()
    return parse_samples(output), boxes[-1].splitlines()[0] if boxes else None


# ---- Roads ----

def close_main(road):
    road.server_files({"Produkt/liesmich.txt": b"neu\r\n"})
    road.serve()
    road.start_main_program()
    return sampled_run(road)


def download_1g(road):
    write_random(os.path.join(road.server_root, "Produkt/gross.bin"), GIB)
    road.serve()
    return sampled_run(road)


def unpack_1g(road):
    os.makedirs(os.path.join(road.server_root, "Produkt"))
    write_archive(os.path.join(road.server_root, "Produkt/Archiv.zip"), "gross.txt", GIB)
    road.serve()
    return sampled_run(road)


def copy_1g(road):
    """Install-only: the download on /dev/shm is verified against the
    installed file, which differs in its last byte, and copied."""
    other = tempfile.mkdtemp(prefix="qv-wine-answer-", dir="/dev/shm")
    os.symlink(other, road.download.rstrip("/"))
    road.addCleanup(subprocess.run, ["rm", "-rf", other, road.download.rstrip("/")])
    write_random(road.download + "gross.bin", GIB)
    subprocess.run(["cp", road.download + "gross.bin", road.install + "gross.bin"], check=True)
    with open(road.install + "gross.bin", "r+b") as file:
        file.seek(GIB - 1)
        file.write(bytes([file.read(1)[0] ^ 1]))
    os.utime(road.download + "gross.bin", (1717000000, 1717000000))
    with open(os.path.join(road.session.temp_folder, "Quennvoldar.fn"), "wb"):
        pass  # allows the install-only start
    return sampled_run(road, "/U")


def listing_200k(road):
    folder = os.path.join(road.server_root, "Produkt")
    os.makedirs(folder)
    for i in range(LISTING_ENTRIES):
        name = f"datei{i:06}.txt"
        with open(os.path.join(folder, name), "wb"):
            pass
        os.link(os.path.join(folder, name), road.install + name)  # current: same date and size
    road.serve()
    return sampled_run(road)


def drip_listing(road):
    road.server_files({"Produkt/liesmich.txt": b"neu\r\n"})
    road.serve("--ftp-drip")
    return sampled_run(road)


ROADS = [("close-main", close_main), ("download-1g", download_1g), ("unpack-1g", unpack_1g),
         ("copy-1g", copy_1g), ("listing-200k", listing_200k), ("drip-listing", drip_listing)]


def main(chosen):
    class AnswerBenchmark(UpdateRunUnderWine):
        """The Wine tests' session, folders, server and driver, without a
        test around them; the product installed, no new updater offered."""

        @classmethod
        def setUpClass(cls):
            super().setUpClass()
            # Xvfb has no window manager: Wine would wait two seconds for one
            # each time a window goes (a box that was answered), a wait no
            # Windows has.
            cls.session.reg("add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                            "/t", "REG_SZ", "/d", "N", "/f")

        def setUp(self):
            super().setUp()
            self.install_files({"Quennvoldar.exe": read(self.updater),
                                "Produkt.exe": read(VERSION_SAMPLE)})
            os.makedirs(os.path.join(self.server_root, "Quennvoldar"))
            self.write_config()

        def runTest(self):
            pass

    AnswerBenchmark.setUpClass()
    try:
        run_roads(ROADS, chosen, AnswerBenchmark)
    finally:
        AnswerBenchmark.tearDownClass()


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                            else os.path.join(ROOT, "build/windows-demo"))
    configure(BUILD)
    SAMPLER = os.path.join(BUILD, "tests/wine/qv_answer_sampler.exe")
    from update_run import VERSION_SAMPLE, UpdateRunUnderWine, main_title, read
    from wine_session import WAIT_S, WINE_LOADER
    main(sys.argv[2:])

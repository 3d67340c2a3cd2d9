#!/usr/bin/env python3
"""Answer-time benchmark (prints figures, asserts nothing): whole roads of the
real Linux updater, its window sampled every 100 ms by qv_answer_sampler,
which sends it a message nobody handles and times the answer. Prints each
road's count of samples, their median and their maximum in milliseconds.

    bench/answer/run.py [BUILD_DIR [ROAD...]]
        default: build/bench, configured and built here as the other
        benchmarks' (the demo preset); every road

Roads:
  close-main      the stand-in main program is closed for the installation
  download-1g     one file of 1 GiB downloaded at full speed, then installed
  unpack-1g       an archive holding one entry of 1 GiB, downloaded and unpacked
  copy-1g         install-only: 1 GiB verified against the installed file and
                  copied from /dev/shm to the installation on /tmp
  listing-200k    one server folder of 200,000 files, all of them current
  drip-listing    the server sends the listing slowly until the walk fails

The update server runs on the build's fixed loopback ports, so as root the
benchmark runs in a network namespace of its own (tests/isolated-network.sh).
Data lives in /tmp and /dev/shm and goes when a road ends.
"""

import os
import statistics
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "integration"))

from install_end_to_end import InstallRunTestCase  # noqa: E402
from run_harness import answer_close_yes  # noqa: E402

GIB = 1 << 30
CHUNK = 16 << 20
LISTING_ENTRIES = 200_000
SAMPLE_INTERVAL_MS = 100


def write_random(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as file:
        for _ in range(size // CHUNK):
            file.write(os.urandom(CHUNK))


def write_archive(path, entry, size):
    """One deflated entry of text-like bytes: zlib has real work, the
    archive stays small."""
    block = b"".join(b"zeile %08d mit etwas text\n" % i for i in range(1 << 14))[:1 << 20]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as archive:
        with archive.open(entry, "w", force_zip64=True) as out:
            for _ in range(size // len(block)):
                out.write(block)


def sampled_run(road, *arguments, **options):
    """The road's run with the sampler beside it: the samples and the first
    line of the run's last box."""
    sampler = subprocess.Popen([SAMPLER, road.instance_title(), str(SAMPLE_INTERVAL_MS)],
                               env=road.env, stdout=subprocess.PIPE)
    try:
        result = road.run_updater(*arguments, **options)
    finally:
        sampler.terminate()
        output = sampler.communicate()[0]
    return parse_samples(output.decode()), result.outcome


def parse_samples(output):
    """(seconds since the sampler started, answer in ms) of each sample line."""
    samples = []
    for line in output.splitlines():
        since_ms, answer_ms = line.split()
        samples.append((float(since_ms) / 1000, float(answer_ms)))
    return samples


def figures(samples):
    """Count, median and maximum of the answers, and when the slowest came."""
    if not samples:
        return f"{0:>8} {'-':>10} {'-':>8} {'-':>9}"
    answers = [answer for _, answer in samples]
    at, longest = max(samples, key=lambda sample: sample[1])
    return f"{len(answers):>8} {statistics.median(answers):>10.1f} {longest:>8.1f} {at:>9.1f}"


# ---- Roads ----

def close_main(road):
    road.server_file("Produkt/Daten/liesmich.txt", b"neu\n")
    road.serve()
    road.start_main_program()
    return sampled_run(road, answer=answer_close_yes)


def download_1g(road):
    write_random(os.path.join(road.server_root, "Produkt/Daten/gross.bin"), GIB)
    road.serve()
    return sampled_run(road, answer=answer_close_yes)


def unpack_1g(road):
    os.makedirs(os.path.join(road.server_root, "Produkt/Daten"))
    write_archive(os.path.join(road.server_root, "Produkt/Daten/Archiv.zip"), "gross.txt", GIB)
    road.serve()
    return sampled_run(road, answer=answer_close_yes)


def copy_1g(road):
    road.move_temp_to_another_file_system()
    write_random(road.download + "gross.bin", GIB)
    installed = road.install + "gross.bin"
    subprocess.run(["cp", road.download + "gross.bin", installed], check=True)
    with open(installed, "r+b") as file:  # differs in its last byte only
        file.seek(GIB - 1)
        file.write(bytes([file.read(1)[0] ^ 1]))
    os.utime(road.download + "gross.bin", (1717000000, 1717000000))
    return sampled_run(road, "Produkt.cfg", "/U", answer=answer_close_yes)


def listing_200k(road):
    folder = os.path.join(road.server_root, "Produkt/Daten")
    os.makedirs(folder)
    for i in range(LISTING_ENTRIES):
        name = f"datei{i:06}.txt"
        with open(os.path.join(folder, name), "wb"):
            pass
        os.link(os.path.join(folder, name), road.install + name)  # current: same date and size
    road.serve()
    return sampled_run(road, answer=answer_close_yes)


def drip_listing(road):
    road.server_file("Produkt/Daten/liesmich.txt", b"neu\n")
    road.serve("--ftp-drip")
    return sampled_run(road, answer=answer_close_yes)


ROADS = [("close-main", close_main), ("download-1g", download_1g), ("unpack-1g", unpack_1g),
         ("copy-1g", copy_1g), ("listing-200k", listing_200k), ("drip-listing", drip_listing)]


class Road(InstallRunTestCase):
    """The harness's folders, server and runs, without a test around them;
    the server offers no new updater."""

    def setUp(self):
        super().setUp()
        os.makedirs(os.path.join(self.server_root, "Quennvoldar"))

    def runTest(self):
        pass


def run_roads(roads, chosen, new_road):
    """Runs the chosen roads (all when none is chosen), each on a new road
    case, and prints a line of figures for each."""
    print(f"{'road':<14} {'samples':>8} {'median ms':>10} {'max ms':>8} {'max at s':>9}  outcome")
    for name, lay_out_and_run in roads:
        if chosen and name not in chosen:
            continue
        road = new_road()
        road.setUp()
        try:
            samples, outcome = lay_out_and_run(road)
        finally:
            road.doCleanups()
        print(f"{name:<14} {figures(samples)}  {outcome}", flush=True)


def main(chosen):
    run_roads(ROADS, chosen, Road)


def build_here(build):
    subprocess.run(["cmake", "--preset", "demo", "-B", build], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "qv_bench_updater_unsigned",
                    "qv_answer_sampler", "SampleMainProgram", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        BUILD = os.path.abspath(sys.argv[1])
    else:
        BUILD = os.path.join(ROOT, "build/bench")
        build_here(BUILD)
    os.environ.setdefault("QV_UPDATER", os.path.join(BUILD, "bench/qv_bench_updater_unsigned"))
    os.environ.setdefault("QV_SAMPLE_MAIN_PROGRAM",
                          os.path.join(BUILD, "tests/sample_main_program/SampleMainProgram"))
    SAMPLER = os.path.join(BUILD, "bench/answer/qv_answer_sampler")
    main(sys.argv[2:])

#!/usr/bin/env python3
"""Start-up as a user meets it: whole processes timed in one run, in alternating pairs so that
the machine's drift falls on both sides of each ratio. varnel-convert --help, one record file
and the benchmark's device folder (200 RMC files of 3599 points) against cat of the same bytes;
one file's GIS export and report against the same conversion without; and the window
(offscreen) until it is first painted and until its map has loaded. Given a second build folder
(another commit's build), the programs are also paired with its programs: this build / that one.
Each row: the first command's median wall time and peak memory, and the median of the ratios.

    bench/compare_startup.py BUILD_DIR [--base BASE_BUILD_DIR] [--runs N]
"""
import argparse
import glob
import os
import statistics
import subprocess
import sys
import tempfile
import time


def wall_of(argv, env):
    """Wall seconds of one run of argv, its output thrown away."""
    start = time.perf_counter_ns()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return (time.perf_counter_ns() - start) / 1e9


def peak_of(argv, env):
    """Peak KiB of one run of argv. Taken by time(1): a child's peak counts the memory of the
    process it was forked from, and this one's is larger than the converter's."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=env)
        return int(report.read().split()[-1])


def pair(label, a, b, versus, runs, env):
    walls, ratios = [], []
    wall_of(a, env), wall_of(b, env)  # warm-up
    for _ in range(runs):
        wall_a = wall_of(a, env)
        wall_b = wall_of(b, env)
        walls.append(wall_a)
        ratios.append(wall_a / wall_b)
    peaks = [peak_of(a, env) for _ in range(3)]
    print(f"{label:<40} {statistics.median(walls) * 1e3:9.1f} ms {statistics.median(peaks) / 1024:7.1f} MiB"
          f" {statistics.median(ratios):8.2f}x {versus}", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--base")
    parser.add_argument("--runs", type=int, default=11)
    args = parser.parse_args()
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QTWEBENGINE_DISABLE_SANDBOX="1")
    with tempfile.TemporaryDirectory(prefix="varnel-startup-") as scratch:
        folder = os.path.join(scratch, "folder")
        os.mkdir(folder)
        subprocess.run([os.path.join(args.build, "bench/bench_folder_import"), "--write-workload", folder],
                       check=True, stdout=subprocess.DEVNULL)
        files = sorted(glob.glob(os.path.join(folder, "*.nmea")))
        one = files[0]
        subprocess.run(["cat"] + files, check=True, stdout=subprocess.DEVNULL)  # into the page cache
        out = lambda name: os.path.join(scratch, name)

        def programs(build):
            return os.path.join(build, "cli/varnel-convert"), os.path.join(build, "app/varnel")

        convert, window = programs(args.build)
        painted = ["env", "VARNEL_STARTUP_PROBE=painted", window]
        mapped = ["env", "VARNEL_STARTUP_PROBE=map", window]
        print(f"{'whole process, median of ' + str(args.runs):<40} {'wall':>12} {'peak':>11} {'ratio':>9}")
        pair("varnel-convert --help", [convert, "--help"], ["cat", os.devnull], "cat /dev/null", args.runs, env)
        pair("varnel-convert FILE", [convert, one], ["cat", one], "cat of its bytes", args.runs, env)
        pair("varnel-convert FOLDER (200 files)", [convert, folder], ["cat"] + files, "cat of its bytes",
             args.runs, env)
        pair("varnel-convert FILE --gis OUT.gpkg", [convert, one, "--gis", out("a.gpkg")], [convert, one],
             "without --gis", args.runs, env)
        pair("varnel-convert FILE --report OUT.pdf", [convert, one, "--report", out("a.pdf")], [convert, one],
             "without --report", args.runs, env)
        pair("varnel until painted", painted, ["cat", os.devnull], "cat /dev/null", args.runs, env)
        pair("varnel until the map has loaded", mapped, painted, "until painted", args.runs, env)
        if args.base:
            old_convert, old_window = programs(args.base)
            for label, a, b in [
                ("varnel-convert --help", [convert, "--help"], [old_convert, "--help"]),
                ("varnel-convert FOLDER (200 files)", [convert, folder], [old_convert, folder]),
                ("varnel-convert FILE --gis OUT.gpkg", [convert, one, "--gis", out("a.gpkg")],
                 [old_convert, one, "--gis", out("b.gpkg")]),
                ("varnel until painted", painted, ["env", "VARNEL_STARTUP_PROBE=painted", old_window]),
                ("varnel until the map has loaded", mapped, ["env", "VARNEL_STARTUP_PROBE=map", old_window]),
            ]:
                pair(label, a, b, "base build", args.runs, env)


if __name__ == "__main__":
    sys.exit(main())

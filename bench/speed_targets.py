#!/usr/bin/python3
"""Interleaved timings of tabrix against a plain copy, pgdbf and an earlier tabrix.

Usage: bench/speed_targets.py TABRIX TABLE.dbf [--baseline OLD_TABRIX] [--runs N] [--folder-tables N]

Every measurement runs once per round, the rounds interleaved, so a busy machine
slows all of them alike; the medians of the wall-clock seconds are printed with
the ratios taken in the same run, then the targets met or missed. Outputs go to
/dev/shm when it is writable (disk speed left out) and are removed before each
run, so no run pays for freeing the memory of an earlier one's output; each run
starts from the default settings (TABRIX_SETTINGS=/dev/null).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(command, output, stdout=subprocess.DEVNULL):
    if os.path.isdir(output):
        shutil.rmtree(output)
    elif os.path.exists(output):
        os.remove(output)
    started = time.perf_counter()
    subprocess.run(command, check=True, stdout=stdout, stderr=subprocess.DEVNULL)
    return time.perf_counter() - started


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tabrix")
    parser.add_argument("table")
    parser.add_argument("--baseline", help="an earlier tabrix to compare each format with")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--folder-tables", type=int, default=8)
    args = parser.parse_args()
    os.environ["TABRIX_SETTINGS"] = "/dev/null"
    root = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="tabrix-speed-", dir=root)
    try:
        run(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(args, work):
    table = args.table
    out = lambda name: os.path.join(work, name)
    jobs = {"copy": ["dd", "if=" + table, "of=" + out("copy.dbf"), "bs=1M", "status=none"]}
    outputs = {"copy": out("copy.dbf")}
    formats = {"csv": ["x.csv", "/HDR"], "csv_utf8": ["x.csv", "/HDR", "/utf8"], "json": ["x.json"],
               "xml": ["x.xml"], "sql": ["x.sql"], "rtf": ["x.rtf"]}
    for name, (output, *switches) in formats.items():
        jobs[name] = [args.tabrix, table, out(output), *switches]
        outputs[name] = out(output)
        if args.baseline:
            jobs["old_" + name] = [args.baseline, table, out(output), *switches]
            outputs["old_" + name] = out(output)
    pgdbf = shutil.which("pgdbf")
    if pgdbf:
        jobs["pgdbf"] = [pgdbf, "-C", "-D", "-T", "-P", table]
        outputs["pgdbf"] = out("pgdbf.txt")
    folder = out("folder")
    os.mkdir(folder)
    for n in range(args.folder_tables):
        shutil.copyfile(table, os.path.join(folder, "t%d.dbf" % n))
    for count in (1, 2):
        jobs["folder_jobs%d" % count] = [args.tabrix, os.path.join(folder, "*.dbf"), out("folder%d" % count),
                                         "/TOcsv", "/HDR", "/JOBS:%d" % count]
        outputs["folder_jobs%d" % count] = out("folder%d" % count)

    subprocess.run(["cat", table], check=True, stdout=subprocess.DEVNULL)  # into the page cache
    times = {name: [] for name in jobs}
    for _ in range(args.runs):
        for name, command in jobs.items():
            if name == "pgdbf":
                with open(outputs[name], "wb") as sink:
                    times[name].append(timed(command, "", stdout=sink))
            else:
                times[name].append(timed(command, outputs[name]))
    median = {name: statistics.median(values) for name, values in times.items()}
    size_mb = os.path.getsize(table) / 1e6
    print("table %s, %.0f MB, %d interleaved runs, medians of wall-clock seconds" % (table, size_mb, args.runs))
    for name, seconds in median.items():
        print("  %-14s %7.3f s  %8.1f MB/s" % (name, seconds, size_mb / seconds))

    checks = [("CSV at least 0.5 of a plain copy's throughput", median["copy"] / median["csv"], 0.5)]
    if pgdbf:
        checks.append(("CSV at least 4 times pgdbf's throughput", median["pgdbf"] / median["csv"], 4.0))
    checks.append(("CSV /utf8 within 15% of plain CSV", median["csv"] / median["csv_utf8"], 1 / 1.15))
    if args.baseline:
        for name in ("json", "xml", "sql"):
            checks.append(("%s at least 25%% faster than the baseline" % name.upper(),
                           median["old_" + name] / median[name], 1.25))
        checks.append(("RTF at least 4 times faster than the baseline", median["old_rtf"] / median["rtf"], 4.0))
    checks.append(("folder of %d tables at least 1.6 times faster with /JOBS:2" % args.folder_tables,
                   median["folder_jobs1"] / median["folder_jobs2"], 1.6))
    for text, ratio, target in checks:
        print("%-62s ratio %5.2f (target %.2f): %s" % (text, ratio, target, "met" if ratio >= target else "MISSED"))


if __name__ == "__main__":
    main()

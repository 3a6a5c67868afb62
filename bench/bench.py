#!/usr/bin/env python3
"""Measures agetrim against baselines that make the same system calls
without deciding anything, and checks that its cost grows linearly.

Usage: bench.py [--quick] [--rounds R] [--sizes N,N,...] path/to/agetrim

Cases, each a median over R rounds, agetrim and baseline alternating:
  dry    agetrim -n -f -c 1000 FILES...   vs  stat -c %Y FILES...
  prune  agetrim -f -c 1000 FILES...      vs  stat -c %Y FILES... then
         (fresh copies each round)            rm -f over the same victims
  prune -v  the same with -v, its "Deleted" lines written to a file
  dates  agetrim -d -n -g 180 DATES...    vs  a C program that runs only
                                              sscanf and mktime over them
As root the files live on a tmpfs mounted for the run, else in a temporary
folder. --quick runs small sizes once and enforces no target.
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

TARGETS = {"dry": 1.25, "prune": 1.15, "prune -v": 1.2, "dates": 1.5}
GROWTH_LIMIT = 1.3  # cost per operand may grow by this factor at most
SPAN = 3 * 365 * 86400  # the files' ages spread over three years

BASELINE_C = r"""
#include <stdio.h>
#include <string.h>
#include <time.h>

/* Reads every argument as agetrim reads a date operand, and nothing else. */
int main(int argc, char **argv)
{
    long long sum = 0;
    for (int i = 1; i < argc; i++) {
        struct tm tm;
        int year, month;
        memset(&tm, 0, sizeof tm);
        if (sscanf(argv[i], "%d-%d-%d %d:%d:%d", &year, &month, &tm.tm_mday,
                   &tm.tm_hour, &tm.tm_min, &tm.tm_sec) < 3)
            return 4;
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_wday = -1;
        sum += mktime(&tm);
    }
    printf("%lld\n", sum);
    return 0;
}
"""


def raise_argument_limit():
    """The argument space is a quarter of the stack limit (at most 6 MiB on
    Linux): raise the stack limit so that the largest sizes fit."""
    soft, hard = resource.getrlimit(resource.RLIMIT_STACK)
    want = 256 << 20
    if hard == resource.RLIM_INFINITY or hard >= want:
        resource.setrlimit(resource.RLIMIT_STACK, (want, hard))


def timed(argv, cwd, log=None):
    """Seconds that one run of argv takes; its output goes to the file log,
    or is discarded."""
    with open(log or os.devnull, "w") as out:
        start = time.perf_counter()
        subprocess.run(argv, cwd=cwd, stdout=out, check=True, env=ENV)
        return time.perf_counter() - start


def alternate(rounds, ours, theirs):
    """Runs the two measurements in turns, each going first every other
    round, and returns the median seconds of each."""
    ours_times, theirs_times = [], []
    for r in range(rounds):
        pair = [lambda: ours_times.append(ours()), lambda: theirs_times.append(theirs())]
        for measure in (pair if r % 2 == 0 else pair[::-1]):
            measure()
    return statistics.median(ours_times), statistics.median(theirs_times)


def make_files(folder, n, now):
    """n empty files f0000000... with modification times spread over SPAN."""
    os.mkdir(folder)
    names = [f"f{i:07d}" for i in range(n)]
    step = SPAN / n
    for i, name in enumerate(names):
        path = os.path.join(folder, name)
        os.close(os.open(path, os.O_CREAT | os.O_WRONLY, 0o644))
        t = now - 3600 - i * step
        os.utime(path, (t, t))
    return names


def fits(argv):
    """Whether a command line of this size can be executed here."""
    try:
        subprocess.run(["true"] + argv, check=True, env=ENV)
        return True
    except OSError:
        return False


def bench_files(agetrim, root, n, rounds, results):
    now = time.time()
    base = os.path.join(root, f"set{n}")
    names = make_files(base, n, now)
    if not fits(names):
        print(f"  {n} file names do not fit on a command line here; skipped")
        shutil.rmtree(base)
        return
    dry = [agetrim, "-n", "-f", "-c", "1000"] + names
    victims = subprocess.run(dry, cwd=base, capture_output=True, text=True,
                             check=True, env=ENV).stdout.split()
    # GNU stat takes its format with -c, BSD stat with -f.
    stat = (["stat", "-c", "%Y"] if sys.platform.startswith("linux") else ["stat", "-f", "%m"]) + names
    results.append(("dry", n) + alternate(rounds, lambda: timed(dry, base),
                                          lambda: timed(stat, base)))

    copy = os.path.join(root, "copy")

    log = os.path.join(root, "log")

    def ours_run(verbose=False):
        make_files(copy, n, now)
        seconds = timed([agetrim] + (["-v"] if verbose else []) + ["-f", "-c", "1000"] + names,
                        copy, log)
        left = len(os.listdir(copy))
        shutil.rmtree(copy)
        if left != n - len(victims):
            sys.exit(f"prune left {left} files, the dry run said {n - len(victims)}")
        with open(log) as f:
            logged = sum(1 for _ in f)
        if logged != (len(victims) if verbose else 0):
            sys.exit(f"prune -v logged {logged} deletions of {len(victims)}")
        return seconds

    def theirs_run():
        make_files(copy, n, now)
        seconds = timed(stat, copy) + timed(["rm", "-f"] + victims, copy)
        shutil.rmtree(copy)
        return seconds

    results.append(("prune", n) + alternate(rounds, ours_run, theirs_run))
    results.append(("prune -v", n) + alternate(rounds, lambda: ours_run(True), theirs_run))
    shutil.rmtree(base)


def bench_dates(agetrim, baseline, n, rounds, results):
    # Dates without a time of day, so that 300,000 of them fit on a command
    # line; about a hundred share each day.
    dates = [time.strftime("%Y-%m-%d", time.gmtime(1700000000 - i * SPAN // n)) for i in range(n)]
    if not fits(dates):
        print(f"  {n} dates do not fit on a command line here; skipped")
        return
    ours_argv = [agetrim, "-d", "-n", "-g", "180"] + dates
    theirs_argv = [baseline] + dates
    results.append(("dates", n) + alternate(rounds, lambda: timed(ours_argv, None),
                                            lambda: timed(theirs_argv, None)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("agetrim")
    parser.add_argument("--quick", action="store_true", help="small sizes, one round, no targets")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--sizes", default="10000,100000,300000")
    parser.add_argument("--cases", default="files,dates", help="files (dry and prune), dates")
    args = parser.parse_args()
    agetrim = os.path.abspath(args.agetrim)
    sizes = [1000, 3000] if args.quick else [int(s) for s in args.sizes.split(",")]
    rounds = 1 if args.quick else args.rounds
    raise_argument_limit()

    work = tempfile.mkdtemp(prefix="agetrim-bench-")
    mounted = False
    if os.geteuid() == 0 and not args.quick:
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2g", "agetrim-bench", work],
                                 stderr=subprocess.DEVNULL).returncode == 0
    print(f"files on {'a tmpfs' if mounted else 'the disk'} at {work}; "
          f"{rounds} round(s); medians in seconds")
    results = []
    try:
        baseline = os.path.join(work, "dates_baseline")
        source = baseline + ".c"
        with open(source, "w") as f:
            f.write(BASELINE_C)
        subprocess.run([os.environ.get("CC", "cc"), "-O2", "-o", baseline, source], check=True)
        for n in sizes:
            print(f"  N = {n} ...", flush=True)
            if "files" in args.cases:
                bench_files(agetrim, work, n, rounds, results)
            if "dates" in args.cases:
                bench_dates(agetrim, baseline, n, rounds, results)
    finally:
        if mounted:
            subprocess.run(["umount", work])
        shutil.rmtree(work, ignore_errors=True)

    print()
    print(f"| case | N | agetrim | baseline | ratio | target |")
    print(f"|---|---:|---:|---:|---:|---:|")
    missed = []
    for case, n, ours, theirs in results:
        ratio = ours / theirs
        ok = ratio <= TARGETS[case]
        if not ok:
            missed.append(f"{case} at {n}: {ratio:.2f}")
        print(f"| {case} | {n} | {ours:.4f} | {theirs:.4f} | {ratio:.2f} | "
              f"<= {TARGETS[case]} {'met' if ok else 'MISSED'} |")
    print()
    print("| growth | N | per-operand cost vs the size before | target |")
    print("|---|---:|---:|---:|")
    by_case = {}
    for case, n, ours, _ in results:
        by_case.setdefault(case, []).append((n, ours))
    for case, points in by_case.items():
        for (n0, t0), (n1, t1) in zip(points, points[1:]):
            growth = (t1 / n1) / (t0 / n0)
            ok = growth <= GROWTH_LIMIT
            if not ok:
                missed.append(f"{case} growth {n0}->{n1}: {growth:.2f}")
            print(f"| {case} | {n1} | {growth:.2f} | <= {GROWTH_LIMIT} {'met' if ok else 'MISSED'} |")
    if missed and not args.quick:
        print("\ntargets missed: " + "; ".join(missed))
        return 1
    return 0


ENV = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C", "TZ": "UTC"}

if __name__ == "__main__":
    sys.exit(main())

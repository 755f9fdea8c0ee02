"""How long solve takes to read a distance matrix: a list of lists against
numpy int64 and uint64 arrays, n = 100, 1000, 2000, 4000.

    python bench/conversion_bench.py                          # this tourloom
    python bench/conversion_bench.py --before /path/to/folder # also an older build, for the ratio
    python bench/conversion_bench.py --sizes 100,1000 --repeats 3
    python bench/conversion_bench.py --small                  # microseconds per reading, n = 2 ... 100
    python bench/conversion_bench.py --lists python3,pypy3,scripts/pypy-i386 --now DIR --before DIR
                                     # lists only, ns per entry on each interpreter (no numpy needed)

"read" is the conversion alone: solve(matrix, job_durations="x") reads the
matrix and then fails on the next argument, before any solving. "solve(0)"
is solve(matrix, time_limit=0): the conversion, the model and one
evaluation of the identity route, no search. Times are the CPU time of the
process (user and system, so the page faults of the new matrix count),
which the load of a shared machine inflates far less than wall time. Each cell runs in a fresh
process (so that no cell inherits another's heap), builds the same seeded
matrix, and reports the shortest of --repeats runs; "first" is the first
read of the process, which also pays for the operating system handing out
fresh pages; "faults" counts the page faults of one reading: the pages of
the new matrix that the system hands out one by one (4 KiB each), a cost
every reading into a new matrix pays, list or array. --before runs the same cells against the tourloom found in
that folder (a build of an earlier commit, e.g. by scripts/build-python-ext.sh),
so that the ratio comes from one run on the same instances. With
--keep-memory the allocator keeps freed memory, as in a long-running
process whose heap has room, and the readings after the first reuse the
last matrix's pages instead of new ones. With --no-huge-pages each cell
process is refused transparent huge pages (prctl PR_SET_THP_DISABLE), as on
a system that has them switched off: the matrix then gets its memory 4 KiB
at a time. Every cell checks that the array gives the same result as the list.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import resource
import shlex
import subprocess
import sys
import time

KINDS = ("list", "int64", "uint64")


def refuse_huge_pages() -> None:
    import ctypes

    pr_set_thp_disable = 41
    if ctypes.CDLL(None, use_errno=True).prctl(pr_set_thp_disable, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_THP_DISABLE)")


def seeded_rows(n: int) -> list:
    """The same n x n matrix on every interpreter: entries below 10**6, zero diagonal."""
    rng = random.Random(n)
    return [[0 if a == b else rng.randrange(10**6) for b in range(n)] for a in range(n)]


def cell(n: int, kind: str, repeats: int) -> dict:
    """Runs in the child: time reading and solve(0) of one matrix."""
    if os.environ.get("CONVERSION_BENCH_NO_HUGE_PAGES"):
        refuse_huge_pages()
    import tourloom

    rows = seeded_rows(n)
    if kind == "list":
        value = rows
    else:
        import numpy as np

        value = np.array(rows, dtype=kind)

    def read():
        try:
            tourloom.solve(value, job_durations="x")
        except TypeError:
            return
        raise AssertionError("the call did not stop at job_durations")

    times = []
    for _ in range(repeats):
        start = time.process_time()
        read()
        times.append(time.process_time() - start)
    solves = []
    for _ in range(repeats):
        start = time.process_time()
        out = tourloom.solve(value, time_limit=0)
        solves.append(time.process_time() - start)
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    read()  # one more reading, after the timed ones
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    reference = tourloom.solve(rows, time_limit=0) if kind != "list" else out
    same = (out.route, out.distance) == (reference.route, reference.distance)
    return {"first": times[0], "read": min(times), "solve0": min(solves), "same": same,
            "distance": out.distance, "faults": faults}


def small_inputs(sizes: list[int]) -> None:
    """Microseconds per reading of small matrices, where the fixed cost of
    asking an array for its buffer could outweigh what reading items costs."""
    import timeit

    import numpy as np

    import tourloom

    def read(value):
        try:
            tourloom.solve(value, job_durations="x")
        except TypeError:
            return
        raise AssertionError("the call did not stop at job_durations")

    print("%6s %10s %10s %10s %15s" % ("n", "list us", "int64 us", "uint64 us", "list/int64"))
    for n in sizes:
        matrix = np.random.default_rng(n).integers(0, 10**6, size=(n, n), dtype=np.int64)
        number = max(20, 200_000 // (n * n))
        us = {}
        for kind, value in (("list", matrix.tolist()), ("int64", matrix), ("uint64", matrix.astype(np.uint64))):
            us[kind] = min(timeit.repeat(lambda: read(value), number=number, repeat=7)) / number * 1e6
        print("%6d %10.2f %10.2f %10.2f %14.1fx" % (n, us["list"], us["int64"], us["uint64"], us["list"] / us["int64"]))


def run_cell(n: int, kind: str, repeats: int, path: str | None, keep_memory: bool, no_huge_pages: bool,
             interpreter: list[str] | None = None) -> dict:
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1")  # numpy's idle BLAS threads would share the cores
    if no_huge_pages:
        env["CONVERSION_BENCH_NO_HUGE_PAGES"] = "1"
    if keep_memory:
        env["MALLOC_TRIM_THRESHOLD_"] = str(2**30)
    if path:
        env["PYTHONPATH"] = path + os.pathsep + env.get("PYTHONPATH", "")
    done = subprocess.run((interpreter or [sys.executable]) + [os.path.abspath(__file__), "--cell", str(n), kind,
                                                           str(repeats)],
                          env=env, capture_output=True, text=True, check=True)
    return json.loads(done.stdout.strip().splitlines()[-1])


def list_table(interpreters: list[str], sizes: list[int], repeats: int, now: str | None, before: str | None) -> int:
    """Lists only, on several interpreters: ns per entry of one reading, now
    and (with --before) the earlier build, each cell in a fresh process of
    that interpreter; numpy is not needed."""
    modules = [("now", now)] + ([("before", before)] if before else [])
    print("%-20s %6s %12s %12s %14s %12s %10s" % ("interpreter", "n", "before ns", "now ns", "before/now",
                                                 "first now ns", "same"))
    table = {}
    for interpreter in interpreters:
        for n in sizes:
            for label, path in modules:
                table[interpreter, n, label] = run_cell(n, "list", repeats, path, False, False, shlex.split(interpreter))
            now_r = table[interpreter, n, "now"]
            per = lambda r: r["read"] / (n * n) * 1e9
            b = table.get((interpreter, n, "before"))
            same = b is None or (b["distance"] == now_r["distance"])
            print("%-20s %6d %12s %12.1f %14s %12.1f %10s" % (
                interpreter, n, "%.1f" % per(b) if b else "-", per(now_r), "%.1fx" % (per(b) / per(now_r)) if b else "-",
                now_r["first"] / (n * n) * 1e9, "yes" if same else "NO"))
            sys.stdout.flush()
    first = interpreters[0]
    print()
    print("now, ns per entry as a multiple of %s's:" % first)
    for interpreter in interpreters[1:]:
        print("%-20s " % interpreter + " ".join("n=%d: %.1fx" % (n, table[interpreter, n, "now"]["read"] /
                                                                table[first, n, "now"]["read"]) for n in sizes))
    return 0 if all(r["same"] for r in table.values()) else 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="100,1000,2000,4000")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--before", help="folder with an earlier build of tourloom, for the ratio")
    parser.add_argument("--keep-memory", action="store_true",
                        help="let glibc keep freed memory (MALLOC_TRIM_THRESHOLD_), so that repeated readings "
                             "reuse the pages of the last matrix")
    parser.add_argument("--no-huge-pages", action="store_true",
                        help="refuse the cell processes transparent huge pages, as a system without them would")
    parser.add_argument("--small", action="store_true",
                        help="time many readings of small matrices in this process instead (sizes 2,5,10,30,100)")
    parser.add_argument("--lists", metavar="INTERPRETERS",
                        help="comma-separated interpreter commands (e.g. python3,pypy3,scripts/pypy-i386): the list "
                             "reading on each, ns per entry (default sizes 100,1000,2000)")
    parser.add_argument("--now", help="folder with the tourloom to measure as 'now' (default: the installed one)")
    parser.add_argument("--cell", nargs=3, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.cell:
        print(json.dumps(cell(int(args.cell[0]), args.cell[1], int(args.cell[2]))))
        return 0
    if args.small:
        small_inputs([2, 5, 10, 30, 100])
        return 0

    if args.lists:
        sizes = [int(s) for s in (args.sizes if args.sizes != parser.get_default("sizes") else "100,1000,2000").split(",")]
        return list_table(args.lists.split(","), sizes, args.repeats, args.now, args.before)

    sizes = [int(s) for s in args.sizes.split(",")]
    modules = [("now", args.now)] + ([("before", args.before)] if args.before else [])
    print("%6s  %-7s %-7s %10s %10s %10s  %s" % ("n", "input", "module", "first s", "read s", "solve(0) s",
                                                "same result as the list"))
    table = {}
    for n in sizes:
        for kind in KINDS:
            for label, path in modules:
                if label == "before" and kind == "list":
                    continue  # the list path did not change
                r = run_cell(n, kind, args.repeats if n < 4000 or kind != "list" else max(2, args.repeats // 2), path,
                             args.keep_memory, args.no_huge_pages)
                table[n, kind, label] = r
                print("%6d  %-7s %-7s %10.4f %10.4f %10.4f  %s" % (n, kind, label, r["first"], r["read"],
                                                                  r["solve0"], "yes" if r["same"] else "NO"))
                sys.stdout.flush()
    print()
    header = "%6s %10s %10s %10s" % ("n", "list s", "int64 s", "uint64 s")
    if args.before:
        header += " %13s %13s %17s %18s" % ("int64 before", "uint64 before", "int64 before/now",
                                            "uint64 before/now")
    print(header + " %14s %9s" % ("list/int64 now", "faults"))
    for n in sizes:
        line = "%6d %10.4f %10.4f %10.4f" % (n, table[n, "list", "now"]["read"], table[n, "int64", "now"]["read"],
                                             table[n, "uint64", "now"]["read"])
        if args.before:
            b64, bu64 = table[n, "int64", "before"]["read"], table[n, "uint64", "before"]["read"]
            line += " %13.4f %13.4f %16.1fx %17.1fx" % (b64, bu64, b64 / table[n, "int64", "now"]["read"],
                                                        bu64 / table[n, "uint64", "now"]["read"])
        print(line + " %13.1fx %9d" % (table[n, "list", "now"]["read"] / table[n, "int64", "now"]["read"],
                                       table[n, "int64", "now"]["faults"]))
    return 0 if all(r["same"] for r in table.values()) else 1


if __name__ == "__main__":
    sys.exit(main())

"""Solving many instances at once with a pool of processes.

    python examples/parallel_pool.py                          # 8 instances, 1 s each, one process per core
    python examples/parallel_pool.py --instances 20 --size 60 --time-limit 2 --workers 4
    python examples/parallel_pool.py --compare-threads        # the same with threads, for contrast

Why processes and not threads: `tourloom.solve` holds the interpreter's
global lock for the whole solve, time limit included, and never lets go of
it. Threads of one interpreter therefore run solves one after another, not
side by side, and a thread pool takes as long as solving in a loop. Each
process has its own interpreter and its own lock, so a process pool keeps
every core busy.

The instances are made up here (random delivery rounds with time windows,
seeded, so every run solves the same ones). tourloom_kit.solve_many runs
them on a process pool and hands back plain dictionaries in input order
(the result object `PyOutput` cannot leave the process that made it); with
--progress it shows a tqdm bar, and Ctrl-C stops the workers and keeps the
finished results.
"""

import argparse
import os
import random
import sys
import time
from concurrent.futures import ThreadPoolExecutor

from tourloom_kit import BatchInterrupted, solve_many

START = 1_710_720_000  # 2024-03-18 00:00 UTC


def make_instance(seed, size):
    """A random delivery round: `size` stops within 8 km of the depot, a
    four-hour window each during the day, 4 to 12 minutes of work."""
    rng = random.Random(seed)
    points = [(0.0, 0.0)] + [(rng.uniform(-8, 8), rng.uniform(-8, 8)) for _ in range(size - 1)]

    def km(a, b):
        return ((a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2) ** 0.5 * 1.3
    metres = [[round(km(a, b) * 1000) for b in points] for a in points]
    travel = [[round(km(a, b) / 40 * 3600) for b in points] for a in points]  # 40 km/h
    work = [0] + [rng.randrange(4, 13) * 60 for _ in range(size - 1)]
    windows = [[(START + 7 * 3600, START + 19 * 3600)]]
    for _ in range(size - 1):
        opens = START + rng.randrange(7 * 3600, 15 * 3600, 900)
        windows.append([(opens, opens + 4 * 3600)])
    hours = (7 * 3600, 19 * 3600)
    return metres, travel, work, windows, hours


def run(instances, time_limit, workers, progress, executor=None):
    start = time.perf_counter()
    results = solve_many(instances, time_limit, processes=workers, executor=executor, progress=progress)
    return results, time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description="Solve many instances in parallel with a process pool.")
    parser.add_argument("--instances", type=int, default=8, help="how many (default %(default)s)")
    parser.add_argument("--size", type=int, default=30, help="stops per instance, depot included (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=1, help="seconds per instance (default %(default)s)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="processes (default: one per core, %(default)s)")
    parser.add_argument("--compare-threads", action="store_true", help="also run a thread pool of the same size")
    parser.add_argument("--progress", action="store_true", help="show a progress bar (needs tqdm)")
    args = parser.parse_args()

    instances = [make_instance(seed, args.size) for seed in range(args.instances)]
    try:
        results, wall = run(instances, args.time_limit, args.workers, args.progress)
    except BatchInterrupted as stop:
        print("interrupted: %d of %d instances were solved" % (sum(r is not None for r in stop.results),
                                                                len(instances)))
        return 130

    print("%d instances of %d stops, %d s each, %d worker processes" % (
        args.instances, args.size, args.time_limit, args.workers))
    print("  %4s  %9s  %10s  %8s" % ("seed", "km", "late (min)", "descents"))
    for seed, r in enumerate(results):
        print("  %4d  %9.1f  %10.0f  %8d" % (seed, r["distance"] / 1000, r["lateness"] / 60, r["iterations"]))
    solving = sum(r["time_taken_microseconds"] / 1e6 for r in results)
    print("processes: %.1f s of solving in %.1f s of wall time (%.1fx)" % (solving, wall, solving / wall))

    if args.compare_threads:
        with ThreadPoolExecutor(max_workers=args.workers) as threads:
            thread_results, thread_wall = run(instances, args.time_limit, args.workers, False, executor=threads)
        thread_solving = sum(r["time_taken_microseconds"] / 1e6 for r in thread_results)
        print("threads:   %.1f s of solving in %.1f s of wall time (%.1fx): each solve holds the "
              "interpreter lock" % (thread_solving, thread_wall, thread_solving / thread_wall))
    return 0


if __name__ == "__main__":
    sys.exit(main())

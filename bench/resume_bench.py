"""What a store saves when the driving process of a batch dies: the batch
solved whole, then the same batch in a driver that is killed with SIGKILL
halfway and resumed from its store; and what keeping a store costs a batch
of quick solves (every result written and synced to the disk on its own).

    python bench/resume_bench.py                  # 32 instances of 30 stops, time_limit=1, killed at 50 %
    python bench/resume_bench.py --kill-at 0.8 --instances 16

The instances are those of examples/parallel_pool.py (seeded). The store
goes into a temporary folder (--folder: elsewhere, e.g. a network disk).
One run, same machine, same instances: compare the rows with each other.
"""

import argparse
import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import time

EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
sys.path.insert(0, EXAMPLES)

from parallel_pool import make_instance  # noqa: E402

from tourloom_kit import solve_many  # noqa: E402

DRIVER = textwrap.dedent("""
    import sys
    sys.path.insert(0, {examples!r})
    from parallel_pool import make_instance
    from tourloom_kit import solve_many
    instances = [make_instance(seed, {size}) for seed in range({count})]
    solve_many(instances, {time_limit}, processes={workers}, store={store!r})
""")


def stored(path):
    try:
        with open(path, "rb") as f:
            return max(f.read().count(b"\n") - 1, 0)  # the first line names the batch
    except FileNotFoundError:
        return 0


def timed(call):
    start = time.perf_counter()
    value = call()
    return time.perf_counter() - start, value


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--instances", type=int, default=32)
    parser.add_argument("--size", type=int, default=30, help="stops per instance, depot included")
    parser.add_argument("--time-limit", type=int, default=1)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--kill-at", type=float, default=0.5, help="share of the batch stored when it is killed")
    parser.add_argument("--quick", type=int, default=2000, help="instances of the store-cost rows")
    parser.add_argument("--folder", default=None)
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="resume-bench-", dir=args.folder)
    instances = [make_instance(seed, args.size) for seed in range(args.instances)]
    whole, _ = timed(lambda: solve_many(instances, args.time_limit, processes=args.workers))

    store = os.path.join(folder, "batch.jsonl")
    script = DRIVER.format(examples=EXAMPLES, size=args.size, count=args.instances, time_limit=args.time_limit,
                           workers=args.workers, store=store)
    goal = max(1, round(args.kill_at * args.instances))
    start = time.perf_counter()
    driver = subprocess.Popen([sys.executable, "-c", script])
    while stored(store) < goal and driver.poll() is None:
        time.sleep(0.01)
    driver.send_signal(signal.SIGKILL)
    driver.wait()
    killed_after = time.perf_counter() - start
    kept = stored(store)
    resumed, _ = timed(lambda: solve_many(instances, args.time_limit, processes=args.workers, store=store))

    print("%d instances of %d stops, time_limit=%s, %d worker processes"
          % (args.instances, args.size, args.time_limit, args.workers))
    print("%-40s %8s %8s %9s" % ("run", "solved", "wall s", "of whole"))
    print("%-40s %8d %8.1f %8.0f%%" % ("whole batch, no store", args.instances, whole, 100))
    print("%-40s %8d %8.1f %8.0f%%" % ("driver killed (SIGKILL) once %d stored" % goal, kept, killed_after,
                                         100 * killed_after / whole))
    print("%-40s %8d %8.1f %8.0f%%" % ("resumed from the store", args.instances - kept, resumed,
                                         100 * resumed / whole))
    print("solves skipped on resume: %d of %d; time saved against solving again from the start: %.1f s (%.0f%%)"
          % (kept, args.instances, whole - resumed, 100 * (whole - resumed) / whole))

    quick = [make_instance(seed, 12) for seed in range(args.quick)]
    plain, _ = timed(lambda: solve_many(quick, None, processes=1))
    kept_store = os.path.join(folder, "quick.jsonl")
    written, _ = timed(lambda: solve_many(quick, None, processes=1, store=kept_store))
    again, _ = timed(lambda: solve_many(quick, None, processes=1, store=kept_store))
    print()
    print("store cost: %d instances of 12 stops, one descent each, in this process" % args.quick)
    print("%-40s %8s %12s" % ("run", "wall s", "ms/instance"))
    for name, seconds in (("no store", plain), ("store, every result synced", written),
                          ("again: all read from the store", again)):
        print("%-40s %8.2f %12.2f" % (name, seconds, 1000 * seconds / args.quick))
    for name in ("batch.jsonl", "quick.jsonl"):
        os.remove(os.path.join(folder, name))
    os.rmdir(folder)


if __name__ == "__main__":
    main()

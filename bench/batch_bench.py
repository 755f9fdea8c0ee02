"""Wall time of one batch solved three ways: in this process one after
another, on solve_many's process pool, and on a Dask LocalCluster through
its executor (worker processes on the loopback interface).

    python bench/batch_bench.py                          # 64 instances of 30 stops, time_limit=1
    python bench/batch_bench.py --instances 16 --time-limit 0

The instances are those of examples/parallel_pool.py (seeded). With a time
limit the wall time is set by the limits, so what the table shows is how
many solves run side by side; "descents" is the number of descents all the
solves ran together, which falls when the processes share a loaded machine.
Without dask and distributed installed the Dask row is left out.
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples"))

from parallel_pool import make_instance  # noqa: E402

from tourloom_kit import solve_many  # noqa: E402


def timed(instances, time_limit, **how):
    start = time.perf_counter()
    results = solve_many(instances, time_limit, **how)
    return time.perf_counter() - start, sum(r["iterations"] for r in results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--instances", type=int, default=64)
    parser.add_argument("--size", type=int, default=30, help="stops per instance, depot included")
    parser.add_argument("--time-limit", type=int, default=1)
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()

    instances = [make_instance(seed, args.size) for seed in range(args.instances)]
    rows = [("serial (processes=1)", *timed(instances, args.time_limit, processes=1), ""),
            ("process pool (processes=%d)" % args.workers,
             *timed(instances, args.time_limit, processes=args.workers), "")]
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("dask and distributed are not installed: no Dask row")
    else:
        start = time.perf_counter()
        with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None) as cluster, Client(cluster) as client:
            started = time.perf_counter() - start
            rows.append(("Dask LocalCluster, %d workers" % args.workers,
                         *timed(instances, args.time_limit, executor=client.get_executor()),
                         "(+%.1f s to start the cluster)" % started))

    print("%d instances of %d stops, time_limit=%d" % (args.instances, args.size, args.time_limit))
    print("%-32s %8s %10s %15s" % ("how", "wall s", "descents", "wall speed-up"))
    serial = rows[0][1]
    for name, wall, descents, extra in rows:
        print("%-32s %8.1f %10d %14.1fx   %s" % (name, wall, descents, serial / wall, extra))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""A batch of instances on a Dask cluster, with tourloom_kit.solve_many.

    python examples/dask_cluster.py                        # 200 instances, 1 s each, a local cluster
    python examples/dask_cluster.py --instances 20 --workers 2 --time-limit 0
    python examples/dask_cluster.py --scheduler tcp://10.0.0.5:8786

Without --scheduler the example starts a Dask LocalCluster on this machine:
one worker process per core (a solve holds its interpreter's lock, so each
worker runs one solve at a time), listening on the loopback interface only.
With --scheduler it connects to a running cluster instead; there every
worker needs tourloom installed (`pip install tourloom` in the workers'
environment, which brings tourloom_kit), and the scheduler address is the
one `dask scheduler` prints.

solve_many takes any concurrent.futures.Executor; `client.get_executor()`
is Dask's. Needs dask and distributed (`pip install "dask[distributed]"`).
"""

import argparse
import os
import sys
import time

from parallel_pool import make_instance

from tourloom_kit import solve_many


def main():
    parser = argparse.ArgumentParser(description="Solve many instances on a Dask cluster.")
    parser.add_argument("--instances", type=int, default=200, help="how many (default %(default)s)")
    parser.add_argument("--size", type=int, default=30, help="stops per instance (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=1, help="seconds per instance (default %(default)s)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="local worker processes (default %(default)s)")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: start a local cluster)")
    args = parser.parse_args()

    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        print("this example needs dask and distributed: pip install 'dask[distributed]'")
        return 0

    instances = [make_instance(seed, args.size) for seed in range(args.instances)]
    if args.scheduler:
        cluster = None
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address=None)
        client = Client(cluster)
    try:
        start = time.perf_counter()
        results = solve_many(instances, args.time_limit, executor=client.get_executor())
        wall = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    solving = sum(r["time_taken_microseconds"] for r in results) / 1e6
    late = sum(1 for r in results if r["lateness"])
    print("%d instances of %d stops, %d s each, on %s" % (
        len(results), args.size, args.time_limit, args.scheduler or "a local cluster of %d workers" % args.workers))
    print("total distance %.1f km, %d late tours, %d descents" % (
        sum(r["distance"] for r in results) / 1000, late, sum(r["iterations"] for r in results)))
    print("%.1f s of solving in %.1f s of wall time (%.1fx)" % (solving, wall, solving / wall))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""solve_many on a real Dask cluster: a LocalCluster of two worker
processes on the loopback interface, each result checked against a direct
solve (no time limit: one descent, so results depend on the inputs alone)."""

import random

import pytest

import tourloom
from tourloom_kit import result_to_dict, solve_many

distributed = pytest.importorskip("distributed", reason="dask's distributed is not installed (CPython leg only)")


def instance(seed, n=12):
    rng = random.Random(seed)
    points = [(rng.randrange(100), rng.randrange(100)) for _ in range(n)]
    distances = [[abs(ax - bx) + abs(ay - by) for bx, by in points] for ax, ay in points]
    start = 1_700_000_000
    return {"distance_matrix": distances, "duration_matrix": [[60 * d for d in row] for row in distances],
            "job_durations": [rng.randrange(300, 900) for _ in range(n)],
            "time_windows": [[(start, start + rng.randrange(4, 10) * 3600)] for _ in range(n)],
            "operation_times": (6 * 3600, 20 * 3600)}


def test_a_batch_on_a_local_cluster_matches_direct_solves():
    instances = [instance(seed) for seed in range(24)]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        results = solve_many(instances, None, executor=client.get_executor())
        workers = {address for address in client.scheduler_info()["workers"]}
    assert len(workers) == 2 and all(address.startswith("tcp://127.0.0.1:") for address in workers)

    def comparable(d):
        return {k: v for k, v in d.items() if k != "time_taken_microseconds"}

    assert [comparable(r) for r in results] == [comparable(result_to_dict(tourloom.solve(**i))) for i in instances]

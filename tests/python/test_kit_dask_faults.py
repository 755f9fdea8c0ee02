"""solve_many on a Dask LocalCluster (worker processes on the loopback
interface) whose worker is killed with SIGKILL mid-batch: Dask's own
retries give its tasks to the other worker, and no result is lost."""

import os
import signal
import threading

import pytest

from kit_processes import is_answer_to, rings
from tourloom_kit import solve_many

distributed = pytest.importorskip("distributed", reason="dask's distributed is not installed (CPython leg only)")


def test_a_killed_dask_worker_costs_no_result():
    instances = rings(8)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        pids = sorted(client.run(os.getpid).values())
        # Half a second into the solves of 1 s each, one worker dies.
        killer = threading.Timer(0.5, os.kill, (pids[0], signal.SIGKILL))
        killer.start()
        try:
            results = solve_many(instances, 1, executor=client.get_executor())
        finally:
            killer.cancel()
        assert not any(pid == pids[0] for pid in client.run(os.getpid).values())  # it did die
    assert all(is_answer_to(i, r) for i, r in zip(instances, results))

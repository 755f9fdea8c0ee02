"""Many instances at once: a pool of processes on this machine, or any
concurrent.futures.Executor (a Dask `Client.get_executor()`, a Ray pool)
for a cluster.

A solve holds the interpreter lock for its whole duration, so threads of one
interpreter run solves one after another; every worker here is a process
with its own interpreter. Results come back as the plain dictionaries of
result_to_dict, because the result object itself cannot be pickled.

solve_many's own pool is one single-process pool per worker, so that a
worker that dies (killed by the out-of-memory killer, say) breaks only its
own pool: it is known which instance it was solving, that instance alone is
tried again on a fresh one, and the other workers' solves run on. Its
workers are forked from the driver after the batch is known, and find their
instances in the memory they inherit: only an index goes through a pool's
pipe.
"""

from __future__ import annotations

import itertools
import multiprocessing
import os
from collections import deque
from concurrent.futures import FIRST_COMPLETED, Executor, Future, ProcessPoolExecutor, wait
from concurrent.futures.process import BrokenProcessPool
from typing import Any, Deque, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

from ._children import stay_with_parent
from ._extras import require
from .plain_solve import failure_of, solve_plain
from .store import ResultStore

Instance = Union[Mapping[str, Any], Sequence[Any]]  # keyword or positional arguments of solve
Results = List[Optional[Dict[str, Any]]]

# How often an instance whose worker died is tried again on a fresh worker
# before it is reported as WorkerDied: a worker killed from outside once or
# twice costs nothing, an instance that takes down every worker it is given
# (too much memory) does not stall the batch.
RETRIES = 2

# The batches being solved on solve_many's own pools, by number, for the
# workers forked while they are. An instance written into a pool's pipe can
# be large, and a worker that died while it was being written left the
# pool's feeding thread blocked on the full pipe for ever, and the pool's
# shutdown waiting for that thread: on every Python while another pool's
# worker lived (each worker forked later holds the pipe's reading end too),
# and always where the standard library does not close the driver's own
# (CPython 3.9 and 3.10, PyPy 3.9).
_BATCHES: Dict[int, List[Instance]] = {}
_batch_numbers = itertools.count()


class SolveError(Exception):
    """A solve of the batch failed. `index` is the instance's position,
    `kind` the name of the exception the solve raised (TypeError,
    PanicException, ...) or, with a given executor, the executor's own
    failure (KilledWorker, BrokenProcessPool, ...), and `message` its text.
    `results` holds the finished results in input order, None where there
    is none. The solve's own exception stays in the worker: the panic
    exception cannot be pickled."""

    def __init__(self, index: int, kind: str, message: str, results: Optional[Results] = None):
        super().__init__("instance %d: %s: %s" % (index, kind, message))
        self.index, self.kind, self.message, self.results = index, kind, message, results

    def __reduce__(self) -> Any:  # pickles with its fields, not with its text alone
        return type(self), (self.index, self.kind, self.message, self.results)


class WorkerDied(SolveError):
    """The worker process solving this instance died every time it was given
    the instance (RETRIES + 1 times), in solve_many's own pool; `kind` is
    "WorkerDied"."""


class BatchInterrupted(KeyboardInterrupt):
    """Ctrl-C during solve_many. The workers have been ended (for a pool of
    solve_many's own) or the outstanding solves cancelled (for a given
    executor); `results` holds every finished result in input order, None
    where a solve had not finished."""

    def __init__(self, results: Results):
        super().__init__("interrupted with %d of %d instances solved"
                         % (sum(r is not None for r in results), len(results)))
        self.results = results


def solve_one(instance: Instance, time_limit: Optional[int]) -> Dict[str, Any]:
    """Solve one instance and return it as plain data; a failure comes back
    as {"error": kind, "message": text} so that it crosses any process
    boundary. This is what runs in the workers."""
    if isinstance(instance, Mapping):
        return solve_plain((), instance, time_limit)
    return solve_plain(instance, {}, time_limit)


def _solve_inherited(batch: int, index: int, time_limit: Optional[int]) -> Dict[str, Any]:
    """solve_one for instance `index` of a batch a forked worker inherited."""
    return solve_one(_BATCHES[batch][index], time_limit)


def _end_workers(pool: ProcessPoolExecutor) -> None:
    """Stop the pool's processes now, running solves included (a solve does
    not look at signals, so waiting could take its whole time limit)."""
    terminate = getattr(pool, "terminate_workers", None)  # Python 3.14 and later
    if terminate is not None:
        terminate()
        return
    for process in list((getattr(pool, "_processes", None) or {}).values()):
        process.terminate()
    pool.shutdown(wait=True, cancel_futures=True)


def solve_many(instances: Iterable[Instance], time_limit: Optional[int] = None, *,
               processes: Optional[int] = None, executor: Optional[Executor] = None,
               progress: bool = False, store: Optional[Union[str, "os.PathLike[str]"]] = None
               ) -> List[Dict[str, Any]]:
    """Solve every instance (a dict of keyword arguments of tourloom.solve,
    or a sequence of its positional arguments, without the time limit) with
    `time_limit`, and return the results as result_to_dict gives them, in
    input order.

    - executor: run the solves there (a ProcessPoolExecutor, a Dask
      `client.get_executor()`, ...); solve_many neither starts nor shuts it.
    - processes: otherwise, the size of solve_many's own process pool
      (default: one per core); 1 solves in this process, one after another.
    - progress: a tqdm progress bar (the `kit` extra); with a store it
      starts at the number of results already stored.
    - store: a file (JSON lines, see tourloom_kit.store) that keeps every
      finished result as it arrives. Called again with the same instances,
      time limit and store, solve_many solves only what is not stored yet
      and returns the stored results unchanged. A store written for other
      instances or another time limit raises StoreError and is left as it
      was; a last line cut short (the writer killed mid-line) is dropped and
      that instance solved again. Failed solves are not stored.

    The first failing instance (in input order) raises SolveError once the
    instances before it are done, with the finished results in its
    `results`; Ctrl-C raises BatchInterrupted with the finished results.

    What survives what:

    - A worker of solve_many's own pool that dies (SIGKILL, the
      out-of-memory killer, a crash) costs no finished result: the instance
      it was solving is given to a fresh worker, at most RETRIES (2) times;
      the third death makes it a WorkerDied (a SolveError) in input order.
    - A given executor's failures are its own: a Dask cluster reruns the
      tasks of a dead worker on another one (up to its `allowed-failures`,
      3 by default) and then fails the task with KilledWorker; a given
      ProcessPoolExecutor fails every unfinished solve with
      BrokenProcessPool when any of its workers dies. Either failure is that
      instance's SolveError (kind "KilledWorker", "BrokenProcessPool"); the
      results finished before it are kept.
    - The driving process itself dying (a reboot, kill -9) loses only the
      solves that were running, with a store: call again to resume. Without
      one, everything is lost with it.
    """
    work = list(instances)
    ledger = _Ledger(work, time_limit, store, progress)
    try:
        todo = ledger.unsolved()
        size = processes or os.cpu_count() or 1
        if not todo:
            pass
        elif executor is None and size == 1:
            _solve_here(work, todo, time_limit, ledger)
        elif executor is None:
            _solve_on_own_pool(work, todo, time_limit, size, ledger)
        else:
            _solve_on(executor, work, todo, time_limit, ledger)
    except KeyboardInterrupt:
        raise BatchInterrupted(ledger.results) from None
    finally:
        ledger.close()
    ledger.raise_first_error()
    return ledger.results  # type: ignore[return-value]  # every slot is filled now


class _Ledger:
    """The results of one batch as they come in: kept in input order, written
    to the store, counted on the progress bar."""

    def __init__(self, work: List[Instance], time_limit: Optional[int],
                 store: Optional[Union[str, "os.PathLike[str]"]], progress: bool):
        self.results: Results = [None] * len(work)
        self.store = ResultStore(store, work, time_limit) if store is not None else None
        try:
            if self.store is not None:
                for index, result in self.store.results.items():
                    self.results[index] = result
            stored = len(work) - len(self.unsolved())
            self.bar = (require("tqdm", "kit").tqdm(total=len(work), initial=stored, unit="instance")
                        if progress else None)
        except BaseException:
            if self.store is not None:
                self.store.close()
            raise

    def unsolved(self) -> List[int]:
        return [index for index, result in enumerate(self.results) if result is None]

    def finish(self, index: int, result: Dict[str, Any]) -> None:
        self.results[index] = result
        if self.store is not None and "error" not in result:
            self.store.add(index, result)
        if self.bar is not None:
            self.bar.update(1)

    def first_error_settled(self) -> bool:
        """Whether some instance failed and every instance before it is done,
        so that the error to report is known."""
        for result in self.results:
            if result is None:
                return False
            if "error" in result:
                return True
        return False

    def raise_first_error(self) -> None:
        for index, result in enumerate(self.results):
            if result is not None and "error" in result:
                kind = WorkerDied if result["error"] == "WorkerDied" else SolveError
                raise kind(index, result["error"], result["message"], self.results)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()
        if self.store is not None:
            self.store.close()


def _solve_here(work: List[Instance], todo: List[int], time_limit: Optional[int], ledger: _Ledger) -> None:
    for index in todo:
        ledger.finish(index, solve_one(work[index], time_limit))
        if ledger.first_error_settled():
            return


def _solve_on(executor: Executor, work: List[Instance], todo: List[int], time_limit: Optional[int],
              ledger: _Ledger) -> None:
    position: Dict["Future[Dict[str, Any]]", int] = {}
    try:
        for index in todo:
            position[executor.submit(solve_one, work[index], time_limit)] = index
        pending = set(position)
        while pending:
            done, pending = wait(pending, return_when=FIRST_COMPLETED)
            for future in done:
                try:
                    result = future.result()
                except Exception as e:  # the executor's own failure: a dead worker, a lost cluster
                    result = failure_of(e)
                ledger.finish(position[future], result)
            if ledger.first_error_settled():
                return
    finally:
        for future in position:
            future.cancel()


def _worker_pool() -> ProcessPoolExecutor:
    # Workers are forked from this process, as on every Linux Python before
    # 3.14 (whose default became forkserver): a worker's parent must be the
    # driver, for stay_with_parent to tie it to the driver's life, and a
    # script calling solve_many needs no main-module guard.
    return ProcessPoolExecutor(max_workers=1, mp_context=multiprocessing.get_context("fork"),
                               initializer=stay_with_parent, initargs=(os.getpid(),))


def _solve_on_own_pool(work: List[Instance], todo: List[int], time_limit: Optional[int], size: int,
                       ledger: _Ledger) -> None:
    """Solve on `size` workers, each a pool of one process that is given one
    instance at a time, so that a broken pool names the instance whose
    worker died."""
    queue: Deque[int] = deque(todo)
    batch = next(_batch_numbers)
    _BATCHES[batch] = work  # before the first worker is forked
    deaths: Dict[int, int] = {}
    pools: List[Optional[ProcessPoolExecutor]] = [None] * min(size, len(todo))
    running: Dict["Future[Dict[str, Any]]", Tuple[int, int]] = {}  # future -> (worker slot, instance index)

    def submit(slot: int, index: int) -> None:
        for _ in range(2):  # a worker that died idle broke its pool without costing any instance
            pool = pools[slot]
            if pool is None:
                pool = pools[slot] = _worker_pool()
            try:
                running[pool.submit(_solve_inherited, batch, index, time_limit)] = (slot, index)
                return
            except BrokenProcessPool:
                pool.shutdown(wait=True)
                pools[slot] = None
        raise BrokenProcessPool("a fresh worker process died before it was given an instance")

    try:
        while queue or running:
            busy = {slot for slot, _ in running.values()}
            for slot in range(len(pools)):
                if slot not in busy and queue:
                    submit(slot, queue.popleft())
            done, _ = wait(running, return_when=FIRST_COMPLETED)
            for future in done:
                slot, index = running.pop(future)
                try:
                    result = future.result()
                except BrokenProcessPool:
                    pools[slot].shutdown(wait=True)  # type: ignore[union-attr]  # busy slots have a pool
                    pools[slot] = None
                    deaths[index] = deaths.get(index, 0) + 1
                    if deaths[index] <= RETRIES:
                        queue.appendleft(index)
                        continue
                    result = {"error": "WorkerDied",
                              "message": "the worker process solving it died %d times (killed from outside, "
                                         "by the out-of-memory killer say, or crashed)" % deaths[index]}
                ledger.finish(index, result)
            if ledger.first_error_settled():
                return
    finally:
        del _BATCHES[batch]  # every worker has its copy
        busy = {slot for slot, _ in running.values()}
        for slot, pool in enumerate(pools):
            if pool is None:
                continue
            if slot in busy:  # Ctrl-C, or the batch's error is known: no need to wait for these solves
                _end_workers(pool)
            else:
                pool.shutdown(wait=True)


__all__ = ["solve_many", "solve_one", "SolveError", "WorkerDied", "BatchInterrupted", "RETRIES"]

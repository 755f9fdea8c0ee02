"""Many instances at once: a pool of processes on this machine, or any
concurrent.futures.Executor (a Dask `Client.get_executor()`, a Ray pool)
for a cluster.

A solve holds the interpreter lock for its whole duration, so threads of one
interpreter run solves one after another; every worker here is a process
with its own interpreter. Results come back as the plain dictionaries of
result_to_dict, because the result object itself cannot be pickled.
"""

from __future__ import annotations

import os
import signal
from concurrent.futures import FIRST_COMPLETED, Executor, Future, ProcessPoolExecutor, wait
from typing import Any, Dict, Iterable, List, Mapping, Optional, Sequence, Union

from ._extras import require
from .results import result_to_dict

Instance = Union[Mapping[str, Any], Sequence[Any]]  # keyword or positional arguments of solve


class SolveError(Exception):
    """A solve of the batch failed. `index` is the instance's position,
    `kind` the name of the exception the solve raised (TypeError,
    PanicException, ...) and `message` its text. The solve's own exception
    stays in the worker: the panic exception cannot be pickled."""

    def __init__(self, index: int, kind: str, message: str):
        super().__init__("instance %d: %s: %s" % (index, kind, message))
        self.index, self.kind, self.message = index, kind, message


class BatchInterrupted(KeyboardInterrupt):
    """Ctrl-C during solve_many. The workers have been ended (for a pool of
    solve_many's own) or the outstanding solves cancelled (for a given
    executor); `results` holds every finished result in input order, None
    where a solve had not finished."""

    def __init__(self, results: List[Optional[Dict[str, Any]]]):
        super().__init__("interrupted with %d of %d instances solved"
                         % (sum(r is not None for r in results), len(results)))
        self.results = results


def solve_one(instance: Instance, time_limit: Optional[int]) -> Dict[str, Any]:
    """Solve one instance and return it as plain data; a failure comes back
    as {"error": kind, "message": text} so that it crosses any process
    boundary. This is what runs in the workers."""
    import tourloom

    try:
        if isinstance(instance, Mapping):
            result = tourloom.solve(**instance, time_limit=time_limit)
        else:
            result = tourloom.solve(*instance, time_limit=time_limit)
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as e:  # the panic exception derives from BaseException
        return {"error": type(e).__name__, "message": str(e)}
    return result_to_dict(result)


def _ignore_interrupts() -> None:
    # Ctrl-C reaches the whole process group. The parent alone answers it, by
    # ending the workers, so a worker must not die in the middle of sending
    # a result.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


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
               progress: bool = False) -> List[Dict[str, Any]]:
    """Solve every instance (a dict of keyword arguments of tourloom.solve,
    or a sequence of its positional arguments, without the time limit) with
    `time_limit`, and return the results as result_to_dict gives them, in
    input order.

    - executor: run the solves there (a ProcessPoolExecutor, a Dask
      `client.get_executor()`, ...); solve_many neither starts nor shuts it.
    - processes: otherwise, the size of solve_many's own process pool
      (default: one per core); 1 solves in this process, one after another.
    - progress: a tqdm progress bar (the `kit` extra).

    The first failing instance (in input order) raises SolveError once the
    instances before it are done; Ctrl-C raises BatchInterrupted with the
    finished results.
    """
    work = list(instances)
    results: List[Optional[Dict[str, Any]]] = [None] * len(work)
    bar = require("tqdm", "kit").tqdm(total=len(work), unit="instance") if progress else None
    try:
        if executor is None and (processes or os.cpu_count() or 1) == 1:
            _solve_here(work, time_limit, results, bar)
        elif executor is None:
            pool = ProcessPoolExecutor(max_workers=processes, initializer=_ignore_interrupts)
            try:
                _solve_on(pool, work, time_limit, results, bar)
            except BaseException:
                _end_workers(pool)
                raise
            pool.shutdown(wait=True)
        else:
            _solve_on(executor, work, time_limit, results, bar)
    except KeyboardInterrupt:
        raise BatchInterrupted(results) from None
    finally:
        if bar is not None:
            bar.close()
    _raise_first_error(results)
    return results  # type: ignore[return-value]  # every slot is filled now


def _solve_here(work: List[Instance], time_limit: Optional[int], results: List[Optional[Dict[str, Any]]],
                bar: Any) -> None:
    for index, instance in enumerate(work):
        results[index] = solve_one(instance, time_limit)
        if bar is not None:
            bar.update(1)
        if "error" in results[index]:  # type: ignore[operator]
            return


def _solve_on(executor: Executor, work: List[Instance], time_limit: Optional[int],
              results: List[Optional[Dict[str, Any]]], bar: Any) -> None:
    position: Dict[Future, int] = {}
    try:
        for index, instance in enumerate(work):
            position[executor.submit(solve_one, instance, time_limit)] = index
        pending = set(position)
        while pending:
            done, pending = wait(pending, return_when=FIRST_COMPLETED)
            for future in done:
                results[position[future]] = future.result()
                if bar is not None:
                    bar.update(1)
            if _first_error_settled(results):
                return
    finally:
        for future in position:
            future.cancel()


def _first_error_settled(results: List[Optional[Dict[str, Any]]]) -> bool:
    """Whether some instance failed and every instance before it is done,
    so that the error to report is known."""
    for result in results:
        if result is None:
            return False
        if "error" in result:
            return True
    return False


def _raise_first_error(results: List[Optional[Dict[str, Any]]]) -> None:
    for index, result in enumerate(results):
        if result is not None and "error" in result:
            raise SolveError(index, result["error"], result["message"])


__all__ = ["solve_many", "solve_one", "SolveError", "BatchInterrupted"]

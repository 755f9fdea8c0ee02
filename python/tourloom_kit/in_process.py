"""One solve that can be stopped: it runs in a child process of its own.

tourloom.solve holds the interpreter lock for its whole time limit and looks
at no signal, so in the calling process nothing else runs meanwhile (no
other thread, no Ctrl-C). Run in a child, the solve leaves the caller free:
its threads run on, and Ctrl-C or a timeout ends the child at once.
"""

from __future__ import annotations

import multiprocessing
import os
import signal
import time
from multiprocessing.connection import wait
from typing import Any, Dict, Mapping, Optional, Sequence

from ._children import stay_with_parent
from ._extras import require
from .plain_solve import exception_of, solve_plain

# The child is started afresh rather than forked: a fork of a process with
# threads (the web server's, the GUI's this is for) copies locks that some
# other thread held, and can hang the child.
_CONTEXT = "spawn"
_BAR_STEP = 0.2  # seconds between updates of the progress bar


def _child(answer: Any, parent: int, arguments: Sequence[Any], keywords: Mapping[str, Any],
           time_limit: Optional[int]) -> None:
    stay_with_parent(parent)
    answer.send(solve_plain(arguments, keywords, time_limit))
    answer.close()


def solve_in_process(*arguments: Any, time_limit: Optional[int] = None, timeout: Optional[float] = None,
                     progress: bool = False, **keywords: Any) -> Dict[str, Any]:
    """tourloom.solve(*arguments, **keywords, time_limit=time_limit), run in
    a child process, and its result as result_to_dict gives it.

    The calling process is free meanwhile: its other threads run, and Ctrl-C
    (KeyboardInterrupt in the waiting thread) ends the child at once and is
    raised. `timeout` (seconds of wall time, None: no timeout) ends the child
    and raises TimeoutError once it has passed; give a little more than
    `time_limit`, which a solve can overrun by one sweep of its search, plus
    the child's start (a fresh interpreter: a few tenths of a second).
    `progress` shows a tqdm bar over the time limit (the `kit` extra).

    A failing solve raises what a direct call raises, with the same message:
    TypeError, ValueError, OverflowError, ...; the panic comes back as
    tourloom_kit.PanicException, a stand-in of the same name that derives
    from BaseException too but pickles. The one line the panic writes to
    standard error comes from the child, on the same stream. A child that
    dies without an answer (killed from outside, by the out-of-memory
    killer say) raises ChildProcessError.

    Every argument is pickled into the child, and the child is a fresh
    interpreter that imports the caller's main module: a script calling
    this needs the `if __name__ == "__main__":` guard. An interpreter that
    cannot start its own executable (the 32-bit PyPy run under qemu-i386)
    cannot use this function; call tourloom.solve directly there.
    """
    context = multiprocessing.get_context(_CONTEXT)
    answer, answer_in_child = context.Pipe(duplex=False)
    child = context.Process(target=_child, name="tourloom solve",
                            args=(answer_in_child, os.getpid(), arguments, keywords, time_limit), daemon=True)
    bar = require("tqdm", "kit").tqdm(total=time_limit, unit="s", bar_format=_BAR_FORMAT) if progress else None
    started = time.monotonic()
    try:
        child.start()
        answer_in_child.close()  # so that the child's death reads as the end of the pipe
        plain = _wait_for(answer, child, started, timeout, bar)
    finally:
        if child.is_alive():  # Ctrl-C, the timeout, or any error while waiting
            child.kill()
        if child.pid is not None:
            child.join()
        answer.close()
        if bar is not None:
            bar.close()
    if "error" in plain:
        raise exception_of(plain)
    return plain


_BAR_FORMAT = "{l_bar}{bar}| {n:.0f}/{total_fmt} s"


def _wait_for(answer: Any, child: Any, started: float, timeout: Optional[float], bar: Any) -> Dict[str, Any]:
    while True:
        left = None if timeout is None else timeout - (time.monotonic() - started)
        if left is not None and left <= 0:
            raise TimeoutError("the solve did not finish within %g s; its process was ended" % timeout)
        step = left if bar is None else (_BAR_STEP if left is None else min(left, _BAR_STEP))
        ready = wait([answer, child.sentinel], timeout=step)
        if bar is not None:
            bar.n = min(time.monotonic() - started, bar.total or float("inf"))
            bar.refresh()
        if ready:  # the answer, or the child's end (then the pipe reads as closed)
            if answer.poll():
                try:
                    return answer.recv()  # type: ignore[no-any-return]
                except EOFError:
                    pass
            child.join()
            raise ChildProcessError("the solving process ended without an answer (%s)" % _ending(child.exitcode))


def _ending(exitcode: Optional[int]) -> str:
    if exitcode is not None and exitcode < 0:
        try:
            return "killed by %s" % signal.Signals(-exitcode).name
        except ValueError:
            return "killed by signal %d" % -exitcode
    return "exit code %s" % exitcode


__all__ = ["solve_in_process"]

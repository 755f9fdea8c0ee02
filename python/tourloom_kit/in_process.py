"""One solve that can be stopped: it runs in a child process of its own.

tourloom.solve holds the interpreter lock for its whole time limit and looks
at no signal, so in the calling process nothing else runs meanwhile (no
other thread, no Ctrl-C). Run in a child, the solve leaves the caller free:
its threads run on, and Ctrl-C or a timeout ends the child at once.
"""

from __future__ import annotations

import os
import pickle
import signal
import subprocess
import sys
import time
from typing import Any, Dict, Optional

from ._extras import require
from ._solve_child import BOOT
from .plain_solve import exception_of

_BAR_STEP = 0.2  # seconds between updates of the progress bar
_BAR_FORMAT = "{l_bar}{bar}| {n:.0f}/{total_fmt} s"


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

    The child is a fresh interpreter (sys.executable), not a fork: a fork
    of a process with threads (the web server's, the GUI's this is for)
    copies locks other threads held and can hang. It imports tourloom from
    the caller's sys.path and nothing of the caller's program, and every
    argument is pickled into it. It ends when the caller dies, on Linux. An
    interpreter that cannot start its own executable (the 32-bit PyPy run
    under qemu-i386 on a kernel that cannot run i386 programs itself)
    cannot use this function: the start fails (OSError "Exec format error")
    or the child does (ChildProcessError); call tourloom.solve directly
    there.
    """
    payload = (pickle.dumps(sys.path, protocol=pickle.HIGHEST_PROTOCOL)
               + pickle.dumps((arguments, keywords, time_limit), protocol=pickle.HIGHEST_PROTOCOL))
    bar = require("tqdm", "kit").tqdm(total=time_limit, unit="s", bar_format=_BAR_FORMAT) if progress else None
    started = time.monotonic()
    try:
        # A session of its own: a terminal's Ctrl-C reaches the caller alone,
        # which ends the child, and not a child still starting up (which
        # would print a traceback of its own).
        child = subprocess.Popen([sys.executable, "-c", BOOT, str(os.getpid())], stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, start_new_session=True)
        try:
            answer = _wait_for(child, payload, started, timeout, bar)
        finally:
            # Ctrl-C, the timeout, or any error while waiting: end the child
            # now (its solve looks at no signal), and in every case reap it.
            if child.poll() is None:
                child.kill()
            child.wait()
            for stream in (child.stdin, child.stdout):
                stream.close()  # type: ignore[union-attr]  # both are pipes
    finally:
        if bar is not None:
            bar.close()
    if not answer or child.returncode != 0:
        raise ChildProcessError("the solving process ended without an answer (%s)" % _ending(child.returncode))
    plain: Dict[str, Any] = pickle.loads(answer)
    if "error" in plain:
        raise exception_of(plain)
    return plain


def _wait_for(child: "subprocess.Popen[bytes]", payload: bytes, started: float, timeout: Optional[float],
              bar: Any) -> bytes:
    """The child's whole output, once it has ended."""
    given: Optional[bytes] = payload
    while True:
        left = None if timeout is None else timeout - (time.monotonic() - started)
        if timeout is not None and left is not None and left <= 0:
            raise TimeoutError("the solve did not finish within %g s; its process was ended" % timeout)
        step = left if bar is None else (_BAR_STEP if left is None else min(left, _BAR_STEP))
        try:
            # Called again after a step, communicate goes on sending the
            # input it was given first and loses no output.
            out, _ = child.communicate(given, timeout=step)
            return out
        except subprocess.TimeoutExpired:
            given = None
        finally:
            if bar is not None:
                bar.n = min(time.monotonic() - started, bar.total or float("inf"))
                bar.refresh()


def _ending(exitcode: Optional[int]) -> str:
    if exitcode is not None and exitcode < 0:
        try:
            return "killed by %s" % signal.Signals(-exitcode).name
        except ValueError:
            return "killed by signal %d" % -exitcode
    return "exit code %s" % exitcode


__all__ = ["solve_in_process"]

"""What every solving process the kit starts does first: forget the
import locks a fork inherits, leave Ctrl-C to its parent, and end when its
parent ends."""

from __future__ import annotations

import os
import signal
import sys

_PR_SET_PDEATHSIG = 1  # <linux/prctl.h>


def forget_import_locks() -> None:
    """Drop importlib's per-module locks, as a fresh interpreter has none. A
    forked process has the forking thread alone: a lock that another thread
    of the parent held at the fork (while importing, or, on PyPy, while
    pickling: its pickle module imports the module of every class it writes
    or reads, under that module's lock) is held by nobody here, and the
    first import of that module, the first call read from the pool say,
    would wait for it for ever. Later imports make fresh locks."""
    locks = getattr(sys.modules.get("_frozen_importlib"), "_module_locks", None)
    if isinstance(locks, dict):
        locks.clear()


def stay_with_parent(parent: int) -> None:
    """Forget the import locks inherited from a fork (above). Ignore Ctrl-C,
    which reaches the whole process group: the parent alone answers it, by
    ending its children, so that a child does not die in the
    middle of sending a result. And ask Linux to kill this process when the
    parent dies (SIGKILLed, say): a solve looks at no signal and would
    otherwise run on, orphaned, to the end of its time limit, and a pool
    worker would then wait for work forever. Elsewhere the second part is
    skipped. `parent` is the pid of the process that started this one.

    Linux sends the signal when the *thread* that started the process ends:
    the kit starts its solving processes from the thread that waits for
    them, which outlives them."""
    forget_import_locks()
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        import ctypes

        libc = ctypes.CDLL(None, use_errno=True)
        if libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0) != 0:
            return
    except (OSError, AttributeError):
        return
    if os.getppid() != parent:  # the parent died before the request was made
        os._exit(1)


__all__ = ["stay_with_parent"]

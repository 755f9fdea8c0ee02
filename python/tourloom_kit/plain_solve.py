"""One solve as plain data, so that it crosses a process boundary: the
result as result_to_dict gives it, or the failure as
{"error": kind, "message": text}; and such a failure turned back into the
exception a direct call would have raised.

The module's panic exception cannot be pickled (its class lives in the
module's runtime, not in an importable place), so a failure travels as its
kind and message and the caller's side raises it again: builtin kinds as
themselves, the panic as the PanicException of this module.
"""

from __future__ import annotations

import builtins
from typing import Any, Dict, Mapping, Optional, Sequence

from .results import result_to_dict


class PanicException(BaseException):
    """Stand-in for tourloom's own PanicException when the solve ran in
    another process: the same class name and message, and like the original
    it derives from BaseException (not Exception), but this one pickles and
    can be named (`tourloom_kit.PanicException`). Code that recognises the
    panic by `type(error).__name__ == "PanicException"` treats both alike."""


def failure_of(error: BaseException) -> Dict[str, str]:
    """An exception as plain data: its class name and its text."""
    return {"error": type(error).__name__, "message": str(error)}


def solve_plain(arguments: Sequence[Any], keywords: Mapping[str, Any], time_limit: Optional[int]) -> Dict[str, Any]:
    """tourloom.solve(*arguments, **keywords, time_limit=time_limit) as plain
    data: the result, or its failure (see failure_of). Ctrl-C and exit
    requests are not failures of the solve and propagate."""
    import tourloom

    try:
        # A limit among the positional arguments (a sixth one) fails as a direct call given it twice does.
        result = tourloom.solve(*arguments, **keywords, time_limit=time_limit)  # type: ignore[misc]
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as e:  # the panic exception derives from BaseException
        return failure_of(e)
    return result_to_dict(result)


def exception_of(failure: Mapping[str, str]) -> BaseException:
    """The exception a failure stands for: a builtin exception class of that
    name with the same message (TypeError, ValueError, OverflowError,
    MemoryError, ...), PanicException (above) for the panic, and for any
    other kind (an exception class of the caller's own, raised while an
    argument was read) a RuntimeError naming the kind."""
    kind, message = failure["error"], failure["message"]
    if kind == "PanicException":
        return PanicException(message)
    known = getattr(builtins, kind, None)
    if isinstance(known, type) and issubclass(known, BaseException):
        return known(message)
    return RuntimeError("%s: %s" % (kind, message))


__all__ = ["PanicException", "failure_of", "solve_plain", "exception_of"]

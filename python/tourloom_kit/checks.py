"""Advice on the inputs of `tourloom.solve`, before calling it.

tourloom.solve takes its inputs as they are: a ragged matrix, a short list
or a window that opens after it closes are not refused up front, and some
of them end the call with a PanicException deep inside the search. Units
are the other common trap: windows are Unix seconds (not milliseconds) and
operating hours are seconds after midnight (not hours). check_inputs looks
for all of that and says where, in plain sentences; it changes nothing and
solve itself behaves the same whether or not it was called.

The rules are tourloom_kit.inputs', which tourloom_kit.solve acts on: what
check_inputs reports there converts, warns or refuses.
"""

from __future__ import annotations

from typing import Any, List

from .inputs import normalise


def check_inputs(distance_matrix: Any, duration_matrix: Any = None, job_durations: Any = None,
                 time_windows: Any = None, operation_times: Any = None, time_limit: Any = None) -> List[str]:
    """Advice on solve's arguments, one sentence each naming the argument
    (and the row or location); an empty list when nothing looks wrong.
    Advice only: it raises nothing and changes nothing. tourloom_kit.solve
    acts on the same findings (converts, warns or raises)."""
    found = normalise(distance_matrix, duration_matrix, job_durations, time_windows, operation_times, time_limit)
    return [str(finding) for finding in found.findings]


__all__ = ["check_inputs"]

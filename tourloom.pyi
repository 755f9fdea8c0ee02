"""Type information for the native module `tourloom`: a Traveling Salesman
Problem with Time Windows solver.

All integers are unsigned 64-bit values (0 <= v < 2**64). Times are whole
seconds: time windows as Unix times (UTC), operating hours as seconds after
midnight, durations as spans. A negative figure (a date before 1970) comes
back as its two's complement, v + 2**64, just as such dates go in.
"""

from typing import ClassVar, Optional, Sequence, Tuple, Union, final

__all__ = ["solve", "PyOutput"]

_Window = Tuple[int, int]
_Matrix = Sequence[Sequence[int]]

def solve(
    distance_matrix: _Matrix,
    duration_matrix: Optional[_Matrix] = None,
    job_durations: Optional[Sequence[int]] = None,
    time_windows: Optional[Sequence[Sequence[Tuple[int, int]]]] = None,
    operation_times: Optional[Tuple[int, int]] = None,
    time_limit: Optional[int] = None,
) -> PyOutput:
    """Solving the Traveling Salesman Problem with Time Windows."""

@final
class PyOutput:
    """The best closed tour found and its figures (read-only).

    The time attributes and `schedule` are None together, exactly when the
    solve ran without a time model (duration_matrix, job_durations and
    time_windows are all needed for one).
    """

    @property
    def distance(self) -> int: ...
    @property
    def route(self) -> list[int]: ...
    @property
    def lateness(self) -> Optional[int]: ...
    @property
    def duration(self) -> Optional[int]: ...
    @property
    def working_time(self) -> Optional[int]: ...
    @property
    def waiting_time(self) -> Optional[int]: ...
    @property
    def traveling_time(self) -> Optional[int]: ...
    @property
    def start_time(self) -> Optional[int]: ...
    @property
    def end_time(self) -> Optional[int]: ...
    @property
    def iterations(self) -> int: ...
    @property
    def time_taken_microseconds(self) -> int: ...
    @property
    def schedule(self) -> Optional[list[Union[PyEvent_Work, PyEvent_Wait, PyEvent_Travel]]]: ...

# The classes below are not attributes of the module: they are reached
# through the objects `PyOutput.schedule` returns.

class PyEvent:
    """A schedule entry; dispatch on its class (`PyEvent.Work`, ...)."""

    Work: ClassVar[type[PyEvent_Work]]
    Wait: ClassVar[type[PyEvent_Wait]]
    Travel: ClassVar[type[PyEvent_Travel]]

@final
class PyEvent_Work(PyEvent):
    __match_args__ = ("_0",)
    def __new__(cls, _0: PyWork) -> PyEvent_Work: ...
    @property
    def _0(self) -> PyWork: ...
    def __len__(self) -> int: ...
    def __getitem__(self, idx: int) -> PyWork: ...

@final
class PyEvent_Wait(PyEvent):
    __match_args__ = ("_0",)
    def __new__(cls, _0: PyWait) -> PyEvent_Wait: ...
    @property
    def _0(self) -> PyWait: ...
    def __len__(self) -> int: ...
    def __getitem__(self, idx: int) -> PyWait: ...

@final
class PyEvent_Travel(PyEvent):
    __match_args__ = ("_0",)
    def __new__(cls, _0: PyTravel) -> PyEvent_Travel: ...
    @property
    def _0(self) -> PyTravel: ...
    def __len__(self) -> int: ...
    def __getitem__(self, idx: int) -> PyTravel: ...

@final
class PyWork:
    """Work at `location` during `window` (start, end), Unix seconds."""

    @property
    def location(self) -> int: ...
    @property
    def window(self) -> _Window: ...

@final
class PyWait:
    """Waiting during `window` (start, end), Unix seconds."""

    @property
    def window(self) -> _Window: ...

@final
class PyTravel:
    """Travelling during `window` (start, end), Unix seconds."""

    @property
    def window(self) -> _Window: ...

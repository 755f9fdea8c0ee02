"""Type information for the native module `tourloom`: a Traveling Salesman
Problem with Time Windows solver.

All integers are unsigned 64-bit values (0 <= v < 2**64). Times are whole
seconds: time windows as Unix times (UTC), operating hours as seconds after
midnight, durations as spans. A negative figure (a date before 1970) comes
back as its two's complement, v + 2**64, just as such dates go in.
"""

from typing import (
    Any,
    ClassVar,
    Iterator,
    Optional,
    Protocol,
    SupportsIndex,
    Tuple,
    TypeVar,
    Union,
    final,
    type_check_only,
)

__all__ = ["solve", "PyOutput"]

_T_co = TypeVar("_T_co", covariant=True)

@type_check_only
class _SequenceLike(Protocol[_T_co]):
    """What `solve` takes as a list: an object that passes the sequence check
    (it has `__getitem__`) and is read by iterating it. `list`, `tuple`,
    `range` and numpy arrays are; a `str` is refused at run time."""

    def __getitem__(self, index: int, /) -> Any: ...
    def __iter__(self) -> Iterator[_T_co]: ...

_Int = SupportsIndex
_Pair = Tuple[_Int, _Int]
_Matrix = _SequenceLike[_SequenceLike[_Int]]
_Window = Tuple[int, int]

def solve(
    distance_matrix: _Matrix,
    duration_matrix: Optional[_Matrix] = None,
    job_durations: Optional[_SequenceLike[_Int]] = None,
    time_windows: Optional[_SequenceLike[_SequenceLike[_Pair]]] = None,
    operation_times: Optional[_Pair] = None,
    time_limit: Optional[_Int] = None,
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
    def distance(self) -> int:
        """Total distance of the closed tour (the last location returns to the first), in the unit of
        `distance_matrix`; the sum wraps modulo 2**64."""
    @property
    def route(self) -> list[int]:
        """The visiting order: a permutation of 0 .. n - 1 (n = rows of `distance_matrix`). The tour is
        closed and need not start at 0. A new list at every read."""
    @property
    def lateness(self) -> Optional[int]:
        """Seconds, summed over locations, by which work finished after the end of the location's
        last window (the last of its list); 0 when every stop is in time."""
    @property
    def duration(self) -> Optional[int]:
        """Seconds from `start_time` to `end_time`: `working_time` + `waiting_time` +
        `traveling_time`."""
    @property
    def working_time(self) -> Optional[int]:
        """Seconds spent working at the locations (`job_durations`)."""
    @property
    def waiting_time(self) -> Optional[int]:
        """Seconds spent waiting: for a window to open, for a later window (deferral) and for the
        daily opening."""
    @property
    def traveling_time(self) -> Optional[int]:
        """Seconds spent travelling (`duration_matrix`), the way back to the first location included."""
    @property
    def start_time(self) -> Optional[int]:
        """Unix seconds (UTC) at which the tour starts: the start of the first window, in list order,
        of `route[0]`."""
    @property
    def end_time(self) -> Optional[int]:
        """Unix seconds (UTC) at which the tour is back at `route[0]`."""
    @property
    def iterations(self) -> int:
        """Number of descents the search began."""
    @property
    def time_taken_microseconds(self) -> int:
        """Wall-clock time of the search, in whole microseconds."""
    @property
    def schedule(self) -> Optional[list[Union[PyOutput._PyEvent_Work, PyOutput._PyEvent_Wait, PyOutput._PyEvent_Travel]]]:
        """The tour's work, wait and travel events in time order; consecutive windows meet, from
        `start_time` to `end_time`. Work cut by the daily closing is several events; zero-length work
        or travel has none. A new list of new objects at every read."""

    # The schedule's classes. At run time they are not attributes of the
    # module (nor of PyOutput): they are reached through the objects
    # `schedule` returns, e.g. `event.Work` or `type(event)`, and their
    # `__name__` is the name below without the underscore. They are declared
    # here, private, so that a type checker knows them and yet refuses
    # `from tourloom import PyEvent`, which would fail at run time.

    class _PyEvent:
        """A schedule entry; dispatch on its class (`event.Work`, ...)."""

        Work: ClassVar[type[PyOutput._PyEvent_Work]]
        Wait: ClassVar[type[PyOutput._PyEvent_Wait]]
        Travel: ClassVar[type[PyOutput._PyEvent_Travel]]

    @final
    class _PyEvent_Work(_PyEvent):
        """A work event (`__name__` "PyEvent_Work"); its payload is `_0`, also `event[0]`."""

        __match_args__ = ("_0",)
        def __new__(cls, _0: PyOutput._PyWork) -> PyOutput._PyEvent_Work: ...
        @property
        def _0(self) -> PyOutput._PyWork: ...
        def __len__(self) -> int: ...
        def __getitem__(self, idx: _Int) -> PyOutput._PyWork: ...

    @final
    class _PyEvent_Wait(_PyEvent):
        """A wait event (`__name__` "PyEvent_Wait"); its payload is `_0`, also `event[0]`."""

        __match_args__ = ("_0",)
        def __new__(cls, _0: PyOutput._PyWait) -> PyOutput._PyEvent_Wait: ...
        @property
        def _0(self) -> PyOutput._PyWait: ...
        def __len__(self) -> int: ...
        def __getitem__(self, idx: _Int) -> PyOutput._PyWait: ...

    @final
    class _PyEvent_Travel(_PyEvent):
        """A travel event (`__name__` "PyEvent_Travel"); its payload is `_0`, also `event[0]`."""

        __match_args__ = ("_0",)
        def __new__(cls, _0: PyOutput._PyTravel) -> PyOutput._PyEvent_Travel: ...
        @property
        def _0(self) -> PyOutput._PyTravel: ...
        def __len__(self) -> int: ...
        def __getitem__(self, idx: _Int) -> PyOutput._PyTravel: ...

    @final
    class _PyWork:
        """Work at `location` during `window` (start, end), Unix seconds."""

        @property
        def location(self) -> int:
            """The location worked at."""
        @property
        def window(self) -> _Window:
            """(start, end) in Unix seconds; a new tuple at every read."""

    @final
    class _PyWait:
        """Waiting during `window` (start, end), Unix seconds."""

        @property
        def window(self) -> _Window: ...

    @final
    class _PyTravel:
        """Travelling during `window` (start, end), Unix seconds."""

        @property
        def window(self) -> _Window: ...

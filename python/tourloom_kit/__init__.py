"""What goes with tourloom.solve in a data workflow: input advice, results
as plain data and tables, schedule charts, batches over processes or a
cluster, and readers of the classic instance files.

    from tourloom_kit import solve, check_inputs, solve_many, schedule_frame

Nothing here needs more than tourloom itself to import. The functions that
do need more name the extra that brings it: `pip install 'tourloom[kit]'`
(tsplib95, pandas, tqdm) and `pip install 'tourloom[plot]'` (matplotlib).

tourloom_kit.solve is tourloom.solve behind a forgiving front door: it
converts natural Python data, refuses what would panic with an error naming
the argument, and warns about suspicious units (front_door, inputs).

Modules: checks (check_inputs), results (result_to_dict, schedule_rows,
schedule_frame, rotate_to), lateness (explain_lateness: why a tour is
late), plotting (plot_schedule), batch (solve_many),
store (the file that lets solve_many resume), in_process (solve_in_process:
one solve in a child process, which can be stopped),
tsptw (classic time-window files, their model for solve and the classic
replay), tsplib (TSPLIB files through tsplib95).
"""

from . import tsplib, tsptw
from ._extras import MissingExtra
from .batch import BatchInterrupted, SolveError, WorkerDied, solve_many
from .checks import check_inputs
from .front_door import solve
from .in_process import solve_in_process
from .inputs import UnitsWarning
from .lateness import AlwaysLateStop, LateStop, LatenessReport, explain_lateness
from .plain_solve import PanicException
from .plotting import plot_schedule
from .results import result_to_dict, rotate_to, schedule_frame, schedule_rows
from .store import StoreError
from .tsptw import FormatError

__all__ = ["solve", "check_inputs", "result_to_dict", "schedule_rows", "schedule_frame", "rotate_to",
           "plot_schedule", "solve_many", "SolveError", "BatchInterrupted", "MissingExtra",
           "UnitsWarning", "FormatError", "tsptw", "tsplib",
           "explain_lateness", "LatenessReport", "LateStop", "AlwaysLateStop",
           "WorkerDied", "StoreError", "solve_in_process", "PanicException"]

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
schedule_frame, rotate_to), plotting (plot_schedule), batch (solve_many),
tsptw (classic time-window files, their model for solve and the classic
replay), tsplib (TSPLIB files through tsplib95).
"""

from . import tsplib, tsptw
from ._extras import MissingExtra
from .batch import BatchInterrupted, SolveError, solve_many
from .checks import check_inputs
from .front_door import solve
from .inputs import UnitsWarning
from .plotting import plot_schedule
from .results import result_to_dict, rotate_to, schedule_frame, schedule_rows
from .tsptw import FormatError

__all__ = ["check_inputs", "result_to_dict", "schedule_rows", "schedule_frame", "rotate_to", "plot_schedule",
           "solve_many", "SolveError", "BatchInterrupted", "MissingExtra"]
__all__ += ["solve", "UnitsWarning", "FormatError", "tsptw", "tsplib"]

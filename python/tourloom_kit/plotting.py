"""A schedule as a Gantt chart (matplotlib): one row per stop in visiting
order with the travel to it, any waiting there and the work; midnights
marked, and hours outside the daily operating hours shaded."""

from __future__ import annotations

import datetime as dt
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

from ._extras import require
from .results import ResultLike, schedule_rows

COLOURS = {"work": "tab:blue", "travel": "tab:orange", "wait": "#bbbbbb"}
CLOSED = "#1f3b73"


def gantt_rows(result: ResultLike, name: Callable[[int], str] = str) -> List[Tuple[str, List[Dict[str, Any]]]]:
    """(label, schedule rows) per chart row. Travel and waiting go on the
    row of the stop they lead to; work cut by a closing hour (several work
    entries in a row) stays on one row; the way back gets a row of its own."""
    chart: List[Tuple[str, List[Dict[str, Any]]]] = []
    pending: List[Dict[str, Any]] = []
    last = None
    for row in schedule_rows(result):
        if row["kind"] != "work":
            pending.append(row)
            continue
        if row["location"] != last:
            last = row["location"]
            chart.append(("%d. %s" % (len(chart) + 1, name(last)), []))
        chart[-1][1].extend(pending + [row])
        pending = []
    if pending:
        chart.append(("back at %s" % name(pending[-1]["stop"]), pending))
    return chart


def _when(unix_seconds: int) -> dt.datetime:
    return dt.datetime.fromtimestamp(unix_seconds, dt.timezone.utc)


def plot_schedule(result: ResultLike, ax: Any = None, names: Optional[Sequence[str]] = None,
                  operation_times: Optional[Tuple[int, int]] = None, title: Optional[str] = None) -> Any:
    """Draw the schedule of a result (a PyOutput or result_to_dict's
    dictionary) and return the matplotlib Axes. `names` labels the
    locations (default: their indices); `operation_times` (the solve's
    daily hours, seconds after midnight UTC) shades the closed hours. Draws
    into `ax` when given, else into a new figure. Needs matplotlib (the
    `plot` extra). ValueError for a result without a time model."""
    require("matplotlib", "plot")
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    name: Callable[[int], str] = (lambda i: names[i]) if names is not None else str  # type: ignore[index]
    chart = gantt_rows(result, name)
    if not chart:
        raise ValueError("the result has no schedule (solve ran without a time model, or every time was zero)")
    if ax is None:
        _, ax = plt.subplots(figsize=(11, 0.45 * len(chart) + 2.2))
    for y, (_, bars) in enumerate(chart):
        for bar in bars:
            ax.broken_barh([(mdates.date2num(_when(bar["start"])), bar["seconds"] / 86400)], (y - 0.35, 0.7),
                           facecolors=COLOURS[bar["kind"]], edgecolor="black", linewidth=0.4)
    first = _when(min(bar["start"] for _, bars in chart for bar in bars))
    last = _when(max(bar["end"] for _, bars in chart for bar in bars))
    day = first.replace(hour=0, minute=0, second=0, microsecond=0)
    legend = [Patch(color=COLOURS[k], label=k) for k in ("work", "travel", "wait")]
    if operation_times is not None:
        opening, closing = (dt.timedelta(seconds=s) for s in operation_times)
        shade = day - dt.timedelta(days=1)
        while shade <= last:
            ax.axvspan(shade + closing, shade + dt.timedelta(days=1) + opening, color=CLOSED, alpha=0.08, lw=0)
            shade += dt.timedelta(days=1)
        legend.append(Patch(color=CLOSED, alpha=0.15, label="closed (outside %s-%s UTC)" % tuple(
            "%02d:%02d" % divmod(s // 60, 60) for s in operation_times)))
    midnight = day + dt.timedelta(days=1)
    while midnight < last:
        ax.axvline(midnight, color="black", linestyle="--", linewidth=1)
        ax.text(midnight, -0.75, " midnight, %s" % midnight.strftime("%a %d %b"), fontsize=9, va="center")
        midnight += dt.timedelta(days=1)
    ax.set_xlim(first - dt.timedelta(minutes=30), last + dt.timedelta(minutes=30))
    ax.set_ylim(len(chart) - 0.4, -1.1)
    ax.set_yticks(range(len(chart)))
    ax.set_yticklabels([label for label, _ in chart])
    ax.xaxis.set_major_locator(mdates.HourLocator(byhour=range(0, 24, 2), tz=dt.timezone.utc))
    ax.xaxis.set_major_formatter(mdates.DateFormatter("%a\n%H:%M", tz=dt.timezone.utc))
    ax.grid(axis="x", alpha=0.3)
    ax.legend(handles=legend, loc="upper center", bbox_to_anchor=(0.5, -0.13), fontsize=9, ncol=len(legend),
              frameon=False)
    if title is not None:
        ax.set_title(title, fontsize=11)
    return ax


__all__ = ["plot_schedule", "gantt_rows"]

"""A schedule as a Gantt chart (matplotlib): one row per stop in visiting
order with the travel to it, any waiting there and the work; midnights
marked, and hours outside the daily operating hours shaded. The time axis
is UTC, with dates that stay readable from hours to weeks; the figure grows
with the number of stops up to a readable limit, and `period` shows a part
of a long round."""

from __future__ import annotations

import datetime as dt
import math
from typing import Any, Callable, Dict, List, Mapping, Optional, Sequence, Tuple, Union

from ._extras import require
from .results import ResultLike, schedule_rows

COLOURS = {"work": "tab:blue", "travel": "tab:orange", "wait": "#bbbbbb"}
CLOSED = "#1f3b73"
# Row height in inches: roomy for a few stops, down to what a 7-point label
# still needs for a hundred; beyond the tallest figure only every k-th row
# is labelled.
ROOMY_ROW, TIGHT_ROW, TALLEST = 0.45, 0.17, 24.0
Moment = Union[int, dt.datetime]


def gantt_rows(result: ResultLike, name: Callable[[int], str] = lambda i: "stop %d" % i
               ) -> List[Tuple[str, List[Dict[str, Any]]]]:
    """(label, schedule rows) per chart row. Travel and waiting go on the
    row of the stop they lead to; work cut by a closing hour (several work
    entries in a row) stays on one row; the way back gets a row of its own.
    Labels are "position. name", names "stop N" by default."""
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


def _unix(moment: Moment, what: str) -> int:
    if isinstance(moment, dt.datetime):
        if moment.utcoffset() is None:
            raise ValueError("period: %s is a naive datetime; give an aware one (tzinfo=datetime.timezone.utc)"
                             % what)
        return int(moment.timestamp())
    return int(moment)


def _namer(result: ResultLike, names: Optional[Union[Sequence[str], Mapping[int, str]]]) -> Callable[[int], str]:
    if names is None:
        return lambda i: "stop %d" % i
    route = result["route"] if isinstance(result, Mapping) else result.route
    missing = [i for i in route if (i not in names if isinstance(names, Mapping) else i >= len(names))]
    if missing:
        raise ValueError("names: %d names for a route that visits location %d; give one name per location "
                         "(a list indexed by location, or a dict)" % (len(names), max(missing)))
    return lambda i: str(names[i])


def _size(rows: int, days: float) -> Tuple[float, float, float]:
    """(width, height, label font size) for this many rows and days."""
    per_row = max(TIGHT_ROW, min(ROOMY_ROW, 6.5 / max(rows, 1)))
    height = min(TALLEST, per_row * rows + 2.4)
    width = min(20.0, max(11.0, 8.0 + 2.0 * days))
    return width, height, max(6.5, min(9.0, per_row * 40))


def plot_schedule(result: ResultLike, ax: Any = None, names: Optional[Union[Sequence[str], Mapping[int, str]]] = None,
                  operation_times: Optional[Tuple[int, int]] = None, title: Optional[str] = None,
                  period: Optional[Tuple[Moment, Moment]] = None) -> Any:
    """Draw the schedule of a result (a PyOutput or result_to_dict's
    dictionary) and return the matplotlib Axes.

    `names` labels the locations (a list indexed by location, or a dict;
    default "stop N"); ValueError when a visited location has no name.
    `operation_times` (the solve's daily hours, seconds after midnight UTC)
    shades the closed hours. `period` = (start, end), Unix seconds or aware
    datetimes, shows only that stretch and the rows with something in it:
    one day of a week-long round, say.

    Without `ax`, a new figure is made, sized by the number of rows (up to
    24 inches tall; beyond about 130 rows only every k-th row is labelled)
    and the number of days, with a constrained layout so that a plain
    savefig keeps the legend and labels. Given `ax`, the figure is the
    caller's (use layout="constrained" or bbox_inches="tight" there). The
    time axis is UTC. Needs matplotlib (the `plot` extra). ValueError for a
    result without a time model."""
    require("matplotlib", "plot")
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    chart = gantt_rows(result, _namer(result, names))
    if not chart:
        raise ValueError("the result has no schedule (solve ran without a time model, or every time was zero)")
    if period is not None:
        start, end = _unix(period[0], "its start"), _unix(period[1], "its end")
        if start >= end:
            raise ValueError("period: (start, end) with start before end, got %r" % (period,))
        chart = [(label, [b for b in bars if b["end"] > start and b["start"] < end]) for label, bars in chart]
        chart = [(label, bars) for label, bars in chart if bars]
        if not chart:
            raise ValueError("period: nothing in the schedule falls between %s and %s"
                             % (_when(start), _when(end)))
    first = _when(min(bar["start"] for _, bars in chart for bar in bars))
    last = _when(max(bar["end"] for _, bars in chart for bar in bars))
    if period is not None:
        first, last = max(first, _when(start)), min(last, _when(end))
    width, height, font = _size(len(chart), (last - first).total_seconds() / 86400)
    if ax is None:
        figure = plt.figure(figsize=(width, height), constrained_layout=True)
        ax = figure.add_subplot()
    for y, (_, bars) in enumerate(chart):
        for bar in bars:
            ax.broken_barh([(mdates.date2num(_when(bar["start"])), bar["seconds"] / 86400)], (y - 0.35, 0.7),  # type: ignore[no-untyped-call]
                           facecolors=COLOURS[bar["kind"]], edgecolor="black", linewidth=0.4)
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
    # Over more than a few days the date axis names the days; labels at
    # every midnight would only crowd the first rows.
    named = (last - first) <= dt.timedelta(days=4)
    while midnight < last:
        ax.axvline(midnight, color="black", linestyle="--", linewidth=1)
        if named:
            ax.text(midnight, -0.75, " midnight, %s" % midnight.strftime("%a %d %b"), fontsize=8, va="center")
        midnight += dt.timedelta(days=1)
    margin = max(dt.timedelta(minutes=10), (last - first) / 60)
    ax.set_xlim(first - margin, last + margin)
    ax.set_ylim(len(chart) - 0.4, -1.1)
    step = max(1, math.ceil(len(chart) * TIGHT_ROW / (TALLEST - 2.4)))
    ax.set_yticks(range(0, len(chart), step))
    ax.set_yticklabels([label for label, _ in chart][::step], fontsize=font)
    locator = mdates.AutoDateLocator(tz=dt.timezone.utc, minticks=4, maxticks=12)  # type: ignore[no-untyped-call]
    ax.xaxis.set_major_locator(locator)
    ax.xaxis.set_major_formatter(mdates.ConciseDateFormatter(locator, tz=dt.timezone.utc))  # type: ignore[no-untyped-call]
    ax.set_xlabel("time (UTC)")
    ax.grid(axis="x", alpha=0.3)
    # Above the rows, inside the axes' own box: a constrained layout (or
    # bbox_inches="tight") keeps it in the saved figure.
    ax.legend(handles=legend, loc="lower left", bbox_to_anchor=(0, 1.0), fontsize=9, ncol=len(legend),
              frameon=False, borderaxespad=0.2)
    if title is not None:
        ax.set_title(title, fontsize=11, loc="right")
    return ax


__all__ = ["plot_schedule", "gantt_rows"]

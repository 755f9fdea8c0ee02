"""A two-day service round solved with tourloom, and its schedule drawn as a
Gantt chart: one row per stop in visiting order, with the travel to it, any
waiting there, and the work; closed hours are shaded and midnight marked.

    python examples/plot_schedule.py                         # schedule.png, 2 s of search
    python examples/plot_schedule.py --output round.png --time-limit 5

The picture needs matplotlib (`pip install matplotlib`, or tourloom's
`plot` extra); without it the schedule is printed and the picture skipped.
"""

import argparse
import datetime as dt
import math
import sys

import tourloom

DAY1 = dt.datetime(2024, 3, 18, tzinfo=dt.timezone.utc)  # a Monday
HOURS = ("08:00", "17:00")  # operating hours, every day, UTC
SPEED_KMH = 45

# name, position (km), minutes of work, windows as (day 1 or 2, from, to)
STOPS = [
    ("Depot (load van)", (0, 0), 15, [(1, "07:30", "08:30")]),
    ("Hollins farm", (12, 8), 90, [(1, "08:30", "12:00")]),
    ("Sawmill", (25, -5), 120, [(1, "09:00", "17:00"), (2, "08:00", "12:00")]),
    ("Dairy", (-10, 15), 60, [(1, "13:00", "17:00")]),
    ("Village school", (5, 22), 45, [(2, "08:00", "11:00")]),
    ("Quarry office", (30, 12), 75, [(1, "10:00", "16:00")]),
    ("Garden centre", (-18, -6), 60, [(1, "14:00", "17:00"), (2, "13:00", "17:00")]),
    ("Bakery", (-5, -15), 30, [(2, "08:00", "09:30")]),
    ("Water mill", (18, 25), 120, [(2, "09:00", "15:00")]),
]


def seconds(clock):
    h, m = clock.split(":")
    return int(h) * 3600 + int(m) * 60


def unix(day, clock):
    return int((DAY1 + dt.timedelta(days=day - 1)).timestamp()) + seconds(clock)


def build_inputs():
    n = len(STOPS)

    def km(a, b):
        return math.dist(STOPS[a][1], STOPS[b][1]) * 1.3  # roads are not straight
    metres = [[round(km(a, b) * 1000) for b in range(n)] for a in range(n)]
    travel = [[round(km(a, b) / SPEED_KMH * 3600) for b in range(n)] for a in range(n)]
    work = [minutes * 60 for _, _, minutes, _ in STOPS]
    windows = [[(unix(day, start), unix(day, end)) for day, start, end in stop[3]] for stop in STOPS]
    return metres, travel, work, windows, tuple(seconds(c) for c in HOURS)


def when(unix_seconds):
    return dt.datetime.fromtimestamp(unix_seconds, dt.timezone.utc)


def rows_of(result):
    """(row label, kind, start, end) per schedule entry. Travel and waiting
    go on the row of the stop they lead to; the way home gets its own row."""
    first = result.route[0]
    kinds = {"PyEvent_Work": "work", "PyEvent_Wait": "wait", "PyEvent_Travel": "travel"}
    labels, bars, pending, last = [], [], [], None
    for event in result.schedule:
        kind = kinds[type(event).__name__]
        start, end = event._0.window
        if kind != "work":
            pending.append((kind, start, end))
            continue
        if event._0.location != last:
            # work cut by the closing hour comes back as several entries, one row
            last = event._0.location
            labels.append("%d. %s" % (len(labels) + 1, STOPS[last][0]))
        bars += [(labels[-1], k, s, e) for k, s, e in pending]
        bars.append((labels[-1], kind, start, end))
        pending = []
    if pending:
        labels.append("back at %s" % STOPS[first][0].split(" (")[0])
        bars += [(labels[-1], k, s, e) for k, s, e in pending]
    return labels, bars


def draw(result, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt
    from matplotlib.patches import Patch

    labels, bars = rows_of(result)
    row = {label: i for i, label in enumerate(labels)}
    colours = {"work": "tab:blue", "travel": "tab:orange", "wait": "#bbbbbb"}
    fig, ax = plt.subplots(figsize=(11, 0.45 * len(labels) + 2.2))
    for label, kind, start, end in bars:
        ax.broken_barh([(mdates.date2num(when(start)), (end - start) / 86400)], (row[label] - 0.35, 0.7),
                       facecolors=colours[kind], edgecolor="black", linewidth=0.4)
    first_day = when(result.start_time).replace(hour=0, minute=0, second=0)
    last = when(result.end_time)
    opening, closing = (dt.timedelta(seconds=seconds(c)) for c in HOURS)
    day = first_day - dt.timedelta(days=1)
    while day <= last:
        ax.axvspan(day + closing, day + dt.timedelta(days=1) + opening, color="#1f3b73", alpha=0.08, lw=0)
        day += dt.timedelta(days=1)
        if when(result.start_time) < day < last:
            ax.axvline(day, color="black", linestyle="--", linewidth=1)
            ax.text(day, -0.75, " midnight, %s" % day.strftime("%a %d %b"), fontsize=9, va="center")
    ax.set_xlim(when(result.start_time) - dt.timedelta(minutes=30), last + dt.timedelta(minutes=30))
    ax.set_ylim(len(labels) - 0.4, -1.1)
    ax.set_yticks(range(len(labels)), labels)
    ax.xaxis.set_major_locator(mdates.HourLocator(byhour=range(0, 24, 2), tz=dt.timezone.utc))
    ax.xaxis.set_major_formatter(mdates.DateFormatter("%a\n%H:%M", tz=dt.timezone.utc))
    ax.grid(axis="x", alpha=0.3)
    ax.legend(handles=[Patch(color=colours["work"], label="work"), Patch(color=colours["travel"], label="travel"),
                       Patch(color=colours["wait"], label="wait"),
                       Patch(color="#1f3b73", alpha=0.15, label="closed (outside %s-%s UTC)" % HOURS)],
              loc="upper center", bbox_to_anchor=(0.5, -0.13), fontsize=9, ncol=4, frameon=False)
    ax.set_title("Two-day service round: %.1f km; work %s, travel %s, waiting %s; late %s" % (
        result.distance / 1000, span(result.working_time), span(result.traveling_time),
        span(result.waiting_time), span(result.lateness)), fontsize=11)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def span(secs):
    return "%d h %02d min" % divmod(round(secs / 60), 60)


def main():
    parser = argparse.ArgumentParser(description="Solve a two-day round and draw its schedule.")
    parser.add_argument("--output", default="schedule.png", help="PNG file to write (default %(default)s)")
    parser.add_argument("--time-limit", type=int, default=2, help="seconds of search (default %(default)s)")
    args = parser.parse_args()

    metres, travel, work, windows, hours = build_inputs()
    result = tourloom.solve(metres, travel, work, windows, hours, args.time_limit)

    print("Round of %d stops from %s to %s UTC, %.1f km, late by %s" % (
        len(STOPS), when(result.start_time).strftime("%a %H:%M"), when(result.end_time).strftime("%a %H:%M"),
        result.distance / 1000, span(result.lateness)))
    for label, kind, start, end in rows_of(result)[1]:
        print("  %-24s %-6s %s - %s" % (label, kind, when(start).strftime("%a %H:%M"), when(end).strftime("%a %H:%M")))

    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("matplotlib is not installed (pip install matplotlib); skipping the picture")
        return 0
    draw(result, args.output)
    print("wrote", args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())

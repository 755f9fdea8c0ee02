"""A two-day service round solved with tourloom, and its schedule drawn as a
Gantt chart: one row per stop in visiting order, with the travel to it, any
waiting there, and the work; closed hours are shaded and midnight marked.

    python examples/plot_schedule.py                         # schedule.png, 2 s of search
    python examples/plot_schedule.py --output round.png --time-limit 5

The chart is tourloom_kit.plot_schedule's; it needs matplotlib (tourloom's
`plot` extra); without it the schedule is printed and the picture skipped.
"""

import argparse
import datetime as dt
import math
import sys

import tourloom
from tourloom_kit import MissingExtra, plot_schedule
from tourloom_kit.plotting import gantt_rows

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


def draw(result, path, hours):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    title = "Two-day service round: %.1f km; work %s, travel %s, waiting %s; late %s" % (
        result.distance / 1000, span(result.working_time), span(result.traveling_time),
        span(result.waiting_time), span(result.lateness))
    ax = plot_schedule(result, names=[stop[0] for stop in STOPS], operation_times=hours, title=title)
    ax.figure.savefig(path, dpi=110)
    plt.close(ax.figure)


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
    for label, rows in gantt_rows(result, lambda i: STOPS[i][0]):
        for row in rows:
            print("  %-24s %-6s %s - %s" % (label, row["kind"], when(row["start"]).strftime("%a %H:%M"),
                                             when(row["end"]).strftime("%a %H:%M")))

    try:
        draw(result, args.output, hours)
    except MissingExtra as e:
        print("%s; skipping the picture" % e)
        return 0
    print("wrote", args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""A delivery day with tourloom: ten stops of a small bakery round, some
open twice a day, all within the van's operating hours.

    python examples/delivery_day.py            # one descent, same answer every run
    python examples/delivery_day.py 2          # search with restarts for 2 seconds

Prints the tour and its schedule as a table (times in UTC).
"""

import datetime as dt
import math
import sys

import tourloom

DAY = dt.datetime(2024, 3, 15, tzinfo=dt.timezone.utc)
SPEED_KMH = 30  # city traffic

# name, position (km east, km north of the bakery), minutes of work there,
# opening windows as (from, to) clock times.
STOPS = [
    ("Bakery (load van)", (0.0, 0.0), 20, [("06:30", "07:30")]),
    ("Corner cafe", (1.2, 0.8), 10, [("07:00", "08:30")]),
    ("Hospital kitchen", (3.5, -1.0), 15, [("07:30", "09:00"), ("13:00", "14:00")]),
    ("Primary school", (-2.0, 1.5), 10, [("08:00", "08:45")]),
    ("Hotel Lindenhof", (2.8, 2.6), 12, [("07:00", "10:00")]),
    ("Market stall", (0.4, -2.2), 8, [("09:00", "12:00")]),
    ("Office canteen", (4.6, 1.1), 10, [("10:30", "11:30"), ("15:00", "16:00")]),
    ("Care home", (-3.1, -0.6), 15, [("11:00", "12:30")]),
    ("Petrol station shop", (5.5, -2.4), 5, [("06:00", "22:00")]),
    ("Deli Rossi", (-1.0, -3.0), 10, [("12:00", "13:00"), ("16:00", "17:30")]),
]
OPERATING_HOURS = ("06:30", "18:00")


def seconds_after_midnight(clock):
    hours, minutes = clock.split(":")
    return int(hours) * 3600 + int(minutes) * 60


def unix(clock):
    return int(DAY.timestamp()) + seconds_after_midnight(clock)


def clock_of(unix_seconds):
    return dt.datetime.fromtimestamp(unix_seconds, dt.timezone.utc).strftime("%H:%M")


def span(seconds):
    return "%d h %02d min" % divmod(round(seconds / 60), 60)


def build_inputs():
    def km(a, b):
        (ax, ay), (bx, by) = STOPS[a][1], STOPS[b][1]
        return math.hypot(ax - bx, ay - by) * 1.3  # streets are not straight lines

    n = len(STOPS)
    metres = [[round(km(a, b) * 1000) for b in range(n)] for a in range(n)]
    travel = [[round(km(a, b) / SPEED_KMH * 3600) for b in range(n)] for a in range(n)]
    work = [minutes * 60 for _, _, minutes, _ in STOPS]
    windows = [[(unix(start), unix(end)) for start, end in stop[3]] for stop in STOPS]
    hours = tuple(seconds_after_midnight(clock) for clock in OPERATING_HOURS)
    return metres, travel, work, windows, hours


def main():
    time_limit = int(sys.argv[1]) if len(sys.argv) > 1 else None
    metres, travel, work, windows, hours = build_inputs()
    result = tourloom.solve(metres, travel, work, windows, hours, time_limit)

    names = [stop[0] for stop in STOPS]
    tour = [names[i] for i in result.route] + [names[result.route[0]]]
    print("Delivery day %s, %d stops, van out %s-%s UTC" % (DAY.date(), len(STOPS), *OPERATING_HOURS))
    print()
    print("Tour (closed: it ends where it starts):")
    for step, name in enumerate(tour):
        print("  %2d. %s" % (step + 1, name))
    print()
    print("Distance %.1f km, on the road %s to %s (%s)" % (
        result.distance / 1000, clock_of(result.start_time), clock_of(result.end_time), span(result.duration)))
    print("Working %s, travelling %s, waiting %s, late by %s" % (
        span(result.working_time), span(result.traveling_time), span(result.waiting_time), span(result.lateness)))
    print("Search: %d descent(s) in %.1f ms" % (result.iterations, result.time_taken_microseconds / 1000))
    print()

    # Events dispatch on their class: PyEvent_Work, PyEvent_Wait or
    # PyEvent_Travel (the classes are reached through the results, e.g.
    # type(event).__bases__[0].Work, not through the module).
    kinds = {"PyEvent_Work": "work", "PyEvent_Wait": "wait", "PyEvent_Travel": "travel"}
    print("  %-5s  %-5s  %-7s  %s" % ("from", "to", "what", "where"))
    print("  %-5s  %-5s  %-7s  %s" % ("-" * 5, "-" * 5, "-" * 7, "-" * 24))
    for event in result.schedule or []:
        start, end = event._0.window
        location = getattr(event._0, "location", None)  # work only
        where = names[location] if location is not None else ""
        row = "  %-5s  %-5s  %-7s  %s" % (clock_of(start), clock_of(end), kinds[type(event).__name__], where)
        print(row.rstrip())

if __name__ == "__main__":
    main()

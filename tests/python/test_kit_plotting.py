"""plot_schedule at any size: the legend inside a plainly saved figure, a
UTC date axis, "stop N" rows by default, a height that stays readable, a
period that shows part of a round, and clear errors for short names."""

import datetime as dt
import io
import random

import pytest

import tourloom
from support import DAY, HOUR, MIDNIGHT

matplotlib = pytest.importorskip("matplotlib", reason="matplotlib is not installed (the plot extra)")
matplotlib.use("Agg")
import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402

from tourloom_kit import plot_schedule  # noqa: E402

P = pytest.param
HOURS = (8 * HOUR, 17 * HOUR)


def round_of(n, days, seed=3):
    """A round of n stops with one window each on one of `days` days."""
    rng = random.Random(seed)
    xy = [(rng.uniform(0, 40), rng.uniform(0, 40)) for _ in range(n)]
    km = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in xy] for a in xy]
    windows = [[(MIDNIGHT + 8 * HOUR, MIDNIGHT + 9 * HOUR)]]
    for _ in range(n - 1):
        start = MIDNIGHT + rng.randrange(days) * DAY + rng.choice([8, 10, 13]) * HOUR
        windows.append([(start, start + 3 * HOUR)])
    return tourloom.solve([[round(d * 1000) for d in row] for row in km],
                          [[round(d / 40 * HOUR) for d in row] for row in km],
                          [rng.choice([15, 30, 60]) * 60 for _ in range(n)], windows, HOURS)


@pytest.fixture(scope="module")
def rounds():
    return {n: round_of(n, days) for n, days in [(10, 2), (30, 3), (100, 5)]}


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def test_default_rows_read_stop_n_and_the_axis_says_utc(rounds):
    result = rounds[10]
    ax = plot_schedule(result, operation_times=HOURS)
    labels = [t.get_text() for t in ax.get_yticklabels()]
    assert labels == ["%d. stop %d" % (i + 1, loc) for i, loc in enumerate(result.route)] + [
        "back at stop %d" % result.route[0]]
    assert ax.get_xlabel() == "time (UTC)"
    assert isinstance(ax.xaxis.get_major_formatter(), mdates.ConciseDateFormatter)


@pytest.mark.parametrize("n", [10, 30, 100])
def test_a_plain_savefig_keeps_the_legend_and_labels_inside(rounds, n):
    ax = plot_schedule(rounds[n], operation_times=HOURS, title="a title")
    figure = ax.figure
    figure.savefig(io.BytesIO(), format="png")  # no bbox_inches: what a newcomer writes
    renderer = figure.canvas.get_renderer()
    inside = figure.bbox
    parts = [ax.get_legend(), ax.title, ax.xaxis.label] + list(ax.get_yticklabels()) + list(ax.get_xticklabels())
    for part in parts:
        box = part.get_window_extent(renderer)
        assert inside.x0 - 1 <= box.x0 and box.x1 <= inside.x1 + 1 and inside.y0 - 1 <= box.y0 and \
            box.y1 <= inside.y1 + 1, (part, box, inside)


def test_the_height_grows_with_the_stops_and_stays_readable(rounds):
    heights = {n: plot_schedule(r).figure.get_size_inches()[1] for n, r in rounds.items()}
    assert heights[10] < heights[30] < heights[100] <= 24  # the old chart was 47 in tall at 100 stops
    # Every row keeps at least the room a 6.5-point label needs (0.17 in).
    assert (heights[100] - 2.4) / 101 >= 0.17 - 1e-9


def test_tick_labels_do_not_run_together(rounds):
    ax = plot_schedule(rounds[100], operation_times=HOURS)
    ax.figure.canvas.draw()
    renderer = ax.figure.canvas.get_renderer()
    boxes = [t.get_window_extent(renderer) for t in ax.get_xticklabels() if t.get_text()]
    assert len(boxes) >= 3
    assert all(a.x1 < b.x0 for a, b in zip(boxes, boxes[1:]))
    rows = [t.get_window_extent(renderer) for t in ax.get_yticklabels()]
    assert all(a.y0 >= b.y1 - 0.5 for a, b in zip(rows, rows[1:]))  # top to bottom, not overlapping


def test_a_period_shows_only_that_stretch(rounds):
    result = rounds[100]
    tuesday = (MIDNIGHT + DAY, MIDNIGHT + 2 * DAY)
    ax = plot_schedule(result, period=tuesday)
    left, right = (mdates.num2date(x) for x in ax.get_xlim())
    assert left >= dt.datetime.fromtimestamp(tuesday[0], dt.timezone.utc) - dt.timedelta(hours=1)
    assert right <= dt.datetime.fromtimestamp(tuesday[1], dt.timezone.utc) + dt.timedelta(hours=1)
    assert 0 < len(ax.get_yticklabels()) < 101
    aware = tuple(dt.datetime.fromtimestamp(t, dt.timezone.utc) for t in tuesday)
    assert [t.get_text() for t in plot_schedule(result, period=aware).get_yticklabels()] == [
        t.get_text() for t in ax.get_yticklabels()]


@pytest.mark.parametrize("kwargs, message", [
    P({"names": ["a", "b", "c"]}, "names: 3 names for a route that visits location 9; give one name per location",
      id="short-names"),
    P({"names": {0: "depot"}}, "names: 1 names for a route that visits location 9", id="dict-without-all"),
    P({"period": (MIDNIGHT + DAY, MIDNIGHT)}, "period: (start, end) with start before end", id="period-reversed"),
    P({"period": (MIDNIGHT + 30 * DAY, MIDNIGHT + 31 * DAY)}, "period: nothing in the schedule falls between",
      id="period-empty"),
    P({"period": (dt.datetime(2023, 11, 15), MIDNIGHT + DAY)}, "period: its start is a naive datetime",
      id="period-naive"),
])
def test_mistakes_in_the_chart_arguments_are_named(rounds, kwargs, message):
    with pytest.raises(ValueError) as caught:
        plot_schedule(rounds[10], **kwargs)
    assert str(caught.value).startswith(message)


def test_names_may_be_a_dict(rounds):
    result = rounds[10]
    names = {i: "site %s" % chr(65 + i) for i in range(10)}
    labels = [t.get_text() for t in plot_schedule(result, names=names).get_yticklabels()]
    assert labels[0] == "1. site %s" % chr(65 + result.route[0])

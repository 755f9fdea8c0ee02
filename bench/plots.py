"""Figures from the quality benchmark's CSV: for each instance set, the gap
to the optimal or best-known value against the time budget (box plot of the
instances, mean marked), and for time-window sets the share of tours that
are feasible by the classic rules.

    python bench/plots.py bench/results/quality.csv --out bench/results

Writes gap_<set>.png per set. Needs matplotlib (the `plot` extra).
"""

from __future__ import annotations

import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from quality import read_csv  # noqa: E402


def budget_axis(rows: list[dict]) -> list[str]:
    """Budgets in the order the CSV first names them."""
    return list(dict.fromkeys(r["budget"] for r in rows))


def series(rows: list[dict], set_name: str):
    """Per budget: (gaps counted, feasible count, instance count, mean time)."""
    group = [r for r in rows if r["set"] == set_name]
    timed = group[0]["classic_feasible"] != ""
    out = {}
    for budget in budget_axis(group):
        at = [r for r in group if r["budget"] == budget]
        counted = [r for r in at if r["classic_feasible"] == "yes"] if timed else at
        out[budget] = ([float(r["gap_pct"]) for r in counted], len(counted), len(at),
                       statistics.fmean(float(r["time_s"]) for r in at))
    return timed, out


def tick_label(budget: str, mean_time: float) -> str:
    return "one descent\n(mean %.2g s)" % mean_time if budget == "descent" else budget


def plot_set(rows: list[dict], set_name: str, path: str) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    timed, data = series(rows, set_name)
    budgets = list(data)
    positions = list(range(1, len(budgets) + 1))
    if timed:
        fig, (ax, ax2) = plt.subplots(1, 2, figsize=(10, 4.2), gridspec_kw={"width_ratios": [3, 2]})
    else:
        fig, ax = plt.subplots(figsize=(7, 4.2))
    gaps = [data[b][0] or [float("nan")] for b in budgets]
    ax.boxplot(gaps, positions=positions, widths=0.5, showfliers=True,
               flierprops={"marker": ".", "markersize": 4, "alpha": 0.6})
    means = [statistics.fmean(data[b][0]) if data[b][0] else float("nan") for b in budgets]
    ax.plot(positions, means, "D-", color="tab:red", markersize=6, label="mean gap")
    for x, m in zip(positions, means):
        if m == m:
            ax.annotate("%.2f %%" % m, (x, m), textcoords="offset points", xytext=(10, 6), color="tab:red",
                        fontsize=9)
    ax.set_xticks(positions, [tick_label(b, data[b][3]) for b in budgets])
    ax.set_xlabel("time budget per instance (time_limit)")
    ax.set_ylabel("gap to %s (%%)" % ("optimum" if not timed else "best known"))
    ax.set_ylim(bottom=min(0.0, ax.get_ylim()[0]))
    ax.grid(axis="y", alpha=0.3)
    ax.legend(loc="upper right")
    count = data[budgets[0]][2]
    what = "classic-feasible tours" if timed else "every instance"
    ax.set_title("gap per instance (box), mean (red); %s" % what, fontsize=10)
    if timed:
        shares = [100.0 * data[b][1] / data[b][2] for b in budgets]
        bars = ax2.bar(positions, shares, width=0.6, color="tab:green", alpha=0.7)
        for bar, b in zip(bars, budgets):
            ax2.annotate("%d/%d" % (data[b][1], data[b][2]), (bar.get_x() + bar.get_width() / 2, bar.get_height()),
                         textcoords="offset points", xytext=(0, 3), ha="center", fontsize=9)
        ax2.set_xticks(positions, [b if b != "descent" else "one\ndescent" for b in budgets])
        ax2.set_ylim(0, 112)
        ax2.set_ylabel("classic-feasible tours (%)")
        ax2.set_xlabel("time budget per instance")
        ax2.set_title("feasible by the classic rules", fontsize=11)
        ax2.grid(axis="y", alpha=0.3)
    fig.suptitle("tourloom on %s (%d instances)" % (set_name, count), fontsize=12)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("csv", help="the quality benchmark's CSV")
    parser.add_argument("--out", default=None, help="output folder (default: the CSV's folder)")
    args = parser.parse_args(argv)
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("plots.py: matplotlib is not installed (pip install 'tourloom[plot]'); no figures drawn")
        return 0
    rows = read_csv(args.csv)
    out = args.out or os.path.dirname(os.path.abspath(args.csv))
    os.makedirs(out, exist_ok=True)
    for set_name in dict.fromkeys(r["set"] for r in rows):
        path = os.path.join(out, "gap_%s.png" % set_name)
        plot_set(rows, set_name, path)
        print("plots.py: wrote", path)
    return 0


if __name__ == "__main__":
    sys.exit(main())

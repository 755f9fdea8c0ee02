"""tourloom and its peers side by side: every solver on the same instances
at the same time budgets, one solve at a time, every returned tour judged
by our own replay (the classic rules for the published time-window sets,
tourloom's calendar evaluation for delivery days), never by the solver's
own verdict.

    python bench/compare.py                  # every instance, 1 s and 10 s (several hours)
    python bench/compare.py --subset         # the stated subset (SUBSET below)
    python bench/compare.py --sets TSPLIB --solvers tourloom,fast-tsp --budgets 1

Writes peers.csv (one row per instance, solver and budget, written as it
goes), peers.md (tables per set and budget, every setting of every solver)
and peers_<set>.png (gap against budget, one line per solver) to --out.
`--report` redraws the tables and figures from an existing peers.csv.
A solver that does not import is listed as not installable with its error;
an instance a solver cannot express is listed as such, not run.
"""

from __future__ import annotations

import argparse
import csv
import datetime as dt
import os
import statistics
import sys
import time
from concurrent.futures import ProcessPoolExecutor
from concurrent.futures import TimeoutError as FutureTimeout
from concurrent.futures.process import BrokenProcessPool
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import delivery_day  # noqa: E402
import peers  # noqa: E402
import quality  # noqa: E402
import tsptw  # noqa: E402

DAY_SET = "DeliveryDay"
DAY_FOLDER = os.path.join(HERE, "delivery")
# The subset of the committed run: sizes spread over each set's range.
SUBSET = {
    "TSPLIB": ("berlin52", "eil76", "kroA100", "ch150", "kroA200", "pcb442", "rat783", "pr1002"),
    "Dumas": ("n20w20.001.txt", "n40w40.001.txt", "n60w60.001.txt", "n80w80.001.txt", "n100w40.001.txt",
              "n150w40.001.txt", "n200w20.001.txt", "n200w40.001.txt"),
    "Langevin": ("N20ft301.dat", "N40ft401.dat", "N60ft201.dat", "N60ft410.dat", "N40ft210.dat"),
    "SolomonPotvinBengio": ("rc_201.1.txt", "rc_202.2.txt", "rc_203.3.txt", "rc_205.1.txt", "rc_208.1.txt"),
    DAY_SET: ("day020_s1", "day040_s3", "day060_s5", "day080_s6", "day100_s7", "day120_s8", "day150_s9",
              "day200_s10"),
}
FIELDS = ["set", "instance", "n", "solver", "budget", "status", "best_known", "value", "gap_pct", "feasible",
          "lateness_s", "traveling_s", "duration_s", "waiting_s", "distance", "time_s", "cpu_s", "load1", "note",
          "problems", "route"]


# ------------------------------------------------------------------ instances

def instance_list(data: str, only_sets, subset: bool, only_instances) -> list[tuple[str, str, object]]:
    """(set, path, best known or None) in set order, smallest first."""
    import tsplib

    out = []
    for bench_set in quality.SETS:
        if only_sets and bench_set.name not in only_sets:
            continue
        folder = os.path.join(data, bench_set.folder)
        if bench_set.scale is None:
            best = tsplib.read_optimal(os.path.join(folder, "optimal.txt"))
            items = [(p, os.path.basename(p)[:-4]) for p in tsplib.instance_paths(folder)]
        else:
            best = {k: v.cost for k, v in tsptw.read_best_known(os.path.join(folder, "best_known.txt")).items()}
            items = [(os.path.join(folder, f), f) for f in best]
        chosen = [(p, name) for p, name in items
                  if (not subset or name in SUBSET[bench_set.name]) and (not only_instances or name in only_instances)]
        chosen.sort(key=lambda item: (os.path.getsize(item[0]), item[1]))
        out += [(bench_set.name, p, best[name]) for p, name in chosen]
    if not only_sets or DAY_SET in only_sets:
        names = sorted(f[:-5] for f in os.listdir(DAY_FOLDER) if f.endswith(".json"))
        names.sort(key=lambda name: int(name[3:6]))
        out += [(DAY_SET, os.path.join(DAY_FOLDER, name + ".json"), None) for name in names
                if (not subset or name in SUBSET[DAY_SET]) and (not only_instances or name in only_instances)]
    return out


def scale_of(set_name: str):
    return {s.name: s.scale for s in quality.SETS}.get(set_name)


def load_problem(set_name: str, path: str):
    """(Problem, judge data) for one instance file."""
    if set_name == DAY_SET:
        instance = delivery_day.read(path)
        return delivery_day.peer_problem(instance), instance
    scale = scale_of(set_name)
    if scale is None:
        import tsplib
        name, matrix, _ = tsplib.load_matrix(path)
        return peers.Problem(kind=peers.TSP, name=name, cost=matrix,
                             solve_arguments={"distance_matrix": matrix}), None
    instance = tsptw.read_instance(path, scale)
    problem = peers.Problem(
        kind=peers.CLASSIC, name=instance.name, cost=instance.times, travel=instance.times,
        service=[0] * instance.n, windows=[[w] for w in instance.windows], depot_start=(0, 0),
        deadline=instance.windows[0][1], solve_arguments=tsptw.solve_arguments(instance))
    return problem, instance


# ------------------------------------------------------------------ one solve

_cache: dict = {}


def run_one(set_name: str, path: str, best, entry: str, budget: int) -> dict:
    """Solve one instance with one solver at one budget and judge the tour."""
    if path not in _cache:
        _cache.clear()
        _cache[path] = load_problem(set_name, path)
    problem, judge = _cache[path]
    solver = peers.solver(entry)
    row = {"set": set_name, "instance": problem.name, "n": problem.n, "solver": solver.NAME, "budget": budget,
           "best_known": "" if best is None else str(best), "status": "ok", "problems": ""}
    why = solver.missing()
    if why:
        row["status"] = "not installable: " + why
        return row
    why = solver.cannot(problem)
    if why:
        row["status"] = "cannot express: " + why
        return row
    row["load1"] = "%.2f" % os.getloadavg()[0]
    cpu = time.process_time()
    try:
        answer = solver.solve(problem, budget)
    except Exception as e:  # a peer failing on an input is a result to report
        row["status"] = "error: %s: %s" % (type(e).__name__, str(e).splitlines()[0] if str(e) else "")
        return row
    row["time_s"] = "%.3f" % answer.seconds
    # On a shared machine the wall-clock budget buys less than a core: the
    # processor time of the whole adapter call (model building included)
    # says how much less.
    row["cpu_s"] = "%.3f" % (time.process_time() - cpu)
    row["note"] = answer.note
    if answer.route is None:
        row["status"] = "no tour"
        return row
    route = list(answer.route)
    if sorted(route) != list(range(problem.n)):
        row["status"] = "no tour"
        row["problems"] = "the returned route is not a permutation of the %d locations" % problem.n
        return row
    row["route"] = " ".join(map(str, route))
    judge_tour(row, set_name, problem, judge, route, answer.figures)
    return row


def judge_tour(row: dict, set_name: str, problem, judge, route: list[int], figures: dict) -> None:
    problems = []
    if problem.kind == peers.TSP:
        cost = tsptw.tour_cost(problem.cost, route)
        row["value"] = str(cost)
        row["gap_pct"] = "%.3f" % quality.gap_pct(Decimal(cost), Decimal(row["best_known"]))
        if figures and figures["distance"] != cost:
            problems.append("distance %d but the tour costs %d" % (figures["distance"], cost))
    elif problem.kind == peers.CLASSIC:
        classic = tsptw.classic_timeline(judge, route)
        value = Decimal(classic.cost) / judge.scale
        row["value"] = str(value)
        row["gap_pct"] = "%.3f" % quality.gap_pct(value, Decimal(row["best_known"]))
        row["feasible"] = "yes" if classic.feasible else "no"
        row["distance"] = classic.cost
        if figures:
            if figures["distance"] != classic.cost:
                problems.append("distance %d but the tour costs %d" % (figures["distance"], classic.cost))
            verdict = figures["lateness"] == 0 and figures["end_time"] <= tsptw.return_deadline(judge)
            if verdict != classic.feasible:
                problems.append("tourloom's figures disagree with the classic replay")
    else:
        import day_replay
        args = problem.solve_arguments
        replay = lambda r: day_replay.replay(r, args["distance_matrix"], args["duration_matrix"],  # noqa: E731
                                             args["job_durations"], args["time_windows"], args["operation_times"])
        if figures:
            own = replay(route)
            for key in ("distance", "lateness", "duration", "working_time", "waiting_time", "traveling_time",
                        "start_time", "end_time"):
                if getattr(own, key) != figures[key]:
                    problems.append("%s: tourloom %d, replay %d" % (key, figures[key], getattr(own, key)))
        if route[0] != 0:
            row["note"] = (row["note"] + "; " if row["note"] else "") + "rotated to leave from the depot"
        judged = replay(peers.depot_first(route))
        row.update(value=judged.traveling_time, feasible="yes" if judged.lateness == 0 else "no",
                   lateness_s=judged.lateness, traveling_s=judged.traveling_time, duration_s=judged.duration,
                   waiting_s=judged.waiting_time, distance=judged.distance)
    row["problems"] = "; ".join(problems)


# ------------------------------------------------------------------ reports

def day_best(rows: list[dict]) -> None:
    """Delivery days have no published best: the best is the best tour any
    solver found at any budget, ranked as tourloom ranks (lateness, travel,
    duration, waiting, distance); the gap is on travel time, over tours
    without lateness."""
    best: dict[str, tuple] = {}
    for r in rows:
        if r["set"] == DAY_SET and r["status"] == "ok":
            key = tuple(int(r[k]) for k in ("lateness_s", "traveling_s", "duration_s", "waiting_s", "distance"))
            if r["instance"] not in best or key < best[r["instance"]]:
                best[r["instance"]] = key
    for r in rows:
        if r["set"] == DAY_SET and r["status"] == "ok" and r["instance"] in best:
            b = best[r["instance"]]
            r["best_known"] = str(b[1]) if b[0] == 0 else ""
            feasible = b[0] == 0 and int(r["lateness_s"]) == 0 and b[1]
            r["gap_pct"] = "%.3f" % ((int(r["traveling_s"]) - b[1]) / b[1] * 100) if feasible else ""
            r["_at_best"] = tuple(int(r[k]) for k in ("lateness_s", "traveling_s", "duration_s", "waiting_s",
                                                     "distance")) == b


def summary(rows: list[dict], set_name: str, budget: str) -> list[dict]:
    out = []
    at = [r for r in rows if r["set"] == set_name and str(r["budget"]) == budget]
    for name in dict.fromkeys(r["solver"] for r in at):
        group = [r for r in at if r["solver"] == name]
        ran = [r for r in group if r["status"] in ("ok", "no tour") or r["status"].startswith(("error", "no answer"))]
        tours = [r for r in group if r["status"] == "ok"]
        timed = set_name != "TSPLIB"
        counted = [r for r in tours if r["feasible"] == "yes"] if timed else tours
        gaps = [float(r["gap_pct"]) for r in counted if r["gap_pct"] != ""]
        if set_name == DAY_SET:
            at_best = sum(1 for r in tours if r.get("_at_best"))
        else:
            at_best = sum(1 for g in gaps if g <= 0)
        statuses = sorted({r["status"] for r in group if r not in ran})
        out.append({
            "solver": name, "instances": len(group), "ran": len(ran), "tours": len(tours),
            "feasible": len(counted) if timed else None,
            "mean_gap": statistics.fmean(gaps) if gaps else None,
            "median_gap": statistics.median(gaps) if gaps else None,
            "at_best": at_best,
            "mean_time": statistics.fmean(float(r["time_s"]) for r in ran if r.get("time_s")) if ran else None,
            "max_time": max((float(r["time_s"]) for r in ran if r.get("time_s")), default=None),
            "mean_cpu": statistics.fmean(cpu) if (cpu := [float(r["cpu_s"]) for r in ran if r.get("cpu_s")]) else None,
            "mean_lateness_h": (statistics.fmean(int(r["lateness_s"]) for r in tours) / 3600
                                if set_name == DAY_SET and tours else None),
            "not_run": "; ".join(statuses),
            "problems": sum(1 for r in group if r["problems"]),
        })
    return out


def fmt(value, digits=2) -> str:
    return "—" if value is None or value != value else "%.*f" % (digits, value)


def overview(rows: list[dict]) -> list[str]:
    """One table for all sets: per set and budget, each solver's mean gap
    and, for the time-window sets, feasible tours out of instances."""
    names = list(dict.fromkeys(r["solver"] for r in rows))
    out = ["| set | budget | " + " | ".join(names) + " |", "|---|---:|" + "---:|" * len(names)]
    for set_name in dict.fromkeys(r["set"] for r in rows):
        group = [r for r in rows if r["set"] == set_name]
        n = len({r["instance"] for r in group})
        for budget in dict.fromkeys(str(r["budget"]) for r in group):
            cells = []
            by_name = {s["solver"]: s for s in summary(rows, set_name, budget)}
            for name in names:
                s = by_name.get(name)
                if s is None or not s["ran"]:
                    cells.append("—")
                elif set_name == "TSPLIB":
                    cells.append(fmt(s["mean_gap"]) + ("" if s["tours"] == n else " (%d/%d tours)" % (s["tours"], n)))
                else:
                    cells.append("%s (%d/%d)" % (fmt(s["mean_gap"]), s["feasible"], n))
            out.append("| %s | %s s | %s |" % (set_name, budget, " | ".join(cells)))
    return out


def write_markdown(path: str, rows: list[dict], head: list[str]) -> None:
    day_best(rows)
    out = ["# tourloom and its peers", ""] + ["- " + h for h in head] + [""]
    out += [
        "Gap % = (value − best) / best × 100. TSPLIB: tour length against the proven optimum, over every tour. "
        "Time-window sets: classic tour cost against the published best known, over the tours that our classic "
        "replay finds feasible (`feasible`), so each solver's mean is over its own feasible tours. Delivery days: "
        "the value is the travel time of the tour replayed by tourloom's calendar rules (windows, work, daily "
        "hours) from the depot, feasible means no lateness, the best is the best tour any solver found in this "
        "run (ranked by lateness, travel, duration, waiting, distance) and `at best` counts tours equal to it. "
        "`time` is the wall-clock time of the solver call alone, `cpu` the processor time its process got for the "
        "whole adapter call, building the solver's model included (all threads): on a loaded machine a budget "
        "buys less than a core, and where building the model is slow (OR-Tools on the largest delivery days) "
        "`cpu` can exceed `time`. `tours` counts complete tours returned.", ""]
    out += ["## Overview", "", "Mean gap % (time-window sets: over the feasible tours; feasible tours / "
            "instances in brackets); — where the solver cannot express the set.", ""] + overview(rows) + [""]
    out += ["## Solvers and their settings", ""]
    seen = set()
    for solver in peers.solvers():
        if solver.NAME in seen:
            continue
        seen.add(solver.NAME)
        why = solver.missing()
        out.append("- **%s**: %s%s" % (solver.NAME, solver.SETTINGS,
                                      ("  — NOT INSTALLABLE here: " + why) if why else ""))
    out.append("")
    sets = list(dict.fromkeys(r["set"] for r in rows))
    for set_name in sets:
        group = [r for r in rows if r["set"] == set_name]
        out += ["## %s (%d instances: %s)" % (set_name, len({r["instance"] for r in group}),
                                              ", ".join(dict.fromkeys(r["instance"] for r in group))), ""]
        if set_name == DAY_SET:
            out += ["Not expressible by any peer: the daily hours (overnight stop, travel and work cut at the "
                    "closing hour) and lateness as a soft first-ranked objective; peers get hard windows on the "
                    "start of service (closing early enough for the work to fit), the van's departure after "
                    "loading, and all days as one shift. `mean lateness h` is the mean over returned tours.", ""]
        for budget in dict.fromkeys(str(r["budget"]) for r in group):
            timed = set_name != "TSPLIB"
            out += ["### %s, %s s" % (set_name, budget), ""]
            cols = ["solver", "instances", "tours"] + (["feasible"] if timed else []) + [
                "mean gap %", "median gap %", "at best", "mean time s", "max time s", "mean cpu s"] + (
                ["mean lateness h"] if set_name == DAY_SET else []) + ["not run"]
            out.append("| " + " | ".join(cols) + " |")
            out.append("|---|" + "---:|" * (len(cols) - 2) + "---|")
            for s in summary(rows, set_name, budget):
                cells = [s["solver"], str(s["instances"]), str(s["tours"])]
                if timed:
                    cells.append(str(s["feasible"]))
                cells += [fmt(s["mean_gap"], 3), fmt(s["median_gap"], 3), str(s["at_best"]),
                          fmt(s["mean_time"]), fmt(s["max_time"]), fmt(s["mean_cpu"])]
                if set_name == DAY_SET:
                    cells.append(fmt(s["mean_lateness_h"]))
                cells.append(s["not_run"] or "")
                out.append("| " + " | ".join(cells) + " |")
            out.append("")
    flagged = [r for r in rows if r["problems"]]
    out.append("## Checks")
    out.append("")
    if flagged:
        out.append("Rows with problems (%d):" % len(flagged))
        out += ["- %s %s %s %s s: %s" % (r["set"], r["instance"], r["solver"], r["budget"], r["problems"])
                for r in flagged]
    else:
        out.append("Every returned tour was a permutation and was replayed by our own checks; tourloom's own "
                   "figures (distance; for time-window sets its verdict; for delivery days lateness, duration, "
                   "working, waiting and travel time, start and end) agreed with the replay on every tour.")
    out += ["", "## Every row", "",
            "| set | instance | n | solver | budget s | status | value | gap % | feasible | time s | cpu s | load "
            "| note |",
            "|---|---|---:|---|---:|---|---:|---:|---|---:|---:|---:|---|"]
    for r in rows:
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            r["set"], r["instance"], r["n"], r["solver"], r["budget"], r["status"], r.get("value", ""),
            r.get("gap_pct", ""), r.get("feasible", ""), r.get("time_s", ""), r.get("cpu_s", ""),
            r.get("load1", ""), r.get("note", "")))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def plot(rows: list[dict], out_dir: str) -> list[str]:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    day_best(rows)
    written = []
    for set_name in dict.fromkeys(r["set"] for r in rows):
        budgets = list(dict.fromkeys(str(r["budget"]) for r in rows if r["set"] == set_name))
        timed = set_name != "TSPLIB"
        fig, axes = plt.subplots(1, 2 if timed else 1, figsize=(11 if timed else 7, 4.2), squeeze=False)
        ax = axes[0][0]
        lines = {}
        for budget in budgets:
            for s in summary(rows, set_name, budget):
                lines.setdefault(s["solver"], []).append(s)
        xs = [int(b) for b in budgets]
        for name, stats in lines.items():
            if not any(s["tours"] for s in stats):
                continue
            means = [s["mean_gap"] if s["mean_gap"] is not None else float("nan") for s in stats]
            ax.plot(xs, means, marker="o", label=name)
            if timed:
                axes[0][1].plot(xs, [s["feasible"] for s in stats], marker="o", label=name)
        ax.set_xscale("log")
        ax.set_xticks(xs, ["%s s" % b for b in budgets])
        if any(s["mean_gap"] and s["mean_gap"] > 50 for stats in lines.values() for s in stats):
            ax.set_yscale("symlog", linthresh=1)  # far-behind solvers would flatten the others
            ax.set_ylim(bottom=0)
        ax.set_xlabel("time budget")
        ax.set_ylabel("mean gap %" + (" (feasible tours)" if timed else ""))
        ax.set_title("%s: mean gap against budget" % set_name)
        ax.grid(alpha=0.3)
        ax.legend(fontsize=8)
        if timed:
            ax2 = axes[0][1]
            ax2.set_xscale("log")
            ax2.set_xticks(xs, ["%s s" % b for b in budgets])
            total = len({r["instance"] for r in rows if r["set"] == set_name})
            ax2.set_ylim(-0.5, total + 0.5)
            ax2.set_ylabel("feasible tours (of %d)" % total)
            ax2.set_title("feasible by our replay")
            ax2.grid(alpha=0.3)
        fig.tight_layout()
        path = os.path.join(out_dir, "peers_%s.png" % set_name)
        fig.savefig(path, dpi=110)
        plt.close(fig)
        written.append(path)
    return written


# ------------------------------------------------------------------ main

def cap_seconds(budget: int) -> int:
    """How long a solve may run before it is stopped and counted as giving
    no answer: solvers whose time limit leaves out their construction
    phase (VROOM on large pure TSPs) would otherwise hold the run up."""
    return 3 * budget + 30


def read_rows(path: str) -> list[dict]:
    with open(path, newline="") as f:
        return list(csv.DictReader(line for line in f if not line.startswith("#")))


def now() -> str:
    return dt.datetime.now(dt.timezone.utc).strftime("%Y-%m-%d %H:%M")


def load() -> str:
    return "%.2f %.2f %.2f" % os.getloadavg()


def versions() -> str:
    from importlib import metadata
    out = []
    for dist in ("tourloom", "ortools", "pyvrp", "pyvroom", "fast-tsp", "python-tsp", "elkai", "numpy"):
        try:
            out.append("%s %s" % (dist, metadata.version(dist)))
        except metadata.PackageNotFoundError:
            out.append("%s not installed" % dist)
    return ", ".join(out)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--data", default=quality.DEFAULT_DATA)
    parser.add_argument("--out", default=os.path.join(HERE, "results"))
    parser.add_argument("--budgets", default="1,10", help="whole seconds, comma-separated")
    parser.add_argument("--subset", action="store_true", help="only the instances in SUBSET")
    parser.add_argument("--sets", help="comma-separated set names (default: all)")
    parser.add_argument("--instances", help="comma-separated instance names")
    parser.add_argument("--solvers", help="comma-separated solver names (default: all)")
    parser.add_argument("--append", action="store_true", help="add rows to an existing peers.csv")
    parser.add_argument("--report", action="store_true", help="only redraw peers.md and the figures")
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    csv_path = os.path.join(args.out, "peers.csv")
    md_path = os.path.join(args.out, "peers.md")
    if args.report:
        head = [line[2:].rstrip("\n") for line in open(csv_path) if line.startswith("# ")]
        rows = read_rows(csv_path)
        write_markdown(md_path, rows, head)
        plot(rows, args.out)
        return 0
    budgets = [int(b) for b in args.budgets.split(",")]
    only_sets = set(args.sets.split(",")) if args.sets else None
    only_instances = set(args.instances.split(",")) if args.instances else None
    entries = peers.SOLVERS
    if args.solvers:
        wanted = set(args.solvers.split(","))
        entries = [s for s in entries if peers.solver(s).NAME in wanted]
    tasks = [(set_name, path, best, entry, budget)
             for set_name, path, best in instance_list(args.data, only_sets, args.subset, only_instances)
             for budget in budgets for entry in entries]
    command = os.environ.get("TOURLOOM_BENCH_COMMAND") or "python bench/compare.py " + " ".join(
        argv if argv is not None else sys.argv[1:])
    head = ["command: %s" % command.strip(),
            "machine: nproc %(nproc)s, %(cpu)s; %(system)s; %(python)s" % quality.machine(),
            "started %s UTC, load average (1, 5, 15 min) %s" % (now(), load()),
            "tourloom source: %s" % quality.source_revision(),
            "versions: %s" % versions()]
    old = read_rows(csv_path) if args.append and os.path.exists(csv_path) else []
    old_head = [line[2:].rstrip("\n") for line in open(csv_path) if line.startswith("# ")] if old else []
    print("compare: %d solves -> %s" % (len(tasks), csv_path), flush=True)
    rows = []
    partial_path = csv_path + ".partial"
    with open(partial_path, "w", newline="") as partial:
        writer = csv.DictWriter(partial, fieldnames=FIELDS, extrasaction="ignore")
        writer.writeheader()
        pool = ProcessPoolExecutor(max_workers=1)
        for task in tasks:
            set_name, path, best, entry, budget = task
            cap = cap_seconds(budget)
            try:
                row = pool.submit(run_one, *task).result(timeout=cap)
            except (BrokenProcessPool, FutureTimeout) as e:
                # The solver crashed its process, or ran far past its budget
                # (a time limit it does not keep): stop it and say so.
                why = ("no answer after %d s, stopped" % cap if isinstance(e, FutureTimeout)
                       else "error: the process died (%s)" % e)
                for process in list(getattr(pool, "_processes", {}).values()):
                    process.kill()
                pool.shutdown(wait=True, cancel_futures=True)
                row = {"set": set_name, "instance": os.path.splitext(os.path.basename(path))[0]
                       if set_name in ("TSPLIB", DAY_SET) else os.path.basename(path),
                       "solver": peers.solver(entry).NAME, "budget": budget, "status": why, "problems": "",
                       "time_s": "%.3f" % cap if isinstance(e, FutureTimeout) else ""}
                pool = ProcessPoolExecutor(max_workers=1)
            rows.append(row)
            writer.writerow(row)
            partial.flush()
            print("  %-20s %-16s %-14s %3s s  %-10s gap %8s%%  %-4s %6s s  %s%s" % (
                row["set"], row["instance"], row["solver"], row["budget"], row["status"][:40],
                row.get("gap_pct", ""), row.get("feasible", ""), row.get("time_s", ""), row.get("note", ""),
                ("  PROBLEM: " + row["problems"]) if row["problems"] else ""), flush=True)
        pool.shutdown()
    head.append("finished %s UTC, load average (1, 5, 15 min) %s" % (now(), load()))
    with open(csv_path, "w", newline="") as f:
        for line in old_head + (["appended run:"] if old_head else []) + head:
            f.write("# %s\n" % line)
        writer = csv.DictWriter(f, fieldnames=FIELDS, extrasaction="ignore")
        writer.writeheader()
        writer.writerows(old + rows)
    os.remove(partial_path)
    all_rows = read_rows(csv_path)
    write_markdown(md_path, all_rows, old_head + head)
    try:
        plot(all_rows, args.out)
    except ImportError as e:
        print("compare: no figures (%s)" % e)
    return 1 if any(r["problems"] for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main())

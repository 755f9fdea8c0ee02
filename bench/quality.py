"""Solution quality of tourloom on published instances: the gap to the
optimal (TSPLIB) or best-known (time-window sets) tour length at fixed time
budgets, and for time-window instances whether the tour is feasible by the
classic rules, replayed independently of the solver's figures.

    python bench/quality.py                      # every instance, 1 s and 10 s
    python bench/quality.py --quick              # a few instances, 1 s
    python bench/quality.py --budgets descent,1,3,10 --jobs 2 --out bench/results

A budget is a whole number of seconds (solve's time_limit) or `descent`: no
limit, exactly one deterministic descent. Writes quality.csv and quality.md
to --out. Rows are written to the CSV as they finish, so an interrupted run
keeps what it did. Times are wall-clock: run on a quiet machine, one job per
core at most.

Needs tourloom and, for TSPLIB, tsplib95. The instances are read from
--data (default: ../shared/benchmarks beside the repository, or
$TOURLOOM_BENCHMARKS).
"""

from __future__ import annotations

import argparse
import csv
import datetime as dt
import os
import platform
import statistics
import subprocess
import sys
import time
from concurrent.futures import ProcessPoolExecutor, as_completed
from dataclasses import dataclass
from decimal import Decimal
from typing import Optional

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from tourloom_kit import tsptw  # noqa: E402

ROOT = os.path.dirname(HERE)
DEFAULT_DATA = os.environ.get("TOURLOOM_BENCHMARKS") or os.path.join(os.path.dirname(ROOT), "shared", "benchmarks")


@dataclass(frozen=True)
class BenchSet:
    name: str
    folder: str  # under the data folder
    scale: Optional[int]  # None: TSPLIB; else the time scale of the files
    quick: tuple[str, ...]  # the --quick subset


SETS = [
    BenchSet("TSPLIB", "tsplib", None, ("burma14", "ulysses22", "att48", "berlin52", "eil76", "kroA100")),
    BenchSet("Dumas", "tsptw/Dumas", 1, ("n20w20.001.txt", "n40w60.001.txt", "n60w40.001.txt", "n100w20.001.txt")),
    BenchSet("Langevin", "tsptw/Langevin", 100, ("N20ft301.dat", "N40ft201.dat", "N60ft401.dat")),
    BenchSet("SolomonPotvinBengio", "tsptw/SolomonPotvinBengio", 100, ("rc_201.1.txt", "rc_204.1.txt", "rc_208.1.txt")),
]

FIELDS = ["set", "instance", "n", "budget", "best_known", "value", "gap_pct", "lateness_s",
          "classic_feasible", "descents", "time_s", "wall_s", "problems"]


@dataclass(frozen=True)
class Task:
    set_name: str
    path: str
    scale: Optional[int]
    best: Decimal  # published units
    budgets: tuple[Optional[int], ...]


def budget_label(budget: Optional[int]) -> str:
    return "descent" if budget is None else "%d s" % budget


def parse_budgets(text: str) -> tuple[Optional[int], ...]:
    budgets = []
    for item in text.split(","):
        item = item.strip()
        if item == "descent":
            budgets.append(None)
        elif item.isdigit():
            budgets.append(int(item))
        else:
            raise argparse.ArgumentTypeError("a budget is a whole number of seconds or 'descent', not %r" % item)
    if not budgets:
        raise argparse.ArgumentTypeError("no budget given")
    return tuple(budgets)


def gap_pct(value: Decimal, best: Decimal) -> float:
    return float((value - best) / best * 100) if best else 0.0


# ------------------------------------------------------------------ solving

def run_task(task: Task) -> list[dict]:
    """Solve one instance at every budget; one row per budget."""
    import tourloom

    if task.scale is None:
        from tourloom_kit import tsplib
        name, matrix, _ = tsplib.load_matrix(task.path)
        arguments = {"distance_matrix": matrix}
        instance = None
    else:
        instance = tsptw.read_instance(task.path, task.scale)
        name, matrix = instance.name, instance.times
        arguments = tsptw.solve_arguments(instance)
    n = len(matrix)
    rows = []
    for budget in task.budgets:
        wall = time.perf_counter()
        out = tourloom.solve(**arguments, time_limit=budget)
        wall = time.perf_counter() - wall
        route = out.route
        problems = []
        if sorted(route) != list(range(n)):
            problems.append("route is not a permutation")
            cost = out.distance
        else:
            cost = tsptw.tour_cost(matrix, route)
        if cost != out.distance:
            problems.append("distance %d but the tour costs %d" % (out.distance, cost))
        value = Decimal(cost) / (task.scale or 1)
        row = {
            "set": task.set_name, "instance": name, "n": n, "budget": budget_label(budget),
            "best_known": str(task.best), "value": str(value), "gap_pct": "%.3f" % gap_pct(value, task.best),
            "lateness_s": "", "classic_feasible": "", "descents": out.iterations,
            "time_s": "%.3f" % (out.time_taken_microseconds / 1e6), "wall_s": "%.3f" % wall,
        }
        if instance is not None and not problems:
            classic = tsptw.classic_timeline(instance, route)
            row["lateness_s"] = out.lateness
            row["classic_feasible"] = "yes" if classic.feasible else "no"
            if tsptw.module_verdict(instance, out) != classic.feasible:
                problems.append("solver figures (lateness %d, end %d) disagree with the classic replay (%s)"
                                % (out.lateness, out.end_time, "feasible" if classic.feasible else "infeasible"))
        row["problems"] = "; ".join(problems)
        rows.append(row)
    return rows


def collect_tasks(data: str, budgets, quick: bool, only_sets, only_instances) -> list[Task]:
    from tourloom_kit import tsplib

    tasks = []
    for bench_set in SETS:
        if only_sets and bench_set.name not in only_sets:
            continue
        folder = os.path.join(data, bench_set.folder)
        if bench_set.scale is None:
            best = {k: Decimal(v) for k, v in tsplib.read_optimal(os.path.join(folder, "optimal.txt")).items()}
            paths = tsplib.instance_paths(folder)
            key = lambda p: os.path.basename(p)[:-4]  # noqa: E731
        else:
            best = {k: v.cost for k, v in tsptw.read_best_known(os.path.join(folder, "best_known.txt")).items()}
            paths = [os.path.join(folder, f) for f in best]
            key = os.path.basename
        chosen = []
        for path in paths:
            name = key(path)
            if quick and name not in bench_set.quick:
                continue
            if only_instances and name not in only_instances:
                continue
            if name not in best:
                raise SystemExit("quality.py: no optimal or best-known value for %s" % path)
            chosen.append(Task(bench_set.name, path, bench_set.scale, best[name], budgets))
        # Smallest first, then by name: 'n20w20.001' before 'n100w20.001'.
        chosen.sort(key=lambda t: (os.path.getsize(t.path), os.path.basename(t.path)))
        tasks += chosen
    return tasks


# ------------------------------------------------------------------ reports

def machine() -> dict:
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return {"nproc": os.cpu_count(), "cpu": model, "system": platform.platform(),
            "python": "%s %s" % (platform.python_implementation(), platform.python_version())}


def source_revision() -> str:
    rev = os.environ.get("TOURLOOM_BENCH_REVISION")
    if rev:
        return rev
    try:
        return subprocess.run(["git", "-C", ROOT, "describe", "--always", "--dirty"], capture_output=True,
                              text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def summarize(rows: list[dict]) -> list[dict]:
    """One line per (set, budget): gap statistics over every tour for TSPLIB,
    over the classic-feasible tours for the time-window sets."""
    groups: dict[tuple[str, str], list[dict]] = {}
    for row in rows:
        groups.setdefault((row["set"], row["budget"]), []).append(row)
    lines = []
    for (set_name, budget), group in groups.items():
        timed = group[0]["classic_feasible"] != ""
        counted = [r for r in group if r["classic_feasible"] == "yes"] if timed else group
        gaps = [float(r["gap_pct"]) for r in counted]
        lines.append({
            "set": set_name, "budget": budget, "instances": len(group),
            "feasible": "%d/%d" % (len(counted), len(group)) if timed else "",
            "mean_gap": statistics.fmean(gaps) if gaps else None,
            "median_gap": statistics.median(gaps) if gaps else None,
            "max_gap": max(gaps) if gaps else None,
            "at_best": sum(1 for g in gaps if g <= 0),
            "mean_descents": statistics.fmean(int(r["descents"]) for r in group),
            "mean_time": statistics.fmean(float(r["time_s"]) for r in group),
            "problems": sum(1 for r in group if r["problems"]),
        })
    return lines


def order_rows(rows: list[dict], tasks: list[Task]) -> list[dict]:
    position = {}
    for i, task in enumerate(tasks):
        position[(task.set_name, os.path.basename(task.path))] = i
    budgets = [budget_label(b) for b in tasks[0].budgets] if tasks else []

    def key(row):
        stem = row["instance"] if row["set"] != "TSPLIB" else row["instance"] + ".tsp"
        return position.get((row["set"], stem), len(position)), budgets.index(row["budget"])
    return sorted(rows, key=key)


def header_lines(info: dict) -> list[str]:
    return [
        "tourloom quality benchmark",
        "command: %s" % info["command"],
        "machine: nproc %s, %s; %s; %s" % (info["nproc"], info["cpu"], info["system"], info["python"]),
        "date: %s to %s (UTC); load average at start %s, at end %s" % (
            info["started"], info["finished"], info["load_start"], info["load_end"]),
        "tourloom source: %s" % info["revision"],
        "budgets: time_limit per instance (descent = no limit: one deterministic descent); "
        "time-window instances modelled with k = %d, B = %d" % (tsptw.K, tsptw.BASE),
    ]


def fmt(value: Optional[float], digits: int = 3) -> str:
    return "—" if value is None else "%.*f" % (digits, value)


def write_csv(path: str, rows: list[dict], info: Optional[dict]) -> None:
    with open(path, "w", newline="") as f:
        if info:
            for line in header_lines(info):
                f.write("# %s\n" % line)
        writer = csv.DictWriter(f, fieldnames=FIELDS)
        writer.writeheader()
        writer.writerows(rows)


def read_csv(path: str) -> list[dict]:
    with open(path, newline="") as f:
        return list(csv.DictReader(line for line in f if not line.startswith("#")))


def common_summary(rows: list[dict]) -> list[dict]:
    """For each time-window set: the instances whose tour is classic-feasible
    at every budget of the run, and their mean gap per budget, so that the
    budgets are compared on the same instances."""
    lines = []
    for set_name in dict.fromkeys(r["set"] for r in rows):
        group = [r for r in rows if r["set"] == set_name]
        if group[0]["classic_feasible"] == "":
            continue
        by_instance: dict[str, list[dict]] = {}
        for r in group:
            by_instance.setdefault(r["instance"], []).append(r)
        kept = {name for name, rs in by_instance.items() if all(r["classic_feasible"] == "yes" for r in rs)}
        means = {}
        for budget in dict.fromkeys(r["budget"] for r in group):
            gaps = [float(r["gap_pct"]) for r in group if r["budget"] == budget and r["instance"] in kept]
            means[budget] = statistics.fmean(gaps) if gaps else None
        lines.append({"set": set_name, "kept": len(kept), "instances": len(by_instance), "means": means})
    return lines


def csv_header(path: str) -> list[str]:
    """The header lines a CSV written by this script starts with."""
    with open(path) as f:
        return [line[2:].rstrip("\n") for line in f if line.startswith("# ")]


def write_markdown(path: str, rows: list[dict], head: list[str]) -> None:
    out = []
    out.append("# " + head[0])
    out.append("")
    out += ["- %s" % line for line in head[1:]]
    out.append("")
    out.append("Gap % = (value − best known) / best known × 100. For the time-window sets the value is the classic "
               "tour cost of the returned tour (rotated to start at the depot) in the files' units, and the gap "
               "statistics count only tours that are feasible by the classic rules; `feasible` says how many were. "
               "`lateness_s` is the solver's own lateness in model seconds; `classic_feasible` is replayed "
               "independently from the route.")
    out.append("")
    out.append("## Summary")
    out.append("")
    out.append("| set | budget | instances | classic-feasible | mean gap % | median gap % | max gap % "
               "| at best known | mean descents | mean time s |")
    out.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for line in summarize(rows):
        out.append("| %s | %s | %d | %s | %s | %s | %s | %d | %.0f | %.2f |" % (
            line["set"], line["budget"], line["instances"], line["feasible"] or "—", fmt(line["mean_gap"]),
            fmt(line["median_gap"]), fmt(line["max_gap"]), line["at_best"], line["mean_descents"],
            line["mean_time"]))
    common = common_summary(rows)
    if common:
        budgets = list(common[0]["means"])
        out += ["", "Time-window sets on the same instances: mean gap % over the instances whose tour is "
                "classic-feasible at every budget (the means above are over different instances per budget).", ""]
        out.append("| set | instances | " + " | ".join(budgets) + " |")
        out.append("|---|---:|" + "---:|" * len(budgets))
        for line in common:
            out.append("| %s | %d/%d | %s |" % (line["set"], line["kept"], line["instances"],
                                               " | ".join(fmt(line["means"].get(b)) for b in budgets)))
    flagged = [r for r in rows if r["problems"]]
    out.append("")
    if flagged:
        out.append("**Rows with problems (%d):**" % len(flagged))
        out.append("")
        for r in flagged:
            out.append("- %s %s %s: %s" % (r["set"], r["instance"], r["budget"], r["problems"]))
    else:
        out.append("Every returned route was a permutation, its reported distance matched the recomputed tour "
                   "cost, and for time-window instances the solver's lateness and end time agreed with the "
                   "classic replay.")
    for set_name in dict.fromkeys(r["set"] for r in rows):
        group = [r for r in rows if r["set"] == set_name]
        timed = group[0]["classic_feasible"] != ""
        out += ["", "## %s" % set_name, ""]
        if timed:
            out.append("| instance | n | budget | best known | value | gap % | lateness s | classic-feasible "
                       "| descents | time s |")
            out.append("|---|---:|---|---:|---:|---:|---:|---|---:|---:|")
            for r in group:
                out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    r["instance"], r["n"], r["budget"], r["best_known"], r["value"], r["gap_pct"],
                    r["lateness_s"], r["classic_feasible"], r["descents"], r["time_s"]))
        else:
            out.append("| instance | n | budget | optimum | value | gap % | descents | time s |")
            out.append("|---|---:|---|---:|---:|---:|---:|---:|")
            for r in group:
                out.append("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
                    r["instance"], r["n"], r["budget"], r["best_known"], r["value"], r["gap_pct"],
                    r["descents"], r["time_s"]))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def load_average() -> str:
    try:
        return "%.2f %.2f %.2f" % os.getloadavg()
    except OSError:
        return "unknown"


def now() -> str:
    return dt.datetime.now(dt.timezone.utc).strftime("%Y-%m-%d %H:%M")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="a few instances per set (default budget 1 s)")
    parser.add_argument("--budgets", type=parse_budgets, help="comma-separated: seconds or 'descent' (default 1,10)")
    parser.add_argument("--sets", help="comma-separated subset of: " + ", ".join(s.name for s in SETS))
    parser.add_argument("--instances", help="comma-separated instance names (TSPLIB without .tsp)")
    parser.add_argument("--data", default=DEFAULT_DATA, help="benchmark folder (default %(default)s)")
    parser.add_argument("--out", help="output folder (default bench/results; build/bench-quick with --quick)")
    parser.add_argument("--name", default="quality", help="file stem of the tables (default %(default)s)")
    parser.add_argument("--jobs", type=int, default=1, help="instances solved at once, in processes (default 1)")
    parser.add_argument("--render", metavar="CSV", help="solve nothing: write the Markdown table of an earlier "
                        "run's CSV beside it")
    args = parser.parse_args(argv)
    if args.render:
        md_path = os.path.splitext(args.render)[0] + ".md"
        write_markdown(md_path, read_csv(args.render), csv_header(args.render))
        print("quality: wrote", md_path)
        return 0

    budgets = args.budgets or ((1,) if args.quick else (1, 10))
    if args.out is None:
        args.out = os.path.join(ROOT, "build", "bench-quick") if args.quick else os.path.join(HERE, "results")
    only_sets = set(args.sets.split(",")) if args.sets else None
    unknown = (only_sets or set()) - {s.name for s in SETS}
    if unknown:
        parser.error("unknown set(s): %s" % ", ".join(sorted(unknown)))
    if not os.path.isdir(args.data):
        parser.error("no benchmark folder at %s (use --data or TOURLOOM_BENCHMARKS)" % args.data)
    only_instances = set(args.instances.split(",")) if args.instances else None
    tasks = collect_tasks(args.data, budgets, args.quick, only_sets, only_instances)
    if not tasks:
        parser.error("no instance selected")

    os.makedirs(args.out, exist_ok=True)
    csv_path = os.path.join(args.out, args.name + ".csv")
    md_path = os.path.join(args.out, args.name + ".md")
    command = os.environ.get("TOURLOOM_BENCH_COMMAND") or "python bench/quality.py " + " ".join(
        argv if argv is not None else sys.argv[1:])
    info = dict(machine(), command=command.strip(), started=now(), load_start=load_average(),
                revision=source_revision())
    print("quality: %d instances x %d budgets (%s), %d job(s) -> %s" % (
        len(tasks), len(budgets), ", ".join(budget_label(b) for b in budgets), args.jobs, csv_path), flush=True)

    rows: list[dict] = []
    start = time.perf_counter()
    with open(csv_path, "w", newline="") as partial:
        writer = csv.DictWriter(partial, fieldnames=FIELDS)
        writer.writeheader()

        def record(task_rows):
            rows.extend(task_rows)
            writer.writerows(task_rows)
            partial.flush()
            for r in task_rows:
                print("  %-20s %-16s %-7s gap %8s%%  %s%s" % (
                    r["set"], r["instance"], r["budget"], r["gap_pct"],
                    {"yes": "feasible", "no": "INFEASIBLE", "": ""}[r["classic_feasible"]],
                    ("  PROBLEM: " + r["problems"]) if r["problems"] else ""), flush=True)

        if args.jobs <= 1:
            for task in tasks:
                record(run_task(task))
        else:
            with ProcessPoolExecutor(max_workers=args.jobs) as pool:
                for future in as_completed([pool.submit(run_task, t) for t in tasks]):
                    record(future.result())

    info.update(finished=now(), load_end=load_average())
    rows = order_rows(rows, tasks)
    write_csv(csv_path, rows, info)
    write_markdown(md_path, rows, header_lines(info))
    elapsed = time.perf_counter() - start
    print("quality: done in %.0f s; wrote %s and %s" % (elapsed, csv_path, md_path))
    for line in summarize(rows):
        print("  %-20s %-8s mean gap %6s%%  %s" % (line["set"], line["budget"], fmt(line["mean_gap"]),
                                                  ("feasible " + line["feasible"]) if line["feasible"] else ""))
    return 1 if any(r["problems"] for r in rows) else 0


if __name__ == "__main__":
    sys.exit(main())

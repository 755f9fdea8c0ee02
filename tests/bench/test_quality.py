import argparse
import os

import pytest

import quality

TSP = """NAME : square5
TYPE : TSP
DIMENSION : 5
EDGE_WEIGHT_TYPE : EUC_2D
NODE_COORD_SECTION
1 0 0
2 30 0
3 30 40
4 0 40
5 0 20
EOF
"""
# Around the rectangle: 30 + 40 + 30 + 20 + 20 = 140, the shortest tour.

TSPTW = """4
0 3 5 4
3 0 2 6
5 2 0 1
4 6 1 0
0 30
5 8
0 20
9 12
"""
# Depot first in file order: 1 at 3, waits to 5; 2 at 7; 3 at 8, waits to
# 9; back at 13 <= 30: feasible, cost 3 + 2 + 1 + 4 = 10.


@pytest.fixture
def fake_data(tmp_path):
    (tmp_path / "tsplib").mkdir()
    (tmp_path / "tsplib" / "square5.tsp").write_text(TSP)
    (tmp_path / "tsplib" / "optimal.txt").write_text("square5 : 140\n")
    dumas = tmp_path / "tsptw" / "Dumas"
    dumas.mkdir(parents=True)
    (dumas / "tiny.txt").write_text(TSPTW)
    (dumas / "best_known.txt").write_text("# Instance Cost CV Permutation\ntiny.txt 10 0 1 2 3\n")
    return tmp_path


@pytest.mark.parametrize("text, budgets", [
    ("1,10", (1, 10)), ("descent", (None,)), ("descent, 1, 3", (None, 1, 3)), ("0", (0,)),
], ids=str)
def test_parse_budgets(text, budgets):
    assert quality.parse_budgets(text) == budgets


@pytest.mark.parametrize("text", ["", "1.5", "-1", "none", "1,,2"], ids=repr)
def test_parse_budgets_refuses(text):
    with pytest.raises(argparse.ArgumentTypeError):
        quality.parse_budgets(text)


@pytest.mark.parametrize("value, best, gap", [
    ("110", "100", 10.0), ("100", "100", 0.0), ("444.53", "444.54", -0.00224956), ("7013", "7013", 0.0),
], ids=str)
def test_gap_pct(value, best, gap):
    assert quality.gap_pct(quality.Decimal(value), quality.Decimal(best)) == pytest.approx(gap, abs=1e-6)


def row(set_name, budget, gap, feasible="", descents=1, problems=""):
    return {"set": set_name, "instance": "x", "budget": budget, "gap_pct": "%.3f" % gap,
            "classic_feasible": feasible, "descents": descents, "time_s": "1.000", "problems": problems}


def test_summary_counts_only_feasible_tours_for_time_windows():
    rows = [row("Dumas", "1 s", 0.0, "yes"), row("Dumas", "1 s", 2.0, "yes"), row("Dumas", "1 s", -5.0, "no"),
            row("TSPLIB", "1 s", 1.0), row("TSPLIB", "1 s", 3.0, problems="bad")]
    lines = {(s["set"], s["budget"]): s for s in quality.summarize(rows)}
    dumas, tsplib = lines[("Dumas", "1 s")], lines[("TSPLIB", "1 s")]
    # the infeasible tour's -5 % is left out: mean of 0 and 2
    assert (dumas["instances"], dumas["feasible"], dumas["mean_gap"], dumas["at_best"]) == (3, "2/3", 1.0, 1)
    assert (tsplib["feasible"], tsplib["mean_gap"], tsplib["max_gap"], tsplib["problems"]) == ("", 2.0, 3.0, 1)


def test_summary_of_a_set_without_feasible_tours():
    [line] = quality.summarize([row("Langevin", "descent", 4.0, "no")])
    assert line["feasible"] == "0/1" and line["mean_gap"] is None


def test_common_summary_compares_budgets_on_the_same_instances():
    rows = [dict(row("Dumas", b, g, f), instance=i) for i, b, g, f in [
        ("a", "1 s", 0.0, "yes"), ("a", "10 s", 0.0, "yes"),
        ("b", "1 s", 3.0, "no"), ("b", "10 s", 1.0, "yes"),   # left out: infeasible at 1 s
        ("c", "1 s", 4.0, "yes"), ("c", "10 s", 2.0, "yes"),
    ]] + [row("TSPLIB", "1 s", 5.0)]
    [line] = quality.common_summary(rows)
    assert (line["set"], line["kept"], line["instances"]) == ("Dumas", 2, 3)
    assert line["means"] == {"1 s": 2.0, "10 s": 1.0}  # means of (0, 4) and (0, 2)


def test_end_to_end_on_small_instances(fake_data, tmp_path, capsys):
    out = tmp_path / "out"
    status = quality.main(["--data", str(fake_data), "--sets", "TSPLIB,Dumas", "--budgets", "descent,0",
                           "--out", str(out), "--name", "q"])
    assert status == 0
    rows = quality.read_csv(str(out / "q.csv"))
    assert [(r["set"], r["instance"], r["budget"]) for r in rows] == [
        ("TSPLIB", "square5", "descent"), ("TSPLIB", "square5", "0 s"),
        ("Dumas", "tiny.txt", "descent"), ("Dumas", "tiny.txt", "0 s")]
    by = {(r["instance"], r["budget"]): r for r in rows}
    # a zero limit returns the identity order: 0-1-2-3-4 around the square, 140
    assert by[("square5", "0 s")]["value"] == "140" and by[("square5", "0 s")]["descents"] == "0"
    assert float(by[("square5", "descent")]["gap_pct"]) >= 0
    tiny = by[("tiny.txt", "0 s")]
    assert (tiny["value"], tiny["gap_pct"], tiny["lateness_s"], tiny["classic_feasible"]) == ("10", "0.000", "0", "yes")
    assert all(r["problems"] == "" for r in rows)
    csv_text = (out / "q.csv").read_text()
    assert csv_text.startswith("# tourloom quality benchmark\n# command: python bench/quality.py --data")
    assert "# machine: nproc %d" % os.cpu_count() in csv_text
    md = (out / "q.md").read_text()
    assert "| Dumas | 0 s | 1 | 1/1 | 0.000 |" in md
    assert "## TSPLIB" in md and "| square5 | 5 | 0 s | 140 | 140 | 0.000 | 0 |" in md
    assert "| Dumas | 1/1 | 0.000 | 0.000 |" in md
    # the Markdown can be written again from the CSV alone
    (out / "q.md").unlink()
    assert quality.main(["--render", str(out / "q.csv")]) == 0
    assert (out / "q.md").read_text() == md


def test_missing_optimum_stops_the_run(fake_data):
    (fake_data / "tsplib" / "optimal.txt").write_text("other : 1\n")
    with pytest.raises(SystemExit, match="no optimal or best-known value for .*square5.tsp"):
        quality.collect_tasks(str(fake_data), (1,), False, {"TSPLIB"}, None)


def test_quick_selects_the_listed_subset(data):
    tasks = quality.collect_tasks(data, (1,), True, None, None)
    chosen = {(t.set_name, os.path.basename(t.path)) for t in tasks}
    expected = {(s.name, q + ".tsp" if s.scale is None else q) for s in quality.SETS for q in s.quick}
    assert chosen == expected


def test_figures_are_drawn(fake_data, tmp_path):
    pytest.importorskip("matplotlib")
    import plots

    out = tmp_path / "out"
    quality.main(["--data", str(fake_data), "--budgets", "descent,0", "--out", str(out), "--sets", "TSPLIB,Dumas"])
    assert plots.main([str(out / "quality.csv")]) == 0
    for name in ("gap_TSPLIB.png", "gap_Dumas.png"):
        assert (out / name).read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"

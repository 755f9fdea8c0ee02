"""The type stub against the installed module: mypy's stubtest, the README's
typed recipe through `mypy --strict` and then run, and snippets that the stub
and the module must judge alike (what mypy refuses fails at run time, what it
accepts runs). Needs mypy and numpy next to the installed tourloom."""

import ast
import os
import re
import subprocess
import sys
import sysconfig
import textwrap

import pytest

import tourloom

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
STUB = os.path.join(sysconfig.get_paths()["purelib"], "tourloom-stubs", "__init__.pyi")
RECIPE_MARK = "<!-- typed recipe -->"

pytestmark = pytest.mark.skipif(sys.version_info < (3, 10), reason="the recipe uses a match statement")


def readme_recipe():
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read()
    found = re.search(re.escape(RECIPE_MARK) + r"\s*```python\n(.*?)```", text, re.S)
    assert found, "README.md has no python block after " + RECIPE_MARK
    return found.group(1)


WINDOWS = "[[(1_700_000_000, 1_700_090_000)]] * 3"
MATRIX = "[[0, 5, 9], [5, 0, 4], [9, 4, 0]]"

# id -> (snippet, mypy error code expected or None, exception at run time or None)
SNIPPETS = {
    "numpy arrays as matrices and lists": (f"""
        import numpy as np
        import tourloom
        m = np.array({MATRIX}, dtype=np.uint64)
        out = tourloom.solve(m, m * 60, np.array([60, 60, 60]), {WINDOWS}, (np.int64(0), 86400), time_limit=np.uint8(0))
        assert out.schedule is not None
        """, None, None),
    "tuples, ranges, bytes and bools": (f"""
        import tourloom
        out = tourloom.solve(({MATRIX[1:-1]}), None, range(3), None, None, True)
        tourloom.solve([b"\\x00\\x01", b"\\x01\\x00"])
        assert out.route[0] in range(3)
        """, None, None),
    "an event class rebuilt from its payload": (f"""
        import tourloom
        out = tourloom.solve({MATRIX}, {MATRIX}, [60, 60, 60], {WINDOWS})
        assert out.schedule
        first = out.schedule[0]
        if isinstance(first, first.Work):
            again = first.Work(first._0)
            assert again[0].window == first._0.window
        """, None, None),
    "an event class imported from the module": ("""
        from tourloom import PyEvent
        """, "attr-defined", ImportError),
    "a payload class imported from the module": ("""
        from tourloom import PyWork
        """, "attr-defined", ImportError),
    "a str as a row": ("""
        import tourloom
        tourloom.solve(["ab", "ba"])
        """, "list-item", TypeError),
    "a float entry": ("""
        import tourloom
        tourloom.solve([[0.5]])
        """, "list-item", TypeError),
    "a list as operating hours": (f"""
        import tourloom
        tourloom.solve({MATRIX}, operation_times=[0, 86400])
        """, "arg-type", TypeError),
    "a flat list as the matrix": ("""
        import tourloom
        tourloom.solve([0, 1])
        """, "list-item", TypeError),
    "a result attribute assigned": (f"""
        import tourloom
        out = tourloom.solve({MATRIX})
        out.distance = 3
        """, "misc", AttributeError),
}


@pytest.fixture(scope="module")
def mypy_errors(tmp_path_factory):
    """One `mypy --strict` run over the recipe and every snippet: file stem -> error codes."""
    folder = tmp_path_factory.mktemp("typed")
    sources = {"recipe": readme_recipe()}
    sources.update({f"snippet_{i}": textwrap.dedent(code) for i, (code, _, _) in enumerate(SNIPPETS.values())})
    for stem, code in sources.items():
        (folder / f"{stem}.py").write_text(code, encoding="utf-8")
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--show-error-codes",
         "--cache-dir", str(folder / ".cache"), *sorted(str(folder / f"{s}.py") for s in sources)],
        capture_output=True, text=True, cwd=str(folder))
    errors = {stem: [] for stem in sources}
    for line in done.stdout.splitlines():
        found = re.match(r".*?(\w+)\.py:\d+: error: .*\[([\w-]+)\]$", line)
        if found:
            errors[found.group(1)].append(found.group(2))
    assert done.returncode in (0, 1), done.stdout + done.stderr
    return errors, done.stdout


def test_stubtest_is_clean(tmp_path):
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", "tourloom"],
                          capture_output=True, text=True, cwd=str(tmp_path))
    assert done.returncode == 0, done.stdout + done.stderr


def test_readme_recipe_type_checks_and_runs(mypy_errors, capsys):
    errors, report = mypy_errors
    assert errors["recipe"] == [], report
    exec(compile(readme_recipe(), "README.md recipe", "exec"), {"__name__": "__main__"})
    printed = capsys.readouterr().out
    assert "work at" in printed and "travel" in printed


@pytest.mark.parametrize("name", list(SNIPPETS), ids=list(SNIPPETS))
def test_stub_and_module_agree(name, mypy_errors):
    code, error_code, exception = SNIPPETS[name]
    errors, report = mypy_errors
    index = list(SNIPPETS).index(name)
    assert set(errors[f"snippet_{index}"]) == ({error_code} if error_code else set()), report
    run = lambda: exec(compile(textwrap.dedent(code), name, "exec"), {})  # noqa: E731
    if exception is None:
        run()
    else:
        with pytest.raises(exception):
            run()


def stub_classes():
    """The schedule's classes as the stub declares them: runtime name -> public members."""
    tree = ast.parse(open(STUB, encoding="utf-8").read())
    output = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "PyOutput")
    declared = {}
    for node in output.body:
        if isinstance(node, ast.ClassDef):
            members = set()
            for item in node.body:
                if isinstance(item, (ast.FunctionDef, ast.AsyncFunctionDef)):
                    members.add(item.name)
                elif isinstance(item, ast.AnnAssign):
                    members.add(item.target.id)
                elif isinstance(item, ast.Assign):
                    members.update(t.id for t in item.targets)
            declared[node.name.lstrip("_")] = members
    return declared


def runtime_classes():
    """The seven classes, reached through a schedule that has every kind of event."""
    hour = 3600
    out = tourloom.solve([[0, 5], [5, 0]], [[0, 60], [60, 0]], [60, 60],
                         [[(0, hour)], [(5 * hour, 6 * hour)]], operation_times=(0, 86400))
    base = type(out.schedule[0]).__mro__[1]
    classes = {c.__name__: c for c in (base, base.Work, base.Wait, base.Travel)}
    for event in out.schedule:
        classes[type(event._0).__name__] = type(event._0)
    assert len(classes) == 7, sorted(classes)
    return classes


# Dunders that the stub declares where the runtime class defines them; the
# others (__doc__, __module__, slots wrappers, __new__ of the classes without
# a constructor) are the interpreter's.
DECLARED_DUNDERS = {"__len__", "__getitem__", "__match_args__"}


def test_schedule_classes_match_the_runtime():
    """stubtest cannot reach these classes (they are no module attributes):
    their declared members must be what the runtime classes define."""
    declared = stub_classes()
    for name, cls in runtime_classes().items():
        own = {m for m in vars(cls) if not m.startswith("__") or m in DECLARED_DUNDERS}
        assert declared.get(name, set()) - {"__new__"} == own, name

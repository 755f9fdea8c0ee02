"""The reference-coverage check (scripts/check-docs-reference.py): which
names of the stub and the kit it asks the built pages for, and that one
missing entry fails it, naming the entry."""

import importlib.util
import sys
import textwrap
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "check-docs-reference.py"
spec = importlib.util.spec_from_file_location("check_docs_reference", SCRIPT)
check = importlib.util.module_from_spec(spec)
sys.modules["check_docs_reference"] = check
spec.loader.exec_module(check)

STUB = textwrap.dedent("""\
    from typing import Protocol
    _Int = int
    __all__ = ["solve", "Result"]
    class _Helper(Protocol):
        def __getitem__(self, i: int) -> int: ...
    def solve(x: int) -> "Result": ...
    def _private() -> None: ...
    class Result:
        size: int
        _hidden: int
        def __len__(self) -> int: ...
        @property
        def route(self) -> list: ...
        class _Event:
            Work: type
            @property
            def _0(self) -> int: ...
            @property
            def window(self) -> int: ...
    """)


def test_the_stub_names_asked_for():
    assert check.stub_names(STUB, "mod") == [
        "mod.solve", "mod.Result", "mod.Result.size", "mod.Result.route",
        "mod.Result._Event", "mod.Result._Event.Work", "mod.Result._Event.window"]


def test_the_kit_names_are_asked_for_where_they_are_defined():
    init = "import os\nfrom . import tsplib, tsptw\nfrom .batch import solve_many, SolveError\nfrom ._extras import X\n"
    assert check.kit_names(init, "kit") == [
        "kit.tsplib", "kit.tsptw", "kit.batch.solve_many", "kit.batch.SolveError", "kit._extras.X"]


def test_one_missing_entry_fails_and_is_named(tmp_path, capsys):
    root = check.ROOT
    expected = (check.stub_names((root / "tourloom.pyi").read_text())
                + check.kit_names((root / "python" / "tourloom_kit" / "__init__.py").read_text()))
    assert "tourloom.PyOutput.waiting_time" in expected and "tourloom_kit.batch.solve_many" in expected
    pages = tmp_path / "reference" / "api"
    pages.mkdir(parents=True)
    page = pages / "index.html"
    page.write_text("".join('<h2 id="%s">x</h2>\n' % name for name in expected))
    assert check.main(["--site", str(tmp_path)]) == 0
    page.write_text("".join('<h2 id="%s">x</h2>\n' % name for name in expected
                            if name != "tourloom.PyOutput._PyWork.location"))
    assert check.main(["--site", str(tmp_path)]) == 1
    assert capsys.readouterr().err.splitlines()[1:] == ["  tourloom.PyOutput._PyWork.location"]

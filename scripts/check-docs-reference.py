"""Every name of the API has its entry in the built reference pages: each
function, class and attribute of the module's type stub (the schedule's
classes inside PyOutput included) and each name tourloom_kit exports.
mkdocstrings leaves out, without failing the strict build, whatever a
filter drops or a moved module no longer holds; this check does not.

    python3 scripts/check-docs-reference.py [--site build/site]
"""

from __future__ import annotations

import argparse
import ast
import re
import sys
from pathlib import Path
from typing import Iterable, List, Set

ROOT = Path(__file__).resolve().parents[1]
ANCHOR = re.compile(r'\bid="([^"]+)"')


def stub_names(text: str, module: str = "tourloom") -> List[str]:
    """The dotted names a reader of the stub can meet: public functions and
    classes, the classes declared inside a class (private-looking names
    there are the schedule's classes, reached through events), and the
    public attributes, properties and methods of every class."""
    names: List[str] = []

    def walk(body: Iterable[ast.stmt], prefix: str, in_class: bool) -> None:
        for node in body:
            if isinstance(node, ast.ClassDef):
                if node.name.startswith("_") and not in_class:
                    continue  # the stub's own typing helpers
                names.append(prefix + node.name)
                walk(node.body, prefix + node.name + ".", True)
            elif isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)) and not node.name.startswith("_"):
                names.append(prefix + node.name)
            elif (in_class and isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name)
                  and not node.target.id.startswith("_")):
                names.append(prefix + node.target.id)

    walk(ast.parse(text).body, module + ".", False)
    return names


def kit_names(init_text: str, package: str = "tourloom_kit") -> List[str]:
    """Where each name the package imports from its own modules is
    documented: `from .batch import solve_many` is tourloom_kit.batch.solve_many,
    `from . import tsplib` the module tourloom_kit.tsplib."""
    names: List[str] = []
    for node in ast.parse(init_text).body:
        if isinstance(node, ast.ImportFrom) and node.level == 1:
            for alias in node.names:
                parts = [package] + ([node.module] if node.module else []) + [alias.name]
                names.append(".".join(parts))
    return names


def anchors(site: Path) -> Set[str]:
    found: Set[str] = set()
    for page in (site / "reference").rglob("*.html"):
        found.update(ANCHOR.findall(page.read_text(encoding="utf-8")))
    return found


def missing(expected: Iterable[str], present: Set[str]) -> List[str]:
    return [name for name in expected if name not in present]


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--site", type=Path, default=ROOT / "build" / "site")
    args = parser.parse_args(argv)
    expected = (stub_names((ROOT / "tourloom.pyi").read_text(encoding="utf-8"))
                + kit_names((ROOT / "python" / "tourloom_kit" / "__init__.py").read_text(encoding="utf-8")))
    absent = missing(expected, anchors(args.site))
    if absent:
        print("docs reference: %d of %d API names have no entry under %s/reference:" % (
            len(absent), len(expected), args.site), file=sys.stderr)
        for name in absent:
            print("  " + name, file=sys.stderr)
        return 1
    print("docs reference: all %d API names have their entry" % len(expected))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

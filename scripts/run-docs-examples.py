"""Run every Python example of the documentation and check what it prints.

    python scripts/run-docs-examples.py [PAGE.md ...]     # default: every page under docs/

The rules (the same for every page):
- every ```python fenced block runs; the blocks of one page run in order in
  one shared namespace, like a doctest session, with the repository root as
  the working directory and the tourloom this interpreter imports;
- a ```text block right after a python block (blank lines between are
  allowed) is that block's expected standard output, compared exactly after
  trailing whitespace is stripped from every line and from the end;
- `<!-- skip-example -->` on the line right before a python block skips it.

Fences may be indented (inside an admonition or a list); the indentation of
the opening fence is removed from the block. Exits non-zero when a block
raises or prints something else, naming the page and the block's line.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import os
import re
import sys
import time
import traceback
from dataclasses import dataclass
from pathlib import Path
from typing import List, Optional

ROOT = Path(__file__).resolve().parents[1]
SKIP = "<!-- skip-example -->"
FENCE = re.compile(r"^(?P<indent>[ \t]*)(?P<fence>`{3,}|~{3,})\s*(?P<lang>[\w+-]*)")


@dataclass
class Block:
    lang: str
    line: int  # 1-based line of the opening fence
    code: str
    skipped: bool
    expected: Optional[str] = None
    gap_blank: bool = False  # only blank lines between this block and the next fence


def blocks_of(text: str) -> List[Block]:
    """The fenced blocks of a page, each python block with its expected
    output attached."""
    lines = text.splitlines()
    found: List[Block] = []
    i = 0
    while i < len(lines):
        opening = FENCE.match(lines[i])
        if not opening:
            i += 1
            continue
        indent, fence = opening["indent"], opening["fence"]
        body, j = [], i + 1
        while j < len(lines) and not re.match(r"^[ \t]*%s%s*\s*$" % (re.escape(fence), fence[0]), lines[j]):
            body.append(lines[j][len(indent):] if lines[j].startswith(indent) else lines[j].lstrip())
            j += 1
        skipped = i > 0 and lines[i - 1].strip() == SKIP
        found.append(Block(opening["lang"].lower(), i + 1, "\n".join(body) + "\n", skipped))
        # What lies between this block and the next: only blank lines may
        # separate a python block from its output.
        found[-1].gap_blank = all(not line.strip() for line in lines[j + 1:_next_fence(lines, j + 1)])
        i = j + 1
    for block, following in zip(found, found[1:]):
        if block.lang == "python" and following.lang == "text" and block.gap_blank:
            block.expected = following.code
    return found


def _next_fence(lines: List[str], start: int) -> int:
    for k in range(start, len(lines)):
        if FENCE.match(lines[k]):
            return k
    return len(lines)


def _normalise(output: str) -> str:
    return "\n".join(line.rstrip() for line in output.rstrip().splitlines())


def run_page(page: Path) -> List[str]:
    """Run one page's python blocks; the failures, each as a message."""
    failures: List[str] = []
    namespace = {"__name__": "__docs__"}
    name = page.relative_to(ROOT) if page.is_relative_to(ROOT) else page
    for block in blocks_of(page.read_text(encoding="utf-8")):
        if block.lang != "python":
            continue
        where = "%s:%d" % (name, block.line)
        if block.skipped:
            print("   skip  %s" % where)
            continue
        out = io.StringIO()
        start = time.perf_counter()
        try:
            with contextlib.redirect_stdout(out):
                exec(compile(block.code, where, "exec"), namespace)
        except BaseException:  # a PanicException too, which is not an Exception
            failures.append("%s raised:\n%s" % (where, traceback.format_exc()))
            print("   FAIL  %s" % where)
            continue
        took = time.perf_counter() - start
        if block.expected is not None and _normalise(out.getvalue()) != _normalise(block.expected):
            failures.append("%s printed:\n%s\nexpected:\n%s" % (where, out.getvalue(), block.expected))
            print("   FAIL  %s (output)" % where)
            continue
        print("   ok    %-48s %5.1f s%s" % (where, took, "" if block.expected is None else "  output checked"))
    return failures


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("pages", nargs="*", type=Path, help="Markdown pages (default: every page under docs/)")
    args = parser.parse_args(argv)
    pages = [page.resolve() for page in args.pages] or sorted((ROOT / "docs").rglob("*.md"))
    os.chdir(ROOT)
    failures: List[str] = []
    for page in pages:
        failures += run_page(page)
    for failure in failures:
        print("\n" + failure, file=sys.stderr)
    print("docs examples: %s" % ("%d failed" % len(failures) if failures else "every example ran"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""The layout of a TSPLIB file, checked line by line before tsplib95 reads
it: tsplib95 returns an empty problem for an empty or unreadable file,
quietly drops the nodes a truncated file lacks or a DIMENSION promises, and
reports what it does refuse without a line. This pass knows the lines, so
every FormatError it raises names one where the file has it.
"""

from __future__ import annotations

import math
import re
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

from .tsptw import FormatError

KEYWORDS = {"NAME", "TYPE", "COMMENT", "DIMENSION", "CAPACITY", "EDGE_WEIGHT_TYPE", "EDGE_WEIGHT_FORMAT",
            "EDGE_DATA_FORMAT", "NODE_COORD_TYPE", "DISPLAY_DATA_TYPE"}
SECTIONS = {"NODE_COORD_SECTION", "DEPOT_SECTION", "DEMAND_SECTION", "EDGE_DATA_SECTION", "FIXED_EDGES_SECTION",
            "DISPLAY_DATA_SECTION", "TOUR_SECTION", "EDGE_WEIGHT_SECTION"}
PROBLEM_TYPES = {"TSP", "ATSP"}
# Coordinates per node by edge weight type: what tsplib95 computes.
COORDINATES = {"EUC_2D": 2, "MAX_2D": 2, "MAN_2D": 2, "CEIL_2D": 2, "GEO": 2, "ATT": 2,
               "EUC_3D": 3, "MAX_3D": 3, "MAN_3D": 3, "XRAY1": 3, "XRAY2": 3}


def _explicit_count(form: str, n: int) -> Optional[int]:
    """How many numbers an EDGE_WEIGHT_SECTION of this format holds."""
    if form == "FULL_MATRIX":
        return n * n
    if form in ("UPPER_ROW", "LOWER_ROW", "UPPER_COL", "LOWER_COL"):
        return n * (n - 1) // 2
    if form in ("UPPER_DIAG_ROW", "LOWER_DIAG_ROW", "UPPER_DIAG_COL", "LOWER_DIAG_COL"):
        return n * (n + 1) // 2
    return None


@dataclass
class Layout:
    keywords: Dict[str, Tuple[int, str]] = field(default_factory=dict)  # key: (line, value)
    sections: Dict[str, Tuple[int, List[Tuple[int, List[str]]]]] = field(default_factory=dict)

    def line_of(self, message: str) -> Optional[int]:
        """The line a tsplib95 message is about: its field's keyword, and
        the item it counts within a section ("item.3")."""
        for name in sorted(self.sections, key=len, reverse=True):
            if name in message:
                line, rows = self.sections[name]
                item = re.search(r"item\.(\d+)", message)
                if item and int(item.group(1)) < len(rows):
                    return rows[int(item.group(1))][0]
                return line
        for name in sorted(self.keywords, key=len, reverse=True):
            if name in message:
                return self.keywords[name][0]
        return None


_KEY = re.compile(r"^\s*([A-Za-z_]+)\s*:\s*(.*?)\s*$")


def scan(text: str, source: str) -> Layout:
    layout = Layout()
    section: Optional[List[Tuple[int, List[str]]]] = None
    for number, line in enumerate(text.splitlines(), start=1):
        stripped = line.strip()
        if not stripped:
            continue
        word = stripped.split()[0].rstrip(":")
        if word == "EOF":
            section = None
            continue
        if word in SECTIONS:
            if word in layout.sections:
                raise FormatError(source, number, "%s appears twice" % word)
            section = []
            layout.sections[word] = (number, section)
            continue
        key = _KEY.match(line)
        if key and key.group(1).upper() in KEYWORDS:
            name = key.group(1).upper()
            if name in layout.keywords:
                raise FormatError(source, number, "%s appears twice" % name)
            layout.keywords[name] = (number, key.group(2))
            section = None
            continue
        if section is not None and not stripped[0].isalpha():
            section.append((number, stripped.split()))
            continue
        if key:
            raise FormatError(source, number, "unknown keyword %s" % key.group(1))
        raise FormatError(source, number, "expected 'KEYWORD : value' or a data line, found %r" % stripped[:60])
    return layout


def _numbers(source: str, line: int, tokens: List[str], what: str) -> List[float]:
    values = []
    for token in tokens:
        try:
            value = float(token)
        except ValueError:
            raise FormatError(source, line, "%s: %r is not a number" % (what, token)) from None
        if not math.isfinite(value):
            raise FormatError(source, line, "%s: %r is not a finite number" % (what, token))
        values.append(value)
    return values


def check(text: str, source: str) -> Layout:
    """Refuse a file whose layout cannot give a complete distance matrix."""
    if not text.strip():
        raise FormatError(source, None, "empty file: expected TSPLIB keywords (NAME, TYPE, DIMENSION, "
                          "EDGE_WEIGHT_TYPE) and a data section")
    layout = scan(text, source)
    keywords = layout.keywords
    if "TYPE" in keywords and keywords["TYPE"][1].split()[0:1] and keywords["TYPE"][1].split()[0] not in PROBLEM_TYPES:
        line, value = keywords["TYPE"]
        raise FormatError(source, line, "TYPE %s is not a travelling salesman problem (TSP or ATSP)" % value)
    if "DIMENSION" not in keywords:
        raise FormatError(source, None, "no DIMENSION: the number of nodes is missing")
    line, value = keywords["DIMENSION"]
    if not value.isdigit() or int(value) < 1:
        raise FormatError(source, line, "DIMENSION %r is not a positive whole number" % value)
    n = int(value)
    if "EDGE_WEIGHT_TYPE" not in keywords:
        raise FormatError(source, None, "no EDGE_WEIGHT_TYPE: the rule for the distances is missing")
    line, kind = keywords["EDGE_WEIGHT_TYPE"]
    if kind == "EXPLICIT":
        _check_explicit(layout, source, n)
    elif kind in COORDINATES:
        _check_coordinates(layout, source, n, COORDINATES[kind])
    else:
        raise FormatError(source, line, "EDGE_WEIGHT_TYPE %s: this reader cannot compute these distances (it "
                          "computes EXPLICIT, %s)" % (kind, ", ".join(sorted(COORDINATES))))
    return layout


def _check_coordinates(layout: Layout, source: str, n: int, per_node: int) -> None:
    if "NODE_COORD_SECTION" not in layout.sections:
        raise FormatError(source, None, "no NODE_COORD_SECTION: the coordinates are missing")
    line, rows = layout.sections["NODE_COORD_SECTION"]
    seen: Dict[int, int] = {}
    for number, tokens in rows:
        if len(tokens) != 1 + per_node:
            raise FormatError(source, number, "expected a node number and %d coordinates, found %d values"
                              % (per_node, len(tokens)))
        if not tokens[0].isdigit() or not 1 <= int(tokens[0]) <= n:
            raise FormatError(source, number, "node %r is not a number from 1 to the DIMENSION %d" % (tokens[0], n))
        node = int(tokens[0])
        if node in seen:
            raise FormatError(source, number, "node %d appears twice (first on line %d)" % (node, seen[node]))
        seen[node] = number
        _numbers(source, number, tokens[1:], "node %d" % node)
    if len(rows) != n:
        raise FormatError(source, line, "NODE_COORD_SECTION has %d nodes, DIMENSION says %d%s"
                          % (len(rows), n, " (the file ends early?)" if len(rows) < n else ""))


def _check_explicit(layout: Layout, source: str, n: int) -> None:
    if "EDGE_WEIGHT_FORMAT" not in layout.keywords:
        raise FormatError(source, None, "EXPLICIT weights but no EDGE_WEIGHT_FORMAT")
    form_line, form = layout.keywords["EDGE_WEIGHT_FORMAT"]
    expected = _explicit_count(form, n)
    if expected is None:
        raise FormatError(source, form_line, "EDGE_WEIGHT_FORMAT %s: this reader cannot read it" % form)
    if "EDGE_WEIGHT_SECTION" not in layout.sections:
        raise FormatError(source, None, "no EDGE_WEIGHT_SECTION: the weights are missing")
    line, rows = layout.sections["EDGE_WEIGHT_SECTION"]
    count = 0
    for number, tokens in rows:
        for value in _numbers(source, number, tokens, "weight"):
            if value < 0 or not value.is_integer():
                raise FormatError(source, number, "weight %s is not a whole number of at least 0" % value)
        count += len(tokens)
    if count != expected:
        raise FormatError(source, line, "EDGE_WEIGHT_SECTION has %d weights; %s for DIMENSION %d needs %d%s"
                          % (count, form, n, expected, " (the file ends early?)" if count < expected else ""))

"""Symmetric TSPLIB instances: the distance matrix that tsplib95 computes by
each file's EDGE_WEIGHT_TYPE, and the table of proven optimal lengths."""

from __future__ import annotations

import os
from typing import Any, Dict, List, Tuple

from . import tsplib_layout
from ._extras import require
from .inputs import REFUSED, normalise
from .tsptw import FormatError


def load_matrix(path: str) -> Tuple[str, List[List[int]], str]:
    """(file stem, distance matrix, edge weight type) of a .tsp file; the
    nodes become locations 0..n-1 in file order; the diagonal is 0. Needs
    tsplib95 (the `kit` extra). FormatError, naming the file and the line
    where there is one, for an empty, truncated, mis-sized or unparsable
    file, for distances this reader cannot compute, and for distances out
    of the solve's range."""
    name = os.path.basename(path)[: -len(".tsp")] if path.endswith(".tsp") else os.path.basename(path)
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except UnicodeDecodeError as e:
        raise FormatError(path, None, "not a text file (%s)" % e.reason) from None
    return (name,) + _matrix_of(text, path)[1:]


def parse_matrix(text: str, source: str = "<text>") -> Tuple[str, List[List[int]], str]:
    """The same as load_matrix for the text of a .tsp file; the name is the
    file's NAME field, errors name `source`."""
    return _matrix_of(text, source)


def _matrix_of(text: str, source: str) -> Tuple[str, List[List[int]], str]:
    tsplib95 = require("tsplib95", "kit")
    layout = tsplib_layout.check(text, source)
    try:
        problem = tsplib95.parse(text)
        nodes = list(problem.get_nodes())
        weight = problem.get_weight
        matrix = [[int(weight(a, b)) for b in nodes] for a in nodes]
    except (ValueError, IndexError, KeyError, TypeError, OverflowError, ArithmeticError) as e:
        # What the layout check let through but tsplib95 still refuses: say
        # which part of the file, not the frames inside tsplib95.
        raise FormatError(source, layout.line_of(str(e)), "tsplib95 cannot read it: %s" % e) from None
    # TSPLIB's GEO formula gives 1, not 0, from a city to itself; a tour of
    # two or more cities never uses the diagonal, but keep it clean.
    for i in range(len(matrix)):
        matrix[i][i] = 0
    refused = [f for f in normalise(matrix).findings if f.outcome == REFUSED]
    if refused:
        raise FormatError(source, None, "the distances are out of the solve's range: %s" % refused[0])
    return problem.name, matrix, problem.edge_weight_type


def read_optimal(path: str) -> Dict[str, int]:
    """optimal.txt: `name : length` per line."""
    table = {}
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, start=1):
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            name, sep, value = line.partition(":")
            if not sep or not value.strip().isdigit() or not name.strip():
                raise FormatError(path, number, "expected 'name : length', found %r" % line.strip())
            table[name.strip()] = int(value)
    return table


def instance_paths(folder: str) -> List[str]:
    return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".tsp"))

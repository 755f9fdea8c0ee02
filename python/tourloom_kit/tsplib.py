"""Symmetric TSPLIB instances: the distance matrix that tsplib95 computes by
each file's EDGE_WEIGHT_TYPE, and the table of proven optimal lengths."""

from __future__ import annotations

import os
from typing import Any, Dict, List, Tuple

from ._extras import require
from .tsptw import FormatError


def load_matrix(path: str) -> Tuple[str, List[List[int]], str]:
    """(file stem, distance matrix, edge weight type) of a .tsp file; the
    nodes become locations 0..n-1 in file order; the diagonal is 0. Needs
    tsplib95 (the `kit` extra)."""
    tsplib95 = require("tsplib95", "kit")
    name = os.path.basename(path)[: -len(".tsp")] if path.endswith(".tsp") else os.path.basename(path)
    return (name,) + _matrix_of(tsplib95.load(path))


def parse_matrix(text: str) -> Tuple[str, List[List[int]], str]:
    """The same as load_matrix for the text of a .tsp file; the name is the
    file's NAME field."""
    tsplib95 = require("tsplib95", "kit")
    problem = tsplib95.parse(text)
    return (problem.name,) + _matrix_of(problem)


def _matrix_of(problem: Any) -> Tuple[List[List[int]], str]:
    nodes = list(problem.get_nodes())
    weight = problem.get_weight
    matrix = [[weight(a, b) for b in nodes] for a in nodes]
    # TSPLIB's GEO formula gives 1, not 0, from a city to itself; a tour of
    # two or more cities never uses the diagonal, but keep it clean.
    for i in range(len(matrix)):
        matrix[i][i] = 0
    return matrix, problem.edge_weight_type


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

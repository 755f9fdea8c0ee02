"""The readers of the classic files refuse every malformed file with
FormatError naming the file and, where the file has one, the line; numbers
out of the solve's range are refused by both."""

import math

import pytest

import tourloom_kit
from tourloom_kit import FormatError, tsplib, tsptw

P = pytest.param

HEADER = "NAME : five\nTYPE : TSP\nDIMENSION : %d\nEDGE_WEIGHT_TYPE : %s\n"
COORDS = "NODE_COORD_SECTION\n1 0 0\n2 3 4\n3 6 8\n4 0 8\n5 3 0\nEOF\n"
POINTS = [(0, 0), (3, 4), (6, 8), (0, 8), (3, 0)]
GOOD = HEADER % (5, "EUC_2D") + COORDS
EXPLICIT = ("NAME : three\nTYPE : TSP\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EXPLICIT\nEDGE_WEIGHT_FORMAT : %s\n"
            "EDGE_WEIGHT_SECTION\n%s\nEOF\n")


def write(tmp_path, text, name="bad.tsp"):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


def test_the_package_exports_the_readers_and_their_error():
    assert tourloom_kit.tsplib is tsplib and tourloom_kit.tsptw is tsptw
    assert tourloom_kit.FormatError is tsptw.FormatError
    assert issubclass(FormatError, ValueError)


@pytest.mark.parametrize("text, matrix", [
    # EUC_2D is the Euclidean distance rounded to the nearest integer.
    P(GOOD, [[int(math.hypot(a[0] - b[0], a[1] - b[1]) + 0.5) for b in POINTS] for a in POINTS], id="euc-2d"),
    P(EXPLICIT % ("UPPER_ROW", "1 2\n3"), [[0, 1, 2], [1, 0, 3], [2, 3, 0]], id="upper-row"),
    P(EXPLICIT % ("FULL_MATRIX", "0 1 2\n1 0 3\n2 3 0"), [[0, 1, 2], [1, 0, 3], [2, 3, 0]], id="full-matrix"),
    P(EXPLICIT % ("LOWER_DIAG_ROW", "0\n1 0\n2 3 0"), [[0, 1, 2], [1, 0, 3], [2, 3, 0]], id="lower-diag-row"),
])
def test_well_formed_files_read(tmp_path, text, matrix):
    pytest.importorskip("tsplib95", reason="tsplib95 is not installed (the kit extra)")
    name, read, _ = tsplib.load_matrix(write(tmp_path, text, "ok.tsp"))
    assert (name, read) == ("ok", matrix)
    assert tsplib.parse_matrix(text)[1] == matrix


# text, line named (None: the file as a whole), words in the message
MALFORMED_TSPLIB = [
    P("", None, "empty file", id="empty"),
    P("\n  \n", None, "empty file", id="blank"),
    P("garbage here\n", 1, "expected 'KEYWORD : value' or a data line, found 'garbage here'", id="garbage"),
    P("NAME : x\nFOO : 3\n", 2, "unknown keyword FOO", id="unknown-keyword"),
    P(GOOD.replace("4 0 8\n5 3 0\nEOF\n", ""), 5, "NODE_COORD_SECTION has 3 nodes, DIMENSION says 5 (the file "
      "ends early?)", id="truncated"),
    P(GOOD.replace("DIMENSION : 5", "DIMENSION : 9"), 5, "NODE_COORD_SECTION has 5 nodes, DIMENSION says 9",
      id="dimension-too-large"),
    P(GOOD.replace("DIMENSION : 5", "DIMENSION : 4"), 10, "node '5' is not a number from 1 to the DIMENSION 4",
      id="dimension-too-small"),
    P(GOOD.replace("DIMENSION : 5\n", ""), None, "no DIMENSION", id="no-dimension"),
    P(GOOD.replace("DIMENSION : 5", "DIMENSION : five"), 3, "DIMENSION 'five' is not a positive whole number",
      id="dimension-text"),
    P(GOOD.replace("2 3 4", "2 a 4"), 7, "node 2: 'a' is not a number", id="coordinate-text"),
    P(GOOD.replace("2 3 4", "2 1e400 4"), 7, "node 2: '1e400' is not a finite number", id="coordinate-infinite"),
    P(GOOD.replace("2 3 4", "2 3"), 7, "expected a node number and 2 coordinates, found 2 values",
      id="coordinate-missing"),
    P(GOOD.replace("2 3 4", "1 3 4"), 7, "node 1 appears twice (first on line 6)", id="node-twice"),
    P(GOOD.replace("EUC_2D", "SPECIAL"), 4, "EDGE_WEIGHT_TYPE SPECIAL: this reader cannot compute these distances",
      id="special-weights"),
    P(GOOD.replace("EDGE_WEIGHT_TYPE : EUC_2D\n", ""), None, "no EDGE_WEIGHT_TYPE", id="no-weight-type"),
    P(GOOD.replace("TYPE : TSP", "TYPE : HCP"), 2, "TYPE HCP is not a travelling salesman problem", id="not-tsp"),
    P(HEADER % (5, "EUC_2D") + "EOF\n", None, "no NODE_COORD_SECTION", id="no-coordinates"),
    P(EXPLICIT % ("FULL_MATRIX", "0 1 2\n1 0 3\n2 3"), 6, "EDGE_WEIGHT_SECTION has 8 weights; FULL_MATRIX for "
      "DIMENSION 3 needs 9 (the file ends early?)", id="explicit-truncated"),
    P(EXPLICIT % ("FULL_MATRIX", "0 1 2\n1 0 3\n2 3 0 5 5"), 6, "EDGE_WEIGHT_SECTION has 11 weights",
      id="explicit-too-many"),
    P(EXPLICIT % ("UPPER_ROW", "1 -2\n3"), 7, "weight -2.0 is not a whole number of at least 0",
      id="explicit-negative"),
    P(EXPLICIT % ("UPPER_ROW", "1 2.5\n3"), 7, "weight 2.5 is not a whole number", id="explicit-fraction"),
    P(EXPLICIT % ("FUNNY_ROW", "1 2\n3"), 5, "EDGE_WEIGHT_FORMAT FUNNY_ROW: this reader cannot read it",
      id="explicit-format"),
    P(EXPLICIT.replace("EDGE_WEIGHT_FORMAT : %s\n", "") % "1 2\n3", None, "no EDGE_WEIGHT_FORMAT",
      id="explicit-no-format"),
    P(EXPLICIT % ("UPPER_ROW", "%d %d\n1" % (2**63, 2**63)), None, "the distances are out of the solve's range: "
      "distance_matrix: distances so large that a tour's total can pass 2**64 - 1", id="out-of-range"),
]


@pytest.mark.parametrize("text, line, words", MALFORMED_TSPLIB)
def test_malformed_tsplib_files_are_refused(tmp_path, text, line, words):
    pytest.importorskip("tsplib95", reason="tsplib95 is not installed (the kit extra)")
    path = write(tmp_path, text)
    with pytest.raises(FormatError) as caught:
        tsplib.load_matrix(path)
    where = path if line is None else "%s:%d" % (path, line)
    assert str(caught.value).startswith(where + ": "), str(caught.value)
    assert words in str(caught.value)
    assert caught.value.line == line
    with pytest.raises(FormatError, match="^inline"):
        tsplib.parse_matrix(text, "inline")


def test_a_binary_tsplib_file_is_refused(tmp_path):
    pytest.importorskip("tsplib95", reason="tsplib95 is not installed (the kit extra)")
    path = tmp_path / "bin.tsp"
    path.write_bytes(b"NAME : x\n\xff\xfe\x00\n")
    with pytest.raises(FormatError, match="not a text file"):
        tsplib.load_matrix(str(path))


@pytest.mark.parametrize("text, line, words", [
    P("2\n0 1e400\n1 0\n0 5\n0 5\n", 2, "time 1e400 is out of the solve's range (at most %d after scaling by 1)"
      % tsptw.LARGEST_TIME, id="one-time-too-large"),
    P("2\n0 1\n1 0\n0 5\n0 %d\n" % (tsptw.LARGEST_TIME + 1), 5, "out of the solve's range", id="window-too-late"),
    # Each time fits, but a tour of both (2 * 4e9 units of 1000 s) ends
    # after the solver's last date.
    P("2\n0 4000000000\n4000000000 0\n0 8000000000\n0 8000000000\n", None,
      "out of the solve's range once modelled: duration_matrix: with these windows and durations a tour can end "
      "after the solver's last date", id="tour-too-long"),
])
def test_time_window_files_out_of_range_are_refused(tmp_path, text, line, words):
    path = write(tmp_path, text, "big.txt")
    with pytest.raises(FormatError) as caught:
        tsptw.read_instance(path)
    assert caught.value.line == line
    assert words in str(caught.value)


def test_the_largest_time_still_solves():
    # Windows at the largest time are modelled within K = 1000 s of the
    # solver's last date; solving them must not panic.
    import tourloom

    instance = tsptw.parse_instance("2\n0 0\n0 0\n0 %d\n0 %d\n" % ((tsptw.LARGEST_TIME,) * 2))
    result = tourloom.solve(**tsptw.solve_arguments(instance), time_limit=0)
    assert sorted(result.route) == [0, 1]

import os

import pytest

from tourloom_kit import tsptw

GOOD = """3
0 2 3
2 0 4
3 4 0
0 20
1 5
2 9
"""


def test_reads_a_small_instance(write):
    instance = tsptw.read_instance(write(GOOD, "tiny.txt"))
    assert instance.name == "tiny.txt"
    assert instance.n == 3
    assert instance.times == [[0, 2, 3], [2, 0, 4], [3, 4, 0]]
    assert instance.windows == [(0, 20), (1, 5), (2, 9)]


def test_scale_applies_to_times_and_windows(write):
    text = "2\n0 1.25\n1.5 0\n0 10.5\n0.5 3\n"
    instance = tsptw.read_instance(write(text), scale=100)
    assert instance.times == [[0, 125], [150, 0]]
    assert instance.windows == [(0, 1050), (50, 300)]


@pytest.mark.parametrize("token, scale, expected", [
    ("45.1774", 100, 4518),   # 4517.74 rounds up
    ("12.345", 100, 1235),    # 1234.5: a tie rounds half up, not to even
    ("12.325", 100, 1233),    # 1232.5: half up (half-even would give 1232)
    ("12.344", 100, 1234),
    ("0.004", 100, 0),
    ("7", 1, 7),
    ("7.0", 1, 7),            # a whole number written with a decimal
    ("1e2", 1, 100),
], ids=lambda v: str(v))
def test_rounding_of_scaled_times(write, token, scale, expected):
    instance = tsptw.read_instance(write("2\n0 %s\n0 0\n0 1000\n0 1000\n" % token), scale=scale)
    assert instance.times[0][1] == expected


# text, scale, line named in the message (None: the file as a whole), words in it
MALFORMED = [
    ("", 1, None, "empty file"),
    ("\n\n", 1, None, "empty file"),
    ("x\n", 1, 1, "expected the number of locations"),
    ("3 4\n", 1, 1, "expected the number of locations"),
    ("1\n0\n0 5\n", 1, 1, "at least 2"),
    ("3\n0 2\n", 1, 2, "row 1 of the travel-time matrix has 2 entries, expected 3"),
    ("3\n\n0 2 3\n2 0\n", 1, 4, "row 2 of the travel-time matrix has 2 entries"),
    ("3\n0 2 a\n", 1, 2, "'a' is not a number"),
    ("3\n0 2 -3\n", 1, 2, "negative time -3"),
    ("3\n0 2 nan\n", 1, 2, "not a finite number"),
    ("3\n0 2 inf\n", 1, 2, "not a finite number"),
    ("3\n0 2 2.5\n", 1, 2, "not a whole number"),
    ("3\n0 2 3\n2 0 4\n", 1, None, "file ends early: expected row 3 of 3"),
    (GOOD.replace("0 20\n", "0 20 7\n"), 1, 5, "expected 'ready due', found 3 values"),
    (GOOD.replace("2 9\n", "9 2\n"), 1, 7, "time window of location 2 opens after it closes (9 > 2)"),
    (GOOD.replace("2 9\n", "2 9.5\n"), 1, 7, "not a whole number"),
    (GOOD.replace("1 5\n", "-1 5\n"), 1, 6, "negative time -1"),
    (GOOD.replace("2 9\n", ""), 1, None, "file ends early: expected time window 3 of 3"),
    (GOOD + "\n42\n", 1, 9, "unexpected content after the last time window: '42'"),
]


@pytest.mark.parametrize("text, scale, line, words", MALFORMED, ids=[m[3][:40] for m in MALFORMED])
def test_malformed_files_are_refused_naming_file_and_line(write, text, scale, line, words):
    path = write(text, "bad.txt")
    with pytest.raises(tsptw.FormatError) as caught:
        tsptw.read_instance(path, scale)
    where = path if line is None else "%s:%d" % (path, line)
    assert str(caught.value).startswith(where + ": ")
    assert words in str(caught.value)
    assert caught.value.line == line


def test_binary_file_is_refused(tmp_path):
    path = tmp_path / "bin.txt"
    path.write_bytes(b"3\n\xff\xfe\x00\n")
    with pytest.raises(tsptw.FormatError, match="not a text file"):
        tsptw.read_instance(str(path))


BEST = """# Instance  Cost CV Permutation
a.txt   12.50  0  2 1 3
b.txt   7      0  1
"""


def test_reads_best_known_values(write):
    table = tsptw.read_best_known(write(BEST))
    assert sorted(table) == ["a.txt", "b.txt"]
    assert str(table["a.txt"].cost) == "12.50"
    assert table["a.txt"].tour == [2, 1, 3]
    assert table["b.txt"].violations == 0


@pytest.mark.parametrize("line, words", [
    ("c.txt 12", "expected 'instance cost violations customer...'"),
    ("c.txt abc 0 1", "cost 'abc' is not a number"),
    ("c.txt -4 0 1", "not a non-negative number"),
    ("c.txt 4 0 1 x", "must be whole numbers"),
    ("c.txt 4 0 1 3", "not a permutation of the customers 1..2"),
    ("a.txt 4 0 1", "instance a.txt listed twice"),
], ids=lambda v: v[:24])
def test_malformed_best_known_lines_name_the_line(write, line, words):
    path = write(BEST + line + "\n", "best_known.txt")
    with pytest.raises(tsptw.FormatError) as caught:
        tsptw.read_best_known(path)
    assert str(caught.value).startswith("%s:4: " % path)
    assert words in str(caught.value)


SETS = [("Dumas", 1, 135), ("Langevin", 100, 70), ("SolomonPotvinBengio", 100, 30)]


@pytest.mark.parametrize("folder, scale, count", SETS, ids=[s[0] for s in SETS])
def test_every_published_instance_reads_and_its_best_tour_costs_the_published_value(data, folder, scale, count):
    folder = os.path.join(data, "tsptw", folder)
    best = tsptw.read_best_known(os.path.join(folder, "best_known.txt"))
    assert len(best) == count
    for name, entry in best.items():
        instance = tsptw.read_instance(os.path.join(folder, name), scale)
        assert instance.n == len(entry.tour) + 1, name
        cost = tsptw.tour_cost(instance.times, [0] + entry.tour)
        published = entry.cost * scale
        if folder.endswith("SolomonPotvinBengio"):
            # The files give up to five decimals; the published costs were
            # summed before rounding, so each of the n rounded edges may be
            # off by half a unit (observed: at most 2 units in 100).
            assert abs(cost - published) <= instance.n / 2, name
        else:
            assert cost == published, name

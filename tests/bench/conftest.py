"""Tests of the benchmark tools in bench/ (readers, the time-window model,
the classic replay, the quality runner). Run by scripts/test-bench.sh."""

import os
import sys

import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))

DATA = os.environ.get("TOURLOOM_BENCHMARKS") or os.path.join(os.path.dirname(ROOT), "shared", "benchmarks")


@pytest.fixture(scope="session")
def data():
    """The published instances beside the repository; tests that need them
    are skipped where they are absent."""
    if not os.path.isdir(DATA):
        pytest.skip("no benchmark data at %s" % DATA)
    return DATA


@pytest.fixture
def write(tmp_path):
    """write(text, name='x.txt') -> path of a new file holding text."""
    def make(text, name="x.txt"):
        path = tmp_path / name
        path.write_text(text)
        return str(path)
    return make

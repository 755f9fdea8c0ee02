"""The wheel scripts' own logic: the glibc floor read from `objdump -T`, the
wheel that belongs to an interpreter's tag, pytest's count line."""

import fnmatch
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import test_wheels  # noqa: E402
import wheel_targets  # noqa: E402

DUMP_LINE = "0000000000000000      DF *UND*\t0000000000000000 ({}) {}\n"


@pytest.mark.parametrize("versions, floor", [
    (["GLIBC_2.2.5", "GLIBC_2.14", "GLIBC_2.17"], "2.17"),
    (["GLIBC_2.9", "GLIBC_2.17"], "2.17"),  # as numbers, not as text
    (["GLIBC_2.2.5", "GLIBC_2.25"], "2.25"),
    (["GLIBC_2.0", "GLIBC_2.1.3"], "2.1.3"),  # i386's oldest
    (["GLIBC_PRIVATE", "GLIBC_2.3"], "2.3"),
    ([], "none"),
], ids=["manylinux2014", "two-digit-minor", "patch-vs-minor", "i386", "private-ignored", "no-glibc"])
def test_newest_glibc(versions, floor):
    dump = "".join(DUMP_LINE.format(v, f"symbol{i}") for i, v in enumerate(versions))
    dump += "0000000000001000 g    DF .text\t0000000000000013  Base        PyInit_tourloom\n"
    assert wheel_targets.newest_glibc(dump) == floor


@pytest.mark.skipif(not (shutil.which("cc") and shutil.which("objdump")), reason="needs cc and objdump")
@pytest.mark.parametrize("call, floor", [
    ("getentropy(buffer, sizeof buffer)", "2.25"),
    ("(int)(long)memcpy(buffer, buffer + 1, 1)", "2.14"),
], ids=["getentropy", "memcpy"])
def test_glibc_floor_of_a_real_object(tmp_path, call, floor):
    if not Path("/lib/x86_64-linux-gnu/libc.so.6").exists():
        pytest.skip("the floors are those of x86_64 glibc")
    source = tmp_path / "probe.c"
    source.write_text("#include <string.h>\n#include <unistd.h>\nstatic char buffer[16];\n"
                      f"int probe(void) {{ return {call}; }}\n")
    subprocess.run(["cc", "-O0", "-fno-builtin", "-shared", "-fPIC", "-o", tmp_path / "probe.so", source], check=True)
    assert wheel_targets.glibc_floor(str(tmp_path / "probe.so")) == floor


WHEELS = [
    "tourloom-0.1.0-cp39-cp39-manylinux2014_x86_64.manylinux_2_17_x86_64.whl",
    "tourloom-0.1.0-cp39-cp39-manylinux2014_i686.manylinux_2_17_i686.whl",
    "tourloom-0.1.0-cp311-cp311-manylinux2014_x86_64.manylinux_2_17_x86_64.whl",
    "tourloom-0.1.0-pp311-pypy311_pp73-manylinux2014_i686.manylinux_2_17_i686.whl",
    "tourloom-0.1.0-pp311-pypy311_pp80-manylinux2014_i686.manylinux_2_17_i686.whl",
    "tourloom-0.1.0-cp39-cp39-linux_x86_64.whl",  # not repaired
]


@pytest.mark.parametrize("tag, wheel", [
    ("cp39-cp39-linux_x86_64", WHEELS[0]),
    ("cp39-cp39-linux_i686", WHEELS[1]),
    ("cp311-cp311-linux_x86_64", WHEELS[2]),
    ("pp311-pypy311_pp73-linux_i686", WHEELS[3]),
    ("pp311-pypy311_pp80-linux_i686", WHEELS[4]),
], ids=["cp39", "cp39-i686", "cp311", "pp311-pp73-i686", "pp311-pp80-i686"])
def test_a_tag_finds_only_its_wheel(tag, wheel):
    assert fnmatch.filter(WHEELS, wheel_targets.wheel_pattern(tag)) == [wheel]


@pytest.mark.parametrize("output, summary", [
    ("....\n===== 324 passed, 35 skipped in 43.89s =====\n", "324 passed, 35 skipped"),
    ("FAILED x.py::t\n1 failed, 324 passed, 35 skipped in 43.89s\n", "1 failed, 324 passed, 35 skipped"),
    ("== 2 passed, 1 error in 65.10s (0:01:05) ==\n", "2 passed, 1 error"),
    ("Traceback ...\nModuleNotFoundError: No module named 'pytest'\n", ""),
], ids=["passed", "failed", "error-long-run", "no-summary"])
def test_pytest_summary(output, summary):
    assert test_wheels.pytest_summary(output) == summary


@pytest.mark.parametrize("returncode, output, expected", [
    (None, "....", True),  # ended by the suite limit
    (1, "....Timeout (0:05:00)!\nThread 0x7f (most recent call first):\n  File \"t.py\", line 3 in test_x\n", True),
    (1, "F...\n1 failed, 3 passed in 2.00s\n", False),  # a failure is not a hang
    (1, "...\nE   AssertionError: Timeout (0:05:00)! expected\n1 failed, 3 passed in 2.00s\n", False),
    (0, "....\n4 passed in 1.00s\n", False),
], ids=["suite-limit", "guard", "failure", "failure-quoting-the-marker", "passed"])
def test_what_counts_as_a_hang(returncode, output, expected):
    assert test_wheels.hung(returncode, output) is expected

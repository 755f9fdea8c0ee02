"""The Python suite's guard against a hung test: the run ends with status 1
and the stack of the hung test on stderr, though pytest captures the
test's own output; and the wheel tests take that end for a hang."""

import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import test_wheels  # noqa: E402

SUITE_CONFTEST = Path(__file__).resolve().parents[1] / "python" / "conftest.py"


def test_a_hung_test_ends_the_run_with_its_stack(tmp_path):
    shutil.copy(SUITE_CONFTEST, tmp_path / "conftest.py")
    (tmp_path / "test_stuck.py").write_text(textwrap.dedent("""
        import time
        import conftest
        conftest.HANG_SECONDS = 1

        def test_before():
            pass

        def test_waits_for_ever():
            print("captured")
            time.sleep(60)
    """))
    run = subprocess.run([sys.executable, "-m", "pytest", str(tmp_path), "-q", "-p", "no:cacheprovider"],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=50)
    assert run.returncode == 1
    assert "Timeout (0:00:01)!" in run.stderr
    assert "in test_waits_for_ever" in run.stderr
    assert test_wheels.hung(run.returncode, run.stdout + run.stderr)

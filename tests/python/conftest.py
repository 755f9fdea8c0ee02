import faulthandler
import os
import signal
import sys

import pytest

# A `match` statement is a SyntaxError before 3.10: that module must not even
# be imported there.
collect_ignore = ["test_patterns.py"] if sys.version_info < (3, 10) else []

# A test that hangs (a pool waiting for a worker that will never answer, a
# child that never starts) would otherwise hold the run until the machine's
# own limit and show nothing. After HANG_SECONDS every thread's stack is
# written to the run's real stderr and the run ends with status 1. The
# slowest test takes about 7 s under the i386 emulator.
HANG_SECONDS = 300
_real_stderr = None


def pytest_configure(config):
    # Called while pytest's capture is suspended: fd 2 is the terminal or the
    # log here, not the capture file a dump would be lost in.
    global _real_stderr
    _real_stderr = os.dup(2)
    # `kill -USR2 PID` writes the stacks of a test process, or of a worker
    # forked from it (the handler is inherited), that seems stuck.
    faulthandler.register(signal.SIGUSR2, file=_real_stderr, all_threads=True)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_protocol(item, nextitem):
    faulthandler.dump_traceback_later(HANG_SECONDS, exit=True, file=_real_stderr)
    try:
        yield
    finally:
        faulthandler.cancel_dump_traceback_later()

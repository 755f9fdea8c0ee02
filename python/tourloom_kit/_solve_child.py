"""The child process of solve_in_process: started as

    python -c BOOT <parent pid>

it reads the parent's sys.path and then (arguments, keywords, time_limit),
both pickled, from its standard input, solves, and writes solve_plain's
answer, pickled, to its standard output. It imports nothing of the
caller's program (not its main module either), so a caller needs no
`if __name__ == "__main__":` guard."""

import pickle
import sys

# The parent's sys.path first, so that the child imports the same tourloom
# and tourloom_kit as the parent, wherever they were found.
BOOT = ("import pickle, sys; sys.path[:] = pickle.load(sys.stdin.buffer); "
        "from tourloom_kit._solve_child import main; main()")


def main() -> None:
    from ._children import stay_with_parent
    from .plain_solve import solve_plain

    stay_with_parent(int(sys.argv[1]))
    arguments, keywords, time_limit = pickle.load(sys.stdin.buffer)
    answer = solve_plain(arguments, keywords, time_limit)
    sys.stdout.buffer.write(pickle.dumps(answer, protocol=pickle.HIGHEST_PROTOCOL))
    sys.stdout.buffer.flush()

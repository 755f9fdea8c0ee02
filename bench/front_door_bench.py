"""What tourloom_kit.solve's checks and conversions cost next to
tourloom.solve, on the same inputs in one run: a distance matrix as a list
of lists and as numpy arrays (int64, and float64 of whole numbers, which
only the kit takes), and a time model. Both calls use time_limit=0 (the
conversion, the model and one evaluation, no search), so that the table
shows the front door's own work. Times are CPU seconds of this process,
the shortest of --repeats; the ratio is kit / module.

    python bench/front_door_bench.py
    python bench/front_door_bench.py --sizes 200,1000 --repeats 3
"""

import argparse
import random
import time

import tourloom
import tourloom_kit


def cpu(call, repeats):
    best = None
    for _ in range(repeats):
        start = time.process_time()
        call()
        spent = time.process_time() - start
        best = spent if best is None else min(best, spent)
    return best


def instances(n, rng):
    xy = [(rng.randrange(10_000), rng.randrange(10_000)) for _ in range(n)]
    metres = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in xy] for a in xy]
    cells = [("list n=%d" % n, {"distance_matrix": metres}, None)]
    try:
        import numpy as np
    except ImportError:
        np = None
    if np is not None:
        array = np.array(metres, dtype=np.int64)
        cells.append(("int64 n=%d" % n, {"distance_matrix": array}, None))
        cells.append(("float64 n=%d" % n, {"distance_matrix": array.astype(float)},
                      {"distance_matrix": array.astype(np.uint64)}))
    day = 1_710_720_000
    travel = [[d // 10 for d in row] for row in metres]
    windows = [[(day + 8 * 3600 + rng.randrange(8) * 3600, day + 20 * 3600)] for _ in range(n)]
    timed = {"distance_matrix": metres, "duration_matrix": travel, "job_durations": [600] * n,
             "time_windows": windows, "operation_times": (7 * 3600, 19 * 3600)}
    cells.append(("time model n=%d" % n, timed, None))
    return cells


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="200,1000,2000")
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    rng = random.Random(7)
    print("%-20s %12s %12s %8s" % ("input", "module s", "kit s", "kit/mod"))
    for n in (int(s) for s in args.sizes.split(",")):
        for label, kwargs, plain in instances(n, rng):
            module_kwargs = dict(kwargs, **(plain or {}))
            module = cpu(lambda: tourloom.solve(**module_kwargs, time_limit=0), args.repeats)
            kit = cpu(lambda: tourloom_kit.solve(**kwargs, time_limit=0), args.repeats)
            print("%-20s %12.4f %12.4f %7.1fx" % (label, module, kit, kit / module))


if __name__ == "__main__":
    main()

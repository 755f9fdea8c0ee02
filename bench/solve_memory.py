"""Peak resident memory a solve adds on top of its input, by distance-only
input form: a list of lists of Python ints, and NumPy arrays when NumPy is
installed. One descent (no time limit) on random points in a 10 km square,
distances in metres (all below 65 536). Linux only: reads /proc/self.

    python bench/solve_memory.py [n ...]        (default: 5000)
    python bench/solve_memory.py --largest-delivery [upper n [first n tried]]

--largest-delivery looks for the largest n of a delivery day
(bench/delivery_day.py: two matrices, windows, operating hours) whose
solve(..., time_limit=0) succeeds, in steps of 1000 and then 250: what bounds
the 32-bit interpreters is their address space, not the machine's memory.

Each measurement runs in a child process of its own, so that one form's
allocations cannot lower or raise another's peak.
"""
import math
import multiprocessing
import random
import sys

import tourloom


def status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(field)


def matrix_rows(n, seed):
    rng = random.Random(seed)
    pts = [(rng.randrange(10_000), rng.randrange(10_000)) for _ in range(n)]
    # One int object per distinct value, shared by every row: the input's
    # own size stays that of its lists.
    ints = list(range(15_000))
    return [[ints[round(math.hypot(ax - bx, ay - by))] for (bx, by) in pts] for (ax, ay) in pts]


def measure(form, n, out):
    rows = matrix_rows(n, 1_000 + n)
    if form == "list":
        matrix = rows
    else:
        import numpy

        matrix = numpy.array(rows, dtype=form)
        del rows
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # resets the peak (VmHWM) to the current resident size
    before = status_kib("VmRSS")
    result = tourloom.solve(matrix)
    peak = status_kib("VmHWM")
    out.put((before, peak, result.distance))


def delivery_solves(n, out):
    import os

    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import delivery_day

    try:
        args = delivery_day.solve_arguments(delivery_day.generate(n, 1))
        tourloom.solve(**args, time_limit=0)
    except MemoryError:
        out.put(False)
        return
    out.put(True)


def solves_at(n):
    q = multiprocessing.Queue()
    p = multiprocessing.Process(target=delivery_solves, args=(n, q))
    p.start()
    p.join()
    ok = p.exitcode == 0 and not q.empty() and q.get()
    print(f"delivery n = {n}: {'solved' if ok else f'failed (exit code {p.exitcode})'}", flush=True)
    return ok


def largest_delivery(upper, start=1000):
    """Steps of 1000 from `start` (solved sizes below it are taken as given), then of 250."""
    good = start - 1000
    n = start
    while n <= upper and solves_at(n):
        good, n = n, n + 1000
    step = 250
    while step > 0 and good + step < n and good + step <= upper:
        if solves_at(good + step):
            good += step
        else:
            break
    print(f"largest delivery day solved: n = {good} (upper bound tried: {upper})")


def main():
    if sys.argv[1:2] == ["--largest-delivery"]:
        largest_delivery(*[int(a) for a in sys.argv[2:4]] or [20_000])
        return
    sizes = [int(a) for a in sys.argv[1:]] or [5000]
    forms = ["list"]
    try:
        import numpy  # noqa: F401

        forms += ["int64", "uint16"]
    except ImportError:
        print("(NumPy is not installed: list input only)")
    print(f"{'input':>14} {'n':>6} {'before MiB':>10} {'peak extra MiB':>15} {'16-bit matrix MiB':>18}")
    for n in sizes:
        for form in forms:
            q = multiprocessing.Queue()
            p = multiprocessing.Process(target=measure, args=(form, n, q))
            p.start()
            before, peak, _ = q.get()
            p.join()
            label = "list of lists" if form == "list" else f"numpy {form}"
            print(f"{label:>14} {n:>6} {before / 1024:>10.1f} {(peak - before) / 1024:>15.1f} {n * n * 2 / 2**20:>18.1f}")


if __name__ == "__main__":
    main()

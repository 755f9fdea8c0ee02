#!/usr/bin/env python3
"""Write the seed inputs of the core fuzz harness into fuzz/corpus/core/.

Each seed is a small instance encoded in the byte layout that `decode` in
fuzz/core_fuzz.cpp reads: a worked tour with windows and operating hours,
distance-only instances (plain, with ties, with edges near 2^64, ragged),
time instances near both ends of the instant range, and the degenerate sizes
0 and 1. Deterministic: running it again writes the same files.

    python3 fuzz/make_seeds.py [outdir]
"""
import os
import random
import sys

NOV_2023 = 1_700_006_400


class Encoder:
    def __init__(self):
        self.out = bytearray()

    def byte(self, v):
        assert 0 <= v < 256, v
        self.out.append(v)

    def word(self, v, n):
        self.out += v.to_bytes(n, "little")

    # distance_value: tag 0 = one byte, 2 = two bytes, 4 = 2^64 - 1 - byte, 5 = eight bytes
    def distance(self, v):
        if v < 256:
            self.byte(0); self.byte(v)
        elif v < 65536:
            self.byte(2); self.word(v, 2)
        elif v >= 2**64 - 256:
            self.byte(4); self.byte(2**64 - 1 - v)
        else:
            self.byte(5); self.word(v, 8)

    # seconds_value: tag 0 = zero, 1 = byte minutes, 2 = two bytes, 5 = eight bytes
    def seconds(self, v):
        if v == 0:
            self.byte(0)
        elif v % 60 == 0 and v // 60 < 256:
            self.byte(1); self.byte(v // 60)
        elif v < 65536:
            self.byte(2); self.word(v, 2)
        else:
            self.byte(5); self.word(v, 8)


def encode(distances, durations=None, jobs=None, windows=None, hours=None, start=None, era=0, probes=()):
    """windows: per location (base_hours, [(start_offset_600s, length_300s), ...]) in the ascending form."""
    n = len(distances)
    e = Encoder()
    e.byte(n)
    e.byte(2 if any(len(r) != n for r in distances) else 0)
    flags = (1 if durations is not None else 0) | (2 if jobs is not None else 0) | (4 if windows is not None else 0)
    if start is None:
        flags |= 8
    e.byte(flags)
    e.byte(era)
    ragged = any(len(r) != n for r in distances)
    for row in distances:
        if ragged:
            e.byte(len(row))
        for v in row:
            e.distance(v)
    for row in durations or []:
        for v in row:
            e.seconds(v)
    for v in jobs or []:
        e.seconds(v)
    for base, ws in windows or []:
        e.byte(base)
        e.byte(len(ws))
        for offset, length in ws:
            e.byte(0); e.byte(offset); e.byte(length)
    if hours is None:
        e.byte(0); e.byte(0); e.byte(0)
    else:
        e.byte(1); e.byte(hours[0]); e.byte(hours[1])
    if start is not None:
        # Fisher–Yates from the end: the draw at i picks the entry swapped into place i.
        route = list(range(n))
        for i in range(n - 1, 0, -1):
            j = route.index(start[i])
            assert j <= i
            e.byte(j)
            route[i], route[j] = route[j], route[i]
        assert route == list(start)
    gaps = [1, 3, 2, 2, 3, 4, 5, 6]  # the sweep order's smallest j - i
    e.byte(len(probes))
    for which, i, extra in probes:
        e.byte(which); e.byte(i)
        if i % max(n, 1) + gaps[which] < n:
            e.byte(extra)
    return bytes(e.out)


def random_time_instance(rng, n, era, with_hours):
    distances = [[rng.randrange(1000) for _ in range(n)] for _ in range(n)]
    durations = [[0 if a == b else rng.randrange(1, 180) * 60 for b in range(n)] for a in range(n)]
    jobs = [rng.randrange(0, 120) * 60 for _ in range(n)]
    windows = [(rng.randrange(24), [(rng.randrange(12), rng.randrange(1, 24)) for _ in range(rng.randrange(1, 4))])
               for _ in range(n)]
    start = list(range(n))
    rng.shuffle(start)
    hours = (rng.randrange(60), rng.randrange(150)) if with_hours else None
    probes = [(rng.randrange(8), rng.randrange(n), rng.randrange(n)) for _ in range(2)]
    return encode(distances, durations, jobs, windows, hours, start, era, probes)


def seeds():
    rng = random.Random(20231115)
    h = 3600
    # The worked tour: windows 08:00-18:00; 12:00-13:00 and 15:00-16:00; 09:00-10:00 and
    # 11:00-12:00; hours 08:00-17:00 (open = 5 h + 90 * 120 s, close = open + 1 h + 120 * 240 s).
    yield "worked-tour", encode(
        [[1, 2, 3], [10, 20, 30], [100, 200, 300]],
        [[0, h, 2 * h], [h, 0, h], [2 * h, h, 0]],
        [h, 30 * 60, 2 * h],
        [(8, [(0, 120)]), (12, [(0, 12), (12, 12)]), (9, [(0, 12), (6, 12)])],
        (90, 120), [2, 0, 1])
    yield "empty", encode([])
    yield "one-location-time", encode([[5]], [[0]], [60], [(10, [(0, 12)])], None, [0])
    for n in (4, 8, 12):
        m = [[0 if a == b else rng.randrange(1000) for b in range(n)] for a in range(n)]
        start = list(range(n)); rng.shuffle(start)
        yield f"distance-{n}", encode(m, start=start, probes=[(0, 0, 1), (2, 1, 0)])
    m = [[rng.randrange(3) for _ in range(7)] for _ in range(7)]
    yield "distance-ties", encode(m)
    m = [[2**64 - 1 - rng.randrange(5) if rng.randrange(4) == 0 else rng.randrange(100) for _ in range(6)]
         for _ in range(6)]
    yield "distance-forbidden-edges", encode(m, start=[5, 4, 3, 2, 1, 0])
    yield "distance-ragged", encode([[0, 1, 2, 3], [1, 0], [2, 3, 0, 1], [3, 2, 1, 0]])
    for n, era, hours in ((5, 0, False), (6, 0, True), (9, 0, True), (12, 0, True), (5, 1, False), (5, 1, True),
                          (5, 2, True), (6, 3, True)):
        yield f"time-{n}-era{era}{'-hours' if hours else ''}", random_time_instance(rng, n, era, hours)


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "core")
    os.makedirs(outdir, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    print(f"make_seeds: wrote {len(list(seeds()))} seeds to {outdir}")


if __name__ == "__main__":
    main()

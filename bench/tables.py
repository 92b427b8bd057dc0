#!/usr/bin/env python3
"""Deterministic random tables in the table format, for the memory and
valgrind checks of the programs at their largest inputs.

    python3 bench/tables.py mobrel DIR N K M  ->  A.txt (N x K), B.txt (K x M):
        magnitudes 1e-3..1e3, random signs
    python3 bench/tables.py tarsik DIR N M    ->  A.txt (N x 3 band rows,
        diagonally dominant), B.txt (N x M)
    python3 bench/tables.py velmar DIR N K D  ->  X.txt (N x K), Y.txt (N x 1):
        Y a polynomial of degree D in the X columns plus 1% noise; X in
        (-2, 2) when D > 1
"""
import os, random, sys

kind, out, shape = sys.argv[1], sys.argv[2], [int(v) for v in sys.argv[3:]]
rnd = random.Random("%s:%s" % (kind, shape))

def spread(lo=-3.0, hi=3.0):
    return (-1.0 if rnd.random() < 0.5 else 1.0) * 10.0 ** rnd.uniform(lo, hi)

def write(name, rows):
    with open(os.path.join(out, name), "w", newline="\n") as f:
        for r in rows:
            f.write("\t".join("%1.15E" % v for v in r) + "\n")

if kind == "mobrel":
    n, k, m = shape
    write("A.txt", [[spread() for _ in range(k)] for _ in range(n)])
    write("B.txt", [[spread() for _ in range(m)] for _ in range(k)])
elif kind == "tarsik":
    n, m = shape
    rows = []
    for i in range(n):
        s = 10.0 ** rnd.uniform(-1.0, 1.0)
        rows.append([spread(-3.0, -0.5) * s, (-1.0 if rnd.random() < 0.5 else 1.0) * s,
                     spread(-3.0, -0.5) * s])
    write("A.txt", rows)
    write("B.txt", [[spread() for _ in range(m)] for _ in range(n)])
else:
    n, k, deg = shape
    if deg == 1:
        x = [[spread() for _ in range(k)] for _ in range(n)]
    else:
        x = [[rnd.uniform(-2.0, 2.0) for _ in range(k)] for _ in range(n)]
    b = [spread(-1.0, 1.0) for _ in range(k * deg + 1)]
    y = []
    for row in x:
        z = [v ** p for p in range(1, deg + 1) for v in row]
        y.append(b[0] + sum(bj * zj for bj, zj in zip(b[1:], z)))
    rms = (sum(v * v for v in y) / n) ** 0.5 or 1.0
    write("X.txt", x)
    write("Y.txt", [[v + 0.01 * rms * rnd.uniform(-1.0, 1.0)] for v in y])

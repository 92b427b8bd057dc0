# The polynomial least-squares fit that velmar computes, done in plain
# double-precision floats, to show what 16 digits make of it: the same
# design columns x, x^2, ..., x^degree, the same normal equations taken
# about the column means, solved by Gauss-Jordan elimination.
# Usage: python3 double_fit.py X.txt Y.txt DEGREE
# Prints the intercept, then the coefficients of x, x^2, ..., one per line
# as the programs write numbers (%1.15E), so the output is a table file.
import sys


def column(name):
    with open(name) as f:
        return [float(line) for line in f if line.strip()]


x, y, degree = column(sys.argv[1]), column(sys.argv[2]), int(sys.argv[3])
n = len(x)
z = [[v**k for k in range(1, degree + 1)] for v in x]
zm = [sum(row[j] for row in z) / n for j in range(degree)]
ym = sum(y) / n

# the centred normal equations, the right-hand side as the last column
a = [[sum((row[i] - zm[i]) * (row[j] - zm[j]) for row in z) for j in range(degree)]
     + [sum((row[i] - zm[i]) * (v - ym) for row, v in zip(z, y))]
     for i in range(degree)]

# Gauss-Jordan: scale each pivot row, clear its column from the others;
# the matrix is symmetric positive definite, so the diagonal serves as pivot
for p in range(degree):
    a[p] = [v / a[p][p] for v in a[p]]
    for r in range(degree):
        if r != p:
            a[r] = [u - a[r][p] * v for u, v in zip(a[r], a[p])]

b = [row[degree] for row in a]
for c in [ym - sum(m * v for m, v in zip(zm, b))] + b:
    print("%1.15E" % c)

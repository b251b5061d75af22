#!/usr/bin/env python3
"""Himmelblau's function with Quorvant from Python: all four minima, the maximum, the
saddles (found by random starts and proven by Prove), a plot into himmelblau.png, and the same problem through SciPy's shgo for
comparison (where SciPy is installed).

    PYTHONPATH=build/python /usr/bin/python3 examples/python/himmelblau.py
"""

import sys
import time

import matplotlib

matplotlib.use("Agg")  # a PNG file, no display needed

import quorvant

problem = quorvant.Problem(
    "(x^2+y-11)^2+(x+y^2-7)^2",
    ["x", "y"],
    box=[(-5, 5, 10), (-5, 5, 10)],  # (lower, upper, subintervals) per variable
    error_bound=1e-4,
    max_cycles=20,
)

start = time.perf_counter()
result = quorvant.explore(problem, info=True)  # info: saddles, pivots, problems met
seconds = time.perf_counter() - start


def show(title, points, values=None):
    print(f"{title}: {len(points)}")
    for k, p in enumerate(points):
        value = "" if values is None else f"   f = {values[k]:.6g}"
        print(f"  x = {p[0]: .10f}  y = {p[1]: .10f}{value}")


print(f"Quorvant Explore ({result.end}, {seconds * 1000:.1f} ms):")
show("minima", result.minima, result.minima_values)
show("maxima", result.maxima, result.maxima_values)
# Explore starts only where the grid looks like an extremum; random starting points
# also run into the saddles, which the run classifies (and info lists) too.
start = time.perf_counter()
trials = quorvant.random(problem, 2000, info=True, seed=1)
seconds = time.perf_counter() - start
print(f"Quorvant Random, 2000 trials ({trials.end}, {seconds * 1000:.1f} ms):")
show("saddles", trials.saddles)

# Prove: every stationary point of the box enclosed and classified, with a proof that
# there are no others (where the build has Prove).
if quorvant._quorvant.prove_available:
    start = time.perf_counter()
    proof = quorvant.prove(problem)
    seconds = time.perf_counter() - start
    print(f"Quorvant Prove ({seconds * 1000:.1f} ms): {proof.verdict}")
    show("saddles (proven)", proof.saddles)

figure = quorvant.plot(problem, trials)
figure.savefig("himmelblau.png", dpi=120)
print("plot: himmelblau.png")

try:
    import numpy as np
    from scipy.optimize import shgo
except ImportError:
    print("SciPy is not installed: the comparison with scipy.optimize.shgo is skipped.")
    sys.exit(0)


def f(v):
    x, y = v
    return (x * x + y - 11) ** 2 + (x + y * y - 7) ** 2


start = time.perf_counter()
found = shgo(f, [(-5, 5), (-5, 5)], sampling_method="sobol")
seconds = time.perf_counter() - start
print(f"\nscipy.optimize.shgo ({seconds * 1000:.1f} ms): minima only, no maxima or saddles")
show("local minima", found.xl, found.funl)
# shgo has no maxima: they would take a second run on -f, and saddles none at all.
start = time.perf_counter()
found = shgo(lambda v: -f(v), [(-5, 5), (-5, 5)], sampling_method="sobol")
seconds = time.perf_counter() - start
print(f"shgo on -f ({seconds * 1000:.1f} ms), its minima are the maxima of f (the box's "
      f"corners included):")
show("maxima", found.xl, -np.asarray(found.funl))

#!/usr/bin/env python3
"""The figures of the README's Python section: a run through Python against
quorvant-cli, and quorvant.evaluate against NumPy expressions and numexpr.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/compare.py build/src/cli/quorvant-cli
"""

import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

import quorvant


def best(f, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return min(times)


cli = sys.argv[1] if len(sys.argv) > 1 else "build/src/cli/quorvant-cli"
runs = {
    "small (Himmelblau, 11 x 11 grid)":
        quorvant.Problem("(x^2+y-11)^2+(x+y^2-7)^2", "x,y", [(-5, 5, 10)] * 2, 1e-4, 20),
    "large (3 variables, 161^3 grid)":
        quorvant.Problem("Sin(x)*Cos(y)*Sin(z)+0.1*(x^2+y^2+z^2)", "x,y,z", [(-6, 6, 160)] * 3),
}
print("| run (1 thread) | quorvant-cli process | explore() in Python | python3 process (import + explore) |")
print("|---|---|---|---|")
with tempfile.TemporaryDirectory() as tmp:
    for name, problem in runs.items():
        path = Path(tmp) / "p.zvx"
        problem.save(path)
        process = best(lambda: subprocess.run([cli, "--explore", "--info", "--threads", "1", path],
                                              check=True, capture_output=True))
        call = best(lambda: quorvant.explore(problem, threads=1, info=True))
        script = ("import quorvant; quorvant.explore(quorvant.Problem.load(%r), threads=1, info=True)"
                  % str(path))
        python = best(lambda: subprocess.run([sys.executable, "-c", script], check=True))
        print(f"| {name} | {process * 1e3:.1f} ms | {call * 1e3:.1f} ms | {python * 1e3:.1f} ms |")

try:
    import numexpr
except ImportError:
    numexpr = None
m = 1_000_000
rng = np.random.default_rng(1)
x, y = rng.uniform(-5, 5, m), rng.uniform(-5, 5, m)
points = np.column_stack([x, y])
formulas = [
    ("(x^2+y-11)^2+(x+y^2-7)^2", lambda: (x**2 + y - 11)**2 + (x + y**2 - 7)**2,
     "(x**2+y-11)**2+(x+y**2-7)**2"),
    ("Sin(x)*Exp(-0.1*y*y)+Sqr(Abs(x*y))", lambda: np.sin(x) * np.exp(-0.1 * y * y) + np.sqrt(np.abs(x * y)),
     "sin(x)*exp(-0.1*y*y)+sqrt(abs(x*y))"),
]
print()
print(f"| formula, {m:,} points | quorvant.evaluate | NumPy | numexpr ({'threads: %d' % numexpr.nthreads if numexpr else 'absent'}) | numexpr, 1 thread |")
print("|---|---|---|---|---|")
for formula, numpy_form, numexpr_form in formulas:
    ours = quorvant.evaluate(formula, "x,y", points)
    np.testing.assert_allclose(ours, numpy_form(), rtol=1e-12, atol=1e-12)
    q = best(lambda: quorvant.evaluate(formula, "x,y", points), 3)
    n = best(numpy_form, 3)
    if numexpr:
        e = best(lambda: numexpr.evaluate(numexpr_form), 3)
        numexpr.set_num_threads(1)
        e1 = best(lambda: numexpr.evaluate(numexpr_form), 3)
        numexpr.set_num_threads(numexpr.detect_number_of_cores())
    else:
        e = e1 = float("nan")
    print(f"| `{formula}` | {q * 1e3:.0f} ms | {n * 1e3:.0f} ms | {e * 1e3:.0f} ms | {e1 * 1e3:.0f} ms |")

"""The Python package against the runner: the same listings and files, the same
refusals, the formula's values on every evaluation path; Stop, progress and the plot."""

import os
import signal
import subprocess
import threading
from pathlib import Path

import numpy as np
import pytest

import quorvant

ROOT = Path(__file__).resolve().parents[2]
DATA = Path(os.environ.get("QUORVANT_TEST_DATA", ROOT / "tests" / "data"))
CLI = os.environ.get("QUORVANT_CLI", str(ROOT / "build" / "src" / "cli" / "quorvant-cli"))
GOLDEN = sorted(p.stem for p in (DATA / "files").glob("*.zvx") if not p.stem.endswith(".saved"))


def cli(*args):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=False)


def problem_file(tmp_path, head, sides, constants=()):
    """A problem file: line 2 after "n,0,0,", one line per side, the constants."""
    lines = ["Zorvex", head, *sides, f" {len(constants)} ", *constants]
    path = tmp_path / "p.zvx"
    path.write_bytes(("\r\n".join(lines) + "\r\n").encode())
    return path


@pytest.mark.parametrize("threads", [1, None])
@pytest.mark.parametrize("info", [True, False])
@pytest.mark.parametrize("name", GOLDEN)
def test_listing_is_the_runners(name, info, threads):
    path = DATA / "files" / f"{name}.zvx"
    expected = cli("--explore", *(["--info"] if info else []), path).stdout
    result = quorvant.explore(quorvant.Problem.load(path), threads=threads, info=info,
                              part_size=7 if threads is None else 0)
    assert result.end == "completed"
    assert "".join(line + "\n" for line in result.listing) == expected


@pytest.mark.parametrize("name", GOLDEN)
def test_saved_results_and_round_trip_are_the_runners(name, tmp_path):
    result = quorvant.explore(quorvant.Problem.load(DATA / "files" / f"{name}.zvx"))
    result.problem.save(tmp_path / "run.zvx")
    saved = DATA / "files" / f"{name}.saved.zvx"
    assert (tmp_path / "run.zvx").read_bytes() == saved.read_bytes()
    stored = quorvant.Problem.load(saved)
    stored.save(tmp_path / "again.zvx")
    assert (tmp_path / "again.zvx").read_bytes() == saved.read_bytes()
    n = len(stored.names)
    # The arrays hold the doubles the file holds to 15 significant digits.
    digits15 = np.vectorize(lambda v: float(f"{v:.14e}"))
    for found, kept in ((result.maxima, stored.maxima), (result.minima, stored.minima)):
        np.testing.assert_array_equal(digits15(found) if found.size else found, kept[:, :n])


# Files the runner refuses: Problem.load raises ValueError with its message.
@pytest.mark.parametrize("head, sides, constants", [
    ('1,0,0,0,8,"x^2"', ['"x",-1,1,4'], []),
    ('1,0,0,0.01,0,"x^2"', ['"x",-1,1,4'], []),
    ('1,0,0,0.01,8,"x^2"', ['"x",-1,1,0'], []),
    ('1,0,0,0.01,8,""', ['"x",-1,1,4'], []),
    ('1,0,0,0.01,8,"x^2"', ['"x",-1,1,4'], ["a=Log(0)"]),
    ('2,0,0,0.01,8,"x^2"', ['"x",-1,1,4'], []),
])
def test_refused_files_say_what_the_runner_says(tmp_path, head, sides, constants):
    path = problem_file(tmp_path, head, sides, constants)
    refusal = cli("--explore", path)
    assert refusal.returncode == 2
    with pytest.raises(ValueError) as raised:
        quorvant.explore(quorvant.Problem.load(path))
    assert "quorvant-cli: " + str(raised.value) + "\n" == refusal.stderr


# Problems the constructor (or the run) refuses, with the runner's reason for a file
# holding the same problem.
@pytest.mark.parametrize("kwargs, head, sides, constants", [
    ({"error_bound": 0}, '1,0,0,0,8,"x^2"', ['"x",-1,1,4'], []),
    ({"max_cycles": 40000}, '1,0,0,0.01,40000,"x^2"', ['"x",-1,1,4'], []),
    ({"formula": ""}, '1,0,0,0.01,8,""', ['"x",-1,1,4'], []),
    ({"constants": ["a=1/0"]}, '1,0,0,0.01,8,"x^2"', ['"x",-1,1,4'], ["a=1/0"]),
    ({"box": [(-1e300, 1e300, 2000000000)]}, '1,0,0,0.01,8,"x^2"',
     ['"x",-1E+300,1E+300,2000000000'], []),
])
def test_refused_problems_give_the_runners_reason(tmp_path, kwargs, head, sides, constants):
    reason = cli("--explore", problem_file(tmp_path, head, sides, constants)).stderr
    reason = reason.split(": ", 1)[1].strip()
    reason = reason.split(": ", 1)[1] if reason.startswith(str(tmp_path)) else reason
    reason = reason.split(": ", 1)[1] if reason.startswith("Line ") else reason
    args = {"formula": "x^2", "names": ["x"], "box": [(-1, 1, 4)], **kwargs}
    with pytest.raises(ValueError) as raised:
        quorvant.explore(quorvant.Problem(args.pop("formula"), args.pop("names"), args.pop("box"),
                                          **args))
    assert str(raised.value).lower() == reason.lower()


# A run long enough to be stopped: a hundred million grid points.
LONG = quorvant.Problem("(x-0.3)^2+Cos(y)", ["x", "y"], [(-20, 20, 10000)] * 2)


def test_ctrl_c_stops_the_run_and_raises():
    started = threading.Event()
    sender = threading.Thread(
        target=lambda: started.wait(60) and os.kill(os.getpid(), signal.SIGINT))
    sender.start()
    with pytest.raises(KeyboardInterrupt):
        quorvant.explore(LONG, threads=2, progress=lambda done, total: started.set())
    sender.join()


@pytest.mark.skipif(not quorvant._quorvant.prove_available, reason="built without Arb: no Prove")
@pytest.mark.parametrize("formula, names, counts, complete", [
    ("(x*x+y-11)^2+(x+y*y-7)^2", ["x", "y"], (1, 4, 4), True),
    ("x*Log(x)", ["x"], (0, 1, 0), False),  # Log fails on half the box
])
def test_prove_reads_what_the_runner_proves(formula, names, counts, complete, tmp_path):
    box = [(-5, 5, 4)] * len(names)
    problem = quorvant.Problem(formula, names, box)
    proof = quorvant.prove(problem, threads=2)
    problem.save(tmp_path / "p.zvx")
    assert "\n".join(proof.listing) + "\n" == cli("--prove", tmp_path / "p.zvx").stdout
    assert (len(proof.maxima), len(proof.minima), len(proof.saddles)) == counts
    assert proof.complete == complete and bool(proof.undecided) != complete
    assert all(r < 1e-12 for r in proof.radii)
    with pytest.raises(ValueError, match="Abs"):
        quorvant.prove(quorvant.Problem("Abs(x)+y", ["x", "y"], [(-5, 5, 4)] * 2))
    spent = quorvant.prove(problem, threads=2, max_boxes=3)
    assert not spent.complete and spent.undecided
    with pytest.raises(ValueError, match="max-boxes"):
        quorvant.prove(problem, max_boxes=0)


def test_progress_counts_up_to_the_total_and_its_exception_stops_the_run():
    calls = []
    result = quorvant.random(quorvant.Problem("x^4-x^2+y^2", "x,y", [(-2, 2, 4)] * 2), 3000,
                             progress=lambda done, total: calls.append((done, total)))
    assert result.end == "completed"
    assert calls[-1] == (3000, 3000)
    assert all(a[0] <= b[0] and a[1] == b[1] for a, b in zip(calls, calls[1:]))

    def stop(done, total):
        raise RuntimeError("enough")
    with pytest.raises(RuntimeError, match="enough"):
        quorvant.explore(LONG, progress=stop)


def test_a_seed_repeats_a_random_run():
    p = quorvant.Problem("(x^2+y-11)^2+(x+y^2-7)^2", "x,y", [(-5, 5, 10)] * 2)
    a, b = (quorvant.random(p, 200, seed=7, info=True) for _ in range(2))
    assert a.listing == b.listing and len(a.minima) > 0


def test_a_failed_run_lists_what_the_runner_lists(tmp_path):
    path = problem_file(tmp_path, '1,0,0,0.01,8,"x^2+Foo(x)"', ['"x",-1,1,4'])
    runner = cli("--explore", "--info", path)
    result = quorvant.explore(quorvant.Problem.load(path), info=True)
    assert (result.end, runner.returncode) == ("failed", 3)
    assert "".join(line + "\n" for line in result.listing) == runner.stdout
    assert result.error + "\n" == runner.stderr


def random_formula(rng, depth=3):
    """A random formula in x, y and the constant a, with operators and functions that
    fail somewhere (division, Log, Sqr, ^)."""
    if depth == 0 or rng.random() < 0.25:
        return str(rng.choice(["x", "y", "a", "2", "0.5", "pi", "3E-2"]))
    k = rng.integers(0, 4)
    if k == 0:
        op = rng.choice(["+", "-", "*", "/", "^"])
        return f"({random_formula(rng, depth - 1)}{op}{random_formula(rng, depth - 1)})"
    if k == 1:
        f = rng.choice(["Sin", "Cos", "Exp", "Log", "Sqr", "Abs", "Atn", "Int", "Sgn"])
        return f"{f}({random_formula(rng, depth - 1)})"
    if k == 2:
        return f"-{random_formula(rng, depth - 1)}"
    return f"{random_formula(rng, depth - 1)} Mod 3" if rng.random() < 0.2 else \
        f"({random_formula(rng, depth - 1)}*x-y)"


@pytest.mark.parametrize("seed", range(12))
def test_evaluate_gives_the_interpreters_values(seed, tmp_path):
    rng = np.random.default_rng(seed)
    formula = random_formula(rng)
    points = np.vstack([rng.uniform(-3, 3, (200, 2)), [[0, 0], [1, -1], [0.5, 1e-300]]])
    constants = ["a=1.25"]
    compiled = quorvant.evaluate(formula, "x,y", points, constants)
    for path in ("interpreter", "statements"):
        np.testing.assert_array_equal(
            compiled, quorvant._evaluate(formula, "x,y", points, constants, "nan", path))
    # A long array shared by threads gives the same values.
    np.testing.assert_array_equal(
        np.tile(compiled, 250),
        quorvant.evaluate(formula, "x,y", np.tile(points, (250, 1)), constants, threads=2))
    # A few rows through the runner's --eval, the variables set as constants.
    for row in (0, len(points) - 1):
        x, y = (f"{v:.14E}" for v in points[row])
        file = problem_file(tmp_path, f'2,0,0,0.01,8,"{formula}"', ['"x",-1,1,4', '"y",-1,1,4'],
                            constants + [f"x={x}", f"y={y}"])
        out = cli("--eval", f"CDbl({formula})", file).stdout
        if out.startswith("error"):
            assert np.isnan(compiled[row])
        else:
            assert float(out.split(" (")[0]) == float(f"{compiled[row]:.14E}")


@pytest.mark.parametrize("rows, threads", [(3, 1), (100000, 2)])
def test_evaluate_raises_on_request(rows, threads):
    x = np.ones(rows)
    x[rows // 2 + 1] = 0
    with pytest.raises(quorvant.FormulaError) as raised:
        quorvant.evaluate("1/x", ["x"], x, errors="raise", threads=threads)
    assert (raised.value.row, raised.value.number) == (rows // 2 + 1, 11)


@pytest.mark.parametrize("formula, names, box", [
    ("x^4-3*x^2+x", ["x"], [(-2, 2, 8)]),
    ("(x^2+y-11)^2+(x+y^2-7)^2", ["x", "y"], [(-5, 5, 10)] * 2),
    ("x^2-y^2+z^2", ["x", "y", "z"], [(-1, 1, 4)] * 3),
])
def test_plot_draws_a_figure(formula, names, box, tmp_path):
    import matplotlib
    matplotlib.use("Agg")
    p = quorvant.Problem(formula, names, box)
    fig = quorvant.plot(p, quorvant.explore(p, info=True), samples=40)
    fig.savefig(tmp_path / "plot.png")
    assert (tmp_path / "plot.png").stat().st_size > 0 and fig.axes


def test_no_qt_is_loaded():
    maps = Path("/proc/self/maps").read_text()
    assert "libQt" not in maps

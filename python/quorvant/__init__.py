"""Quorvant from Python: every local maximum, minimum and saddle of a formula in a box.

The engine is the one the window and ``quorvant-cli`` run: the same grid (Explore) or
random starting points (Random), the same Newton iteration on finite differences, the
same listing, byte for byte.

>>> import quorvant
>>> p = quorvant.Problem("(x^2+y-11)^2+(x+y^2-7)^2", ["x", "y"],
...                      [(-5, 5, 10), (-5, 5, 10)])
>>> r = quorvant.explore(p, info=True)
>>> r.minima            # k x n array, one row per minimum
>>> r.saddles           # the stationary points classified as saddles
>>> print("\\n".join(r.listing))

Functions: :func:`explore`, :func:`random`, :func:`evaluate`, :func:`plot`.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from os import PathLike
from typing import Any, Callable, Optional, Sequence, Tuple, Union

import numpy as np

from . import _quorvant

__all__ = ["Problem", "Result", "Proof", "FormulaError", "explore", "random", "prove", "evaluate",
           "plot"]
__version__ = "0.1.0"

#: True when formulas run as machine code in this build (else the interpreter runs them).
compiled_code: bool = _quorvant.compiled_code


class FormulaError(ValueError):
    """The formula failed at a point: ``number`` is the error number, ``row`` the row
    of the points where it failed first."""

    def __init__(self, message: str, number: int, row: int = -1):
        super().__init__(message)
        self.number = number
        self.row = row


class Problem:
    """A problem: a formula in 1 to 10 variables, the box to search and the settings
    of the search.

    ``box`` holds one ``(lower, upper, subintervals)`` per variable: Explore starts
    from every point of the grid that cuts each side into that many subintervals.
    ``error_bound`` is the accuracy at which the Newton iteration stops (and two
    points are the same), ``max_cycles`` its cap on iterations, ``constants`` the
    statements run before the formula (``"a=2.5"``). ``maxima`` and ``minima`` hold
    the extrema stored with the problem (a problem file's, or a run's), coordinates
    then the smallest pivot, one row each.

    Raises ValueError, with the messages of the window and the runner, for a problem
    they would refuse.
    """

    def __init__(
        self,
        formula: str,
        names: Sequence[str],
        box: Sequence[Tuple[float, float, int]],
        error_bound: float = 0.01,
        max_cycles: int = 8,
        constants: Sequence[str] = (),
    ):
        if isinstance(names, str):
            names = [n.strip() for n in names.split(",")]
        names = list(names)
        box = [tuple(b) for b in box]
        if len(box) != len(names):
            raise ValueError(f"box needs one (lower, upper, subintervals) per variable: "
                             f"{len(names)} names, {len(box)} sides")
        if any(len(b) != 3 for b in box):
            raise ValueError("each side of the box is (lower, upper, subintervals)")
        self._d = {
            "formula": str(formula),
            "names": names,
            "constants": [str(c) for c in constants],
            "error_bound": float(error_bound),
            "max_cycles": int(max_cycles),
            "lower": [float(b[0]) for b in box],
            "upper": [float(b[1]) for b in box],
            "subintervals": [int(b[2]) for b in box],
            "maxima": [],
            "minima": [],
        }
        if not 1 <= len(names) <= _quorvant.max_variables:
            raise ValueError(f"a problem has 1 to {_quorvant.max_variables} variables")
        self._check()

    def _check(self) -> None:
        error = _quorvant.check(self._d)
        if error:
            raise ValueError(error)

    @classmethod
    def _from_dict(cls, d: dict) -> "Problem":
        p = cls.__new__(cls)
        p._d = d
        return p

    @classmethod
    def load(cls, path: Union[str, PathLike]) -> "Problem":
        """Reads a problem file (first line ``Zorvex``), with its stored extrema.
        Raises ValueError with the runner's message for a file it would refuse."""
        p = cls._from_dict(_quorvant.load(str(path)))
        try:
            p._check()
        except ValueError as e:
            raise ValueError(f"{path}: {e}") from None
        return p

    def save(self, path: Union[str, PathLike]) -> None:
        """Writes the problem, with its stored extrema, as a problem file (the file is
        never left half-written). Raises OSError when it cannot be written."""
        _quorvant.save(str(path), self._d)

    formula = property(lambda self: self._d["formula"], doc="the formula")
    names = property(lambda self: list(self._d["names"]), doc="the variable names")
    constants = property(lambda self: list(self._d["constants"]), doc="the constant statements")
    error_bound = property(lambda self: self._d["error_bound"], doc="the error bound")
    max_cycles = property(lambda self: self._d["max_cycles"], doc="the iteration cap")

    @property
    def box(self) -> list:
        """One ``(lower, upper, subintervals)`` per variable."""
        d = self._d
        return list(zip(d["lower"], d["upper"], d["subintervals"]))

    @property
    def maxima(self) -> np.ndarray:
        """The stored maxima, k x (n + 1): coordinates, then the smallest pivot."""
        return np.array(self._d["maxima"], dtype=float).reshape(-1, len(self._d["names"]) + 1)

    @property
    def minima(self) -> np.ndarray:
        """The stored minima, k x (n + 1): coordinates, then the smallest pivot."""
        return np.array(self._d["minima"], dtype=float).reshape(-1, len(self._d["names"]) + 1)

    def __eq__(self, other: object) -> bool:
        return isinstance(other, Problem) and self._d == other._d

    def __repr__(self) -> str:
        extra = ""
        if self.error_bound != 0.01:
            extra += f", error_bound={self.error_bound!r}"
        if self.max_cycles != 8:
            extra += f", max_cycles={self.max_cycles!r}"
        if self.constants:
            extra += f", constants={self.constants!r}"
        return f"Problem({self.formula!r}, {self.names!r}, {self.box!r}{extra})"


@dataclass(repr=False)
class Result:
    """What a run found.

    ``maxima`` and ``minima`` are k x n arrays (one row per extremum, in the order
    found), ``maxima_values`` / ``minima_values`` the function there, ``*_pivots`` the
    smallest absolute pivot of each. ``points`` are all stationary points the run
    classified (duplicates included), with ``kinds`` ("maximum", "minimum", "saddle",
    "semidefinite", "positive semidefinite", "negative semidefinite"), the ``starts``
    of their iterations, their smallest ``pivots``, ``cycles`` and whether each was
    ``stored`` as a new extremum. ``listing`` holds the lines ``quorvant-cli`` prints,
    counts caption last; ``end`` is "completed", "store full" (a 101st extremum of a
    kind) or "failed" (``error`` says why, ``failed_at`` where). ``flags`` are the
    problems met; ``problem`` is the problem with the run's extrema stored (to save).
    """

    end: str
    listing: list
    maxima: np.ndarray
    minima: np.ndarray
    maxima_values: np.ndarray
    minima_values: np.ndarray
    maxima_pivots: np.ndarray
    minima_pivots: np.ndarray
    points: np.ndarray
    kinds: list
    starts: np.ndarray
    pivots: np.ndarray
    cycles: np.ndarray
    stored: np.ndarray
    flags: dict
    error: str
    error_number: int
    failed_at: np.ndarray
    messages: list
    problem: Problem = field(repr=False)

    @property
    def saddles(self) -> np.ndarray:
        """The stationary points classified as saddles, each once (within the error
        bound), k x n."""
        return _distinct(self.points[[k == "saddle" for k in self.kinds]],
                         self.problem.error_bound)

    def __str__(self) -> str:
        return "\n".join(self.listing)

    def __repr__(self) -> str:
        return (f"<quorvant.Result {self.end}: {len(self.maxima)} maxima, {len(self.minima)} "
                f"minima, {len(self.points)} stationary points met>")


def _distinct(points: np.ndarray, bound: float) -> np.ndarray:
    kept: list = []
    for p in points:
        if not any(np.all(np.abs(p - q) <= bound) for q in kept):
            kept.append(p)
    return np.array(kept, dtype=float).reshape(-1, points.shape[1])


def _result(d: dict) -> Result:
    d = dict(d)
    d["problem"] = Problem._from_dict(d["problem"])
    return Result(**d)


def _threads(threads: Optional[int]) -> int:
    if threads is None:
        return 0
    if not isinstance(threads, int) or not 1 <= threads <= 1024:
        raise ValueError("threads must be a whole number from 1 to 1024 (None: one per core)")
    return threads


ProgressCallback = Callable[[int, int], Any]


def explore(
    problem: Problem,
    threads: Optional[int] = None,
    info: bool = False,
    progress: Optional[ProgressCallback] = None,
    part_size: int = 0,
) -> Result:
    """Searches from every point of the grid over the problem's box (Explore).

    threads: how many threads search (None: one per core); every count gives the
        same results.
    info: "Show additional info": the listing holds the pivots, determinants,
        saddles and problems met too (``quorvant-cli --explore --info``).
    progress: called as ``progress(done, total)`` (grid points) a few times a second
        at most, and once at the end; an exception it raises stops the run and is
        raised again.
    part_size: grid points in each part a thread takes up (0: the run chooses).

    Ctrl+C (KeyboardInterrupt) stops the run and is raised. The GIL is released while
    the run works. Raises ValueError when the problem cannot be searched (the
    runner's reason).
    """
    return _run(problem, 0, threads, info, progress, None, part_size)


def random(
    problem: Problem,
    trials: int,
    threads: Optional[int] = None,
    info: bool = False,
    progress: Optional[ProgressCallback] = None,
    seed: Optional[int] = None,
    part_size: int = 0,
) -> Result:
    """Searches from ``trials`` random starting points in the problem's box (Random).

    seed: None draws from the clock (as the runner does); a whole number makes the
        starting points, hence the results, repeatable.
    The other arguments are those of :func:`explore` (``progress`` counts trials).
    """
    if not isinstance(trials, int) or not 1 <= trials <= 2147483647:
        raise ValueError("trials must be a whole number from 1 to 2147483647")
    if seed is not None:
        seed = int(seed) & 0xFFFFFFFFFFFFFFFF
    return _run(problem, trials, threads, info, progress, seed, part_size)


def _run(problem, trials, threads, info, progress, seed, part_size) -> Result:
    if not isinstance(problem, Problem):
        raise TypeError("problem must be a quorvant.Problem")
    if progress is not None and not callable(progress):
        raise TypeError("progress must be callable as progress(done, total)")
    return _result(_quorvant.run(problem._d, trials, _threads(threads), bool(info), progress,
                                 seed, int(part_size), 0.25))


_PROVEN_KINDS = {
    "MAXIMUM AT:": "maximum",
    "MINIMUM AT:": "minimum",
    "SADDLE POINT AT:": "saddle",
    "STATIONARY POINT OF UNDECIDED KIND AT:": "undecided",
}


@dataclass(repr=False)
class Proof:
    """What :func:`prove` proved.

    ``points`` (k x n) are the centres of the proven stationary points' enclosures,
    as the listing writes them (15 significant digits), each holding exactly one
    stationary point within ``radii`` in every coordinate; ``kinds`` says which
    ("maximum", "minimum", "saddle", "undecided" where the Hessian's enclosure decides
    nothing). ``complete`` is True when every stationary point of the box is among
    them; otherwise ``undecided`` lists the sub-boxes that could not be decided, each
    as ``(reason, [(lower, upper), ...])``. ``listing`` holds the lines
    ``quorvant-cli --prove`` prints, ``verdict`` its verdict line; ``end`` is
    "completed" or "stopped".
    """

    complete: bool
    points: np.ndarray
    kinds: list
    radii: np.ndarray
    undecided: list
    verdict: str
    listing: list
    end: str

    def _of(self, kind: str) -> np.ndarray:
        return self.points[[k == kind for k in self.kinds]].reshape(-1, self.points.shape[1])

    maxima = property(lambda self: self._of("maximum"), doc="the proven maxima, k x n")
    minima = property(lambda self: self._of("minimum"), doc="the proven minima, k x n")
    saddles = property(lambda self: self._of("saddle"), doc="the proven saddles, k x n")

    def __str__(self) -> str:
        return "\n".join(self.listing)

    def __repr__(self) -> str:
        return (f"<quorvant.Proof {'complete' if self.complete else 'incomplete'}: "
                f"{len(self.maxima)} maxima, {len(self.minima)} minima, "
                f"{len(self.saddles)} saddles, {len(self.undecided)} sub-boxes undecided>")


def prove(problem: Problem, threads: Optional[int] = None, max_boxes: Optional[int] = None,
          seconds: Optional[float] = None, min_width: Optional[float] = None) -> Proof:
    """Proves the list of stationary points in the problem's box complete, or says
    which parts of the box it could not decide (``quorvant-cli --prove``).

    Interval arithmetic with outward rounding (Arb for the elementary functions)
    encloses the formula's gradient and Hessian over sub-boxes: a sub-box whose
    gradient excludes 0 holds no stationary point, one that a Krawczyk step maps
    into itself holds exactly one, and the kind is read from the Hessian's enclosure.
    The formula must be smooth: Int, Abs, comparisons, Mod, texts and the like are
    refused with a ValueError naming them. The proof is of the real function as
    written, within the box; the listing of Explore and Random is not what it
    proves. threads: None, one per core. The budgets (``--prove-max-boxes``,
    ``--prove-seconds``, ``--prove-min-width``): None, the runner's defaults; a
    budget that ends the proof leaves the sub-boxes not yet decided in ``undecided``.
    Ctrl+C stops it and is raised.
    """
    if not isinstance(problem, Problem):
        raise TypeError("problem must be a quorvant.Problem")
    if not _quorvant.prove_available:
        raise RuntimeError("this build of quorvant has no Prove (it needs the Arb library)")
    budget = []
    for option, value in (("--prove-max-boxes", max_boxes), ("--prove-seconds", seconds),
                          ("--prove-min-width", min_width)):
        if value is not None:
            if isinstance(value, bool) or not isinstance(value, (int, float)):
                raise TypeError(option[2:].replace("-", "_") + " must be a number")
            budget += [option, repr(value)]
    out = _quorvant.prove(problem._d, _threads(threads), budget)
    messages = [m.split(": ", 1)[-1] for m in out["messages"].splitlines()]
    if out["status"] == 2:
        raise ValueError(messages[0] if messages else "the problem cannot be proven")
    lines = out["listing"].splitlines()
    n = len(problem.names)
    points, kinds, radii, undecided = [], [], [], []
    verdict = ""
    k = 0
    while k < len(lines):
        line = lines[k]
        if line in _PROVEN_KINDS:
            kinds.append(_PROVEN_KINDS[line])
            points.append([float(lines[k + 1 + i].split("=", 1)[1]) for i in range(n)])
            radii.append(float(lines[k + 1 + n].split("=", 1)[1]))
            k += n + 2
            continue
        if line.startswith("UNDECIDED: "):
            sides = []
            for i in range(n):
                lo, hi = lines[k + 1 + i].split("=", 1)[1].split(" TO ")
                sides.append((float(lo), float(hi)))
            undecided.append((line[len("UNDECIDED: "):], sides))
            k += n + 1
            continue
        if line.startswith("All ") or " stationary points proven; " in line:
            verdict = line
        k += 1
    return Proof(
        complete=verdict.startswith("All "),
        points=np.array(points, dtype=float).reshape(-1, n),
        kinds=kinds,
        radii=np.array(radii, dtype=float),
        undecided=undecided,
        verdict=verdict,
        listing=lines,
        end="stopped" if out["status"] == 1 else "completed",
    )


def evaluate(
    formula: str,
    names: Sequence[str],
    points: Any,
    constants: Sequence[str] = (),
    errors: str = "nan",
    threads: Optional[int] = None,
) -> np.ndarray:
    """The formula at every row of ``points`` (an m x n array, one column per name;
    a 1-d array is m points of one variable), as a run evaluates it: machine code
    where this build has it, each coordinate taken with 15 significant digits.

    errors: "nan" gives NaN where the formula fails; "raise" raises FormulaError
        (a ValueError) at the first row that fails.
    threads: how many threads share a long array (None: one per core).
    The GIL is released while it works. Raises ValueError for a constant that cannot
    be executed.
    """
    return _evaluate(formula, names, points, constants, errors, "compiled", threads)


def _evaluate(formula, names, points, constants, errors, path, threads=None) -> np.ndarray:
    if errors not in ("nan", "raise"):
        raise ValueError('errors must be "nan" or "raise"')
    if isinstance(names, str):
        names = [n.strip() for n in names.split(",")]
    names = list(names)
    a = np.asarray(points, dtype=float)
    if a.ndim == 1 and len(names) == 1:
        a = a.reshape(-1, 1)
    values, row, number, message = _quorvant.evaluate(str(formula), names, a,
                                                      [str(c) for c in constants], path,
                                                      errors == "raise", _threads(threads))
    if row >= 0 and errors == "raise":
        raise FormulaError(f"row {row}: {message}", number, row)
    return values


def plot(problem: Problem, result: Optional[Result] = None, samples: Optional[int] = None,
         ax: Any = None):
    """A matplotlib figure of the function over the problem's box with the extrema
    marked: a curve for one variable, a heat map with contours for two (the window's
    colour scale), for more a heat map of the first two variables through the first
    stored extremum (or the box's centre). The extrema are the result's (else those
    stored with the problem); a result's saddles are marked too. matplotlib is
    imported here only. ``ax``: draw into these axes instead of a new figure.
    """
    from . import _plot

    return _plot.plot(problem, result, samples, ax)

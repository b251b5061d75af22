from os import PathLike
from typing import Any, Callable, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
compiled_code: bool

class FormulaError(ValueError):
    number: int
    row: int
    def __init__(self, message: str, number: int, row: int = ...) -> None: ...

class Problem:
    def __init__(
        self,
        formula: str,
        names: Union[str, Sequence[str]],
        box: Sequence[Tuple[float, float, int]],
        error_bound: float = ...,
        max_cycles: int = ...,
        constants: Sequence[str] = ...,
    ) -> None: ...
    @classmethod
    def load(cls, path: Union[str, PathLike[str]]) -> Problem: ...
    def save(self, path: Union[str, PathLike[str]]) -> None: ...
    @property
    def formula(self) -> str: ...
    @property
    def names(self) -> list[str]: ...
    @property
    def constants(self) -> list[str]: ...
    @property
    def error_bound(self) -> float: ...
    @property
    def max_cycles(self) -> int: ...
    @property
    def box(self) -> list[Tuple[float, float, int]]: ...
    @property
    def maxima(self) -> npt.NDArray[np.float64]: ...
    @property
    def minima(self) -> npt.NDArray[np.float64]: ...

class Result:
    end: str
    listing: list[str]
    maxima: npt.NDArray[np.float64]
    minima: npt.NDArray[np.float64]
    maxima_values: npt.NDArray[np.float64]
    minima_values: npt.NDArray[np.float64]
    maxima_pivots: npt.NDArray[np.float64]
    minima_pivots: npt.NDArray[np.float64]
    points: npt.NDArray[np.float64]
    kinds: list[str]
    starts: npt.NDArray[np.float64]
    pivots: npt.NDArray[np.float64]
    cycles: npt.NDArray[np.int32]
    stored: npt.NDArray[np.bool_]
    flags: dict[str, bool]
    error: str
    error_number: int
    failed_at: npt.NDArray[np.float64]
    messages: list[str]
    problem: Problem
    @property
    def saddles(self) -> npt.NDArray[np.float64]: ...

ProgressCallback = Callable[[int, int], Any]

def explore(
    problem: Problem,
    threads: Optional[int] = ...,
    info: bool = ...,
    progress: Optional[ProgressCallback] = ...,
    part_size: int = ...,
) -> Result: ...
def random(
    problem: Problem,
    trials: int,
    threads: Optional[int] = ...,
    info: bool = ...,
    progress: Optional[ProgressCallback] = ...,
    seed: Optional[int] = ...,
    part_size: int = ...,
) -> Result: ...
class Proof:
    complete: bool
    points: npt.NDArray[np.float64]
    kinds: list[str]
    radii: npt.NDArray[np.float64]
    undecided: list[Tuple[str, list[Tuple[float, float]]]]
    verdict: str
    listing: list[str]
    end: str
    @property
    def maxima(self) -> npt.NDArray[np.float64]: ...
    @property
    def minima(self) -> npt.NDArray[np.float64]: ...
    @property
    def saddles(self) -> npt.NDArray[np.float64]: ...

def prove(problem: Problem, threads: Optional[int] = ...) -> Proof: ...
def evaluate(
    formula: str,
    names: Union[str, Sequence[str]],
    points: npt.ArrayLike,
    constants: Sequence[str] = ...,
    errors: str = ...,
    threads: Optional[int] = ...,
) -> npt.NDArray[np.float64]: ...
def plot(problem: Problem, result: Optional[Result] = ..., samples: Optional[int] = ...,
         ax: Any = ...) -> Any: ...

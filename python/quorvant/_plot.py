"""The plot of a problem with matplotlib (imported here only, when a plot is asked for)."""

from __future__ import annotations

import numpy as np

# The window's colour scale: dark violet through blue and green to yellow, so equal
# steps of the value look like equal steps of colour.
_STOPS = [(68, 1, 84), (71, 44, 122), (59, 81, 139), (44, 113, 142), (33, 144, 141),
          (39, 173, 129), (92, 200, 99), (170, 220, 50), (253, 231, 37)]
_MAXIMUM = (200 / 255, 30 / 255, 30 / 255)
_MINIMUM = (20 / 255, 110 / 255, 30 / 255)
_OTHER = (90 / 255, 90 / 255, 90 / 255)


def colormap():
    """The window's colour scale as a matplotlib colormap."""
    from matplotlib.colors import LinearSegmentedColormap

    cmap = LinearSegmentedColormap.from_list("quorvant", [tuple(c / 255 for c in s) for s in _STOPS])
    cmap.set_bad(alpha=0)  # failures show as gaps
    return cmap


def _markers(problem, result):
    n = len(problem.names)
    if result is not None:
        return result.maxima, result.minima, result.saddles
    return problem.maxima[:, :n], problem.minima[:, :n], np.empty((0, n))


def plot(problem, result=None, samples=None, ax=None):
    import matplotlib.pyplot as plt

    from . import _evaluate

    names, box = problem.names, problem.box
    n = len(names)
    maxima, minima, others = _markers(problem, result)
    if ax is None:
        fig, ax = plt.subplots(figsize=(7, 5.5) if n > 1 else (7, 4.5), layout="constrained")
    else:
        fig = ax.figure
    lower = np.array([b[0] for b in box])
    upper = np.array([b[1] for b in box])

    def values(points):
        return _evaluate(problem.formula, names, points, problem.constants, "nan", "compiled")

    def mark(points, label, marker, colour, on_curve):
        if len(points) == 0:
            return
        y = values(points) if on_curve else points[:, 1]
        edges = {"edgecolors": "white", "linewidths": 0.8} if marker != "x" else {}
        ax.scatter(points[:, 0], y, marker=marker, s=60, color=colour, label=label, zorder=3,
                   **edges)

    if n == 1:
        x = np.linspace(lower[0], upper[0], samples or 801)
        ax.plot(x, values(x.reshape(-1, 1)), color=(30 / 255, 60 / 255, 150 / 255), lw=2)
        ax.set_xlabel(names[0])
        ax.set_ylabel(problem.formula if len(problem.formula) <= 60 else "f")
        on_curve = True
    else:
        k = samples or 201
        xs = np.linspace(lower[0], upper[0], k)
        ys = np.linspace(lower[1], upper[1], k)
        gx, gy = np.meshgrid(xs, ys)
        # More than two variables: a slice through the first extremum (or the centre).
        fixed = (lower + upper) / 2
        for stored in (maxima, minima):
            if len(stored):
                fixed = np.array(stored[0], dtype=float)
                break
        pts = np.tile(fixed, (gx.size, 1))
        pts[:, 0], pts[:, 1] = gx.ravel(), gy.ravel()
        z = values(pts).reshape(gx.shape)
        masked = np.ma.masked_invalid(z)
        mesh = ax.pcolormesh(gx, gy, masked, cmap=colormap(), shading="auto")
        if np.isfinite(z).sum() > 3 and np.nanmax(z) > np.nanmin(z):
            ax.contour(gx, gy, masked, levels=12, colors="white", linewidths=0.6, alpha=0.7)
        fig.colorbar(mesh, ax=ax, label="f")
        ax.set_xlabel(names[0])
        ax.set_ylabel(names[1])
        if n > 2:
            rest = ", ".join(f"{names[i]}={fixed[i]:.6g}" for i in range(2, n))
            ax.set_title(f"slice at {rest}", fontsize=9)
        on_curve = False
    mark(maxima, "maximum", "^", _MAXIMUM, on_curve)
    mark(minima, "minimum", "v", _MINIMUM, on_curve)
    mark(others, "saddle", "x", _OTHER, on_curve)
    if len(maxima) or len(minima) or len(others):
        ax.legend(loc="best", fontsize=8)
    return fig

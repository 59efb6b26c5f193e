"""The picture of a solid: its faces as shaded polygons in a 3D axes."""

import math

import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure
from matplotlib.patches import Patch
from mpl_toolkits.mplot3d.art3d import Poly3DCollection  # type: ignore[import-untyped]

from . import _native

PALETTE = ["#4c78a8", "#f58518", "#54a24b", "#e45756", "#72b7b2", "#eeca3b", "#b279a2",
           "#ff9da6", "#9d755d", "#bab0ac"]


def _rgb(hex_colour):
    return np.array([int(hex_colour[i:i + 2], 16) / 255 for i in (1, 3, 5)])


_RGB = [_rgb(c) for c in PALETTE]


def render(solid, path, *, view, size, dpi, title):
    v, n, labels = _native.face_loops(solid)
    points = np.frombuffer(v, dtype="<f8").reshape(-1, 3)
    sizes = np.frombuffer(n, dtype="<i8")
    starts = np.concatenate(([0], np.cumsum(sizes)[:-1])).astype(int)
    # Each corner's cross product with the next one round its loop, for all
    # loops at once.
    following = np.arange(1, len(points) + 1)
    following[starts + sizes - 1] = starts
    crosses = np.cross(points, points[following])

    elev, azim = (math.radians(a) for a in view)
    towards_camera = np.array([math.cos(elev) * math.cos(azim), math.cos(elev) * math.sin(azim),
                               math.sin(elev)])
    light = towards_camera + np.array([0.0, 0.0, 0.6])
    light /= np.linalg.norm(light)

    prefixes = {}  # prefix -> its place in the legend
    polygons, colours = [], []
    for start, size_, label in zip(starts, sizes, labels):
        # Newell's normal: the loop's area vector, outward for a closed solid.
        normal = crosses[start:start + size_].sum(axis=0)
        length = np.linalg.norm(normal)
        if not np.isfinite(length) or length == 0 or normal @ towards_camera < 0:
            continue
        base = _RGB[prefixes.setdefault(label.split(".", 1)[0], len(prefixes)) % len(PALETTE)]
        shade = 0.45 + 0.55 * max(0.0, float(normal @ light) / length)
        polygons.append(points[start:start + size_])
        colours.append(np.append(base * shade, 1.0))

    fig = Figure(figsize=size, dpi=dpi)
    FigureCanvasAgg(fig)
    ax = fig.add_subplot(projection="3d", proj_type="ortho")
    if polygons:
        ax.add_collection3d(Poly3DCollection(polygons, facecolors=colours,
                                             edgecolors=(0, 0, 0, 0.35), linewidths=0.4))
        finite = points[np.isfinite(points).all(axis=1)]
        lo, hi = finite.min(axis=0), finite.max(axis=0)
        span = np.maximum(hi - lo, (hi - lo).max() * 1e-3 + 1e-300)
        ax.set_xlim(lo[0], lo[0] + span[0])
        ax.set_ylim(lo[1], lo[1] + span[1])
        ax.set_zlim(lo[2], lo[2] + span[2])
        ax.set_box_aspect(span)
        ax.legend(handles=[Patch(color=PALETTE[i % len(PALETTE)], label=p)
                           for p, i in prefixes.items()], loc="upper left", fontsize="small")
    ax.view_init(elev=view[0], azim=view[1])
    ax.set_xlabel("x")
    ax.set_ylabel("y")
    ax.set_zlabel("z")
    if title:
        ax.set_title(title)
    fig.savefig(path, format="png")

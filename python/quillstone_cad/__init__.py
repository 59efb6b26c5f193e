"""quillstone_cad: exact solid modelling for Python users.

A layer over the ``quillstone`` kernel that takes and gives ordinary Python
numbers and objects:

* :class:`Part`, an immutable exact solid: ``|``, ``-`` and ``&``, exact
  ``==`` and ``hash``, placements (``moved``, ``scaled``, ``mirrored``,
  ``rotated``, ``transformed``), exact measures (``volume``, ``bbox``,
  ``centroid``, ``inertia``) and ``area``; its logical faces and edges
  (``faces()``, ``edges()``) with CAD-style selections;
* builders: :func:`box`, :func:`prism`, :func:`prismatoid`,
  :func:`cylinder`, :func:`cone`, :func:`extrude` (with :func:`circle` for
  round outlines and holes), :func:`from_arrays`, :func:`from_trimesh` and
  :func:`load`;
* :func:`union` and :func:`intersection` of many parts;
* :func:`rotation_angle` and :func:`rotation_matrix`: the exact rotations.

Numbers go in as ``int``, ``Fraction``, ``Decimal``, ``str`` (``'3/2'``,
``'0.1'``, ``'1e-3'``), numpy numbers and ``float`` (read as the shortest
decimal that reads back as the same float, so ``0.1`` is 1/10), and come
out as ``Fraction``. A wrong type raises ``TypeError`` naming the
argument, a value that cannot be used ``ValueError`` naming it and the
value.

docs/cad.md is the guide, with a tutorial.
"""

import quillstone_io as _quillstone_io  # noqa: F401  (makes solids, and so Parts, pickle)

from ._build import (box, circle, cone, cylinder, extrude, from_arrays, from_trimesh, load,
                     prism, prismatoid)
from ._numbers import Number
from ._part import Part, Point, Tensor, intersection, union
from ._rotation import rotation_angle, rotation_matrix
from ._section import Polygon, Section
from ._topology import Edge, EdgeList, Face, FaceList, Selection

__all__ = [
    "Part",
    "Number",
    "Point",
    "Tensor",
    "Face",
    "Edge",
    "FaceList",
    "EdgeList",
    "Selection",
    "Section",
    "Polygon",
    "box",
    "prism",
    "prismatoid",
    "cylinder",
    "cone",
    "extrude",
    "circle",
    "from_arrays",
    "from_trimesh",
    "load",
    "union",
    "intersection",
    "rotation_angle",
    "rotation_matrix",
]

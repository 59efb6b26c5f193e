"""quillstone_cad: exact solid modelling for Python users.

A layer over the ``quillstone`` kernel that takes and gives ordinary Python
numbers and objects:

* :class:`Part`, an immutable exact solid with ``|``, ``-`` and ``&``,
  exact ``==`` and ``hash``, and exact measures;
* numbers in as ``int``, ``Fraction``, ``Decimal``, ``str`` (``'3/2'``,
  ``'0.1'``, ``'1e-3'``), numpy numbers and ``float`` (read as the
  shortest decimal that reads back as the same float, so ``0.1`` is 1/10);
  numbers out as ``Fraction``.

docs/cad.md is the guide, with a tutorial.
"""

import quillstone_io as _quillstone_io  # noqa: F401  (makes solids, and so Parts, pickle)

from ._numbers import Number
from ._part import Part, Point

__all__ = ["Part", "Number", "Point"]

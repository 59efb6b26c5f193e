"""Geometry in and out of quillstone.

quillstone builds, combines and measures exact solids; this companion module
moves them across the kernel's edge without losing a digit:

* ``faces(solid)`` and ``from_faces(faces)``: every stored face as exact
  number texts, and a solid built from such a list after full validation.
* ``dumps(solid)`` and ``loads(text)``: a lossless, versioned, line-based
  text. Importing this module registers it with :mod:`copyreg`, so
  ``quillstone.PySolid`` objects pickle, copy and cross process boundaries
  (:mod:`multiprocessing`, :mod:`concurrent.futures`, Dask).
* ``PanicException``: the type of quillstone's aborted calls, named here so
  that ``except quillstone_io.PanicException`` works and it pickles.

Numbers are texts in quillstone's syntax both ways: ``'3/2'``, ``'-7'``,
``'5/1'`` in, ``format``-ed as numerator/denominator out.
"""

import copyreg as _copyreg

import quillstone as _qs

from . import _native

__all__ = ["PanicException", "faces", "from_faces", "dumps", "loads"]

PanicException = _native.PanicException
PanicException.__doc__ = """A quillstone call was aborted.

Raised for a malformed number text, an unknown operation name or a broken
internal invariant, by quillstone and by this module's own compiled code.
It derives from BaseException, not Exception, so ``except Exception`` does
not catch it: name it (``except quillstone_io.PanicException``). Its one
argument is the failure text. It pickles by reference, so a worker process
that raises it hands the parent this same type.
"""


def faces(solid):
    """The stored faces of `solid`, exactly, in stored order.

    Returns a list with one tuple ``(label, vertices, normal, offset)`` per
    face: ``label`` a str, ``vertices`` a list of ``[x, y, z]`` lists of
    number texts, ``normal`` the stored plane's normal ``[nx, ny, nz]`` and
    ``offset`` its offset (the plane is ``normal . p == offset``), all as
    texts such as ``'1/3'``. Nothing is merged, reordered or recomputed: the
    planes are the stored ones, which pieces of a boolean inherit from the
    face they were cut from.

    ``from_faces(faces(s))`` rebuilds ``s``.
    """
    return _native.faces(solid)


def from_faces(faces, check=True):
    """A new ``quillstone.PySolid`` from a list of faces.

    Each face is a sequence ``(label, vertices, normal, offset)`` as
    :func:`faces` returns it, or just ``(label, vertices)``. ``vertices`` is
    a sequence of ``[x, y, z]`` number texts in quillstone's syntax
    (``'3'``, ``'-1/2'``), running counter-clockwise seen from outside.
    ``normal`` (three texts) and ``offset`` (one text) give the face's plane
    ``normal . p == offset``; either may be ``None``. A missing normal is
    taken from vertices 0, 1 and 2, as quillstone's own builders do, or,
    where those are collinear or turn against the loop, from the loop's
    area vector; a missing offset is ``normal . vertex 0``.

    Every face is checked, and a failure raises ``ValueError`` naming the
    face's index and what is wrong (``TypeError`` for an item of the wrong
    type); nothing is built then. A face must have at least 3 vertices, all
    exactly on its plane; a given normal must not be zero and must point to
    the side from which the loop runs counter-clockwise; the loop must be
    convex (no reflex corner, no fold back, once around), since booleans
    cut faces along planes and only convex loops survive that. A face with
    no area (all vertices on one line) is dropped, as every builder drops
    them. Number texts that do not parse raise ``ValueError`` too.

    Unless ``check`` is false, the faces must also close up: every piece of
    every edge matched by edges of other faces running the other way (the
    rule of ``PySolid.watertight_ok``, so T-junctions are fine). A closed
    shell wound inwards (negative volume) is turned over: every face is
    flipped, its loop reversed and its plane negated, so the result has
    ``volume() >= 0``. With ``check=False`` the faces are taken as they
    are, open or inside out.
    """
    return _native.from_faces(faces, check)


def dumps(solid):
    """The lossless text of `solid`: a str that :func:`loads` reads back.

    A small versioned, line-based format that keeps every face in order,
    with its label, its stored plane and its vertices exactly::

        quillstone solid 1
        faces 6
        face 4 "b.bottom"
        plane 0/1 0/1 -1/1 0/1
        0/1 0/1 0/1
        ...
        end

    ``loads(dumps(s))`` behaves identically to ``s`` in every operation.
    """
    return _native.dumps(solid)


def loads(text):
    """The solid that :func:`dumps` wrote as `text`.

    Malformed text raises ``ValueError`` naming the line, as does a face
    with fewer than 3 vertices, a vertex off its face's plane or a face
    that is not convex; nothing is built then.
    """
    return _native.loads(text)


def _reduce_solid(solid):
    return loads, (dumps(solid),)


_copyreg.pickle(_qs.PySolid, _reduce_solid)

"""Geometry in and out of quillstone.

quillstone builds, combines and measures exact solids; this companion module
moves them across the kernel's edge without losing a digit:

* ``faces(solid)`` and ``from_faces(faces)``: every stored face as exact
  number texts, and a solid built from such a list after full validation.
* ``validate(solid)``: whether a solid's faces bound a solid (closed, no
  faces crossing, shells properly nested), as a report.
* ``dumps(solid)`` and ``loads(text)``: a lossless, versioned, line-based
  text. Importing this module registers it with :mod:`copyreg`, so
  ``quillstone.PySolid`` objects pickle, copy and cross process boundaries
  (:mod:`multiprocessing`, :mod:`concurrent.futures`, Dask).
* ``read_mesh(path)`` and ``write_mesh(solid, path)``: OBJ, OFF, STL
  (ASCII and binary) and 3MF files, read exactly and written as closed
  meshes that other programs accept.
* ``to_arrays(solid)``: vertices and triangles as numpy arrays
  (``pip install quillstone[arrays]``).
* ``render(solid, path)``: a PNG picture (``pip install quillstone[plot]``).
* ``MeshFormatError``: the one exception (a ``ValueError``) for a file or
  text that cannot be read, with the file, the line or part, and the reason.
* ``PanicException``: the type of quillstone's aborted calls, named here so
  that ``except quillstone_io.PanicException`` works and it pickles.

Numbers are texts in quillstone's syntax both ways: ``'3/2'``, ``'-7'``,
``'5/1'`` in, ``format``-ed as numerator/denominator out.
"""

import copyreg as _copyreg
import dataclasses as _dataclasses
import importlib as _importlib
import os as _os

import quillstone as _qs

from . import _native
from ._errors import MeshFormatError

__all__ = ["PanicException", "MeshFormatError", "Validation", "faces", "from_faces", "validate",
           "dumps", "loads", "read_mesh", "write_mesh", "to_arrays", "render"]

MeshFormatError.__module__ = __name__  # pickles and shows as quillstone_io.MeshFormatError
_native.set_format_error(MeshFormatError)

PanicException = _native.PanicException
_PANIC_DOC = """A quillstone call was aborted.

Raised for a malformed number text, an unknown operation name or a broken
internal invariant, by quillstone and by this module's own compiled code.
It derives from BaseException, not Exception, so ``except Exception`` does
not catch it: name it (``except quillstone_io.PanicException``). Its one
argument is the failure text. It pickles by reference, so a worker process
that raises it hands the parent this same type.

``concurrent.futures.ProcessPoolExecutor`` (and Dask) pass it back from a
worker. ``multiprocessing.Pool`` passes back only ``Exception``: a worker
that lets this escape ends, and the pool waits for its result forever. In
a Pool, catch it in the worker and return or re-raise it as you need.
"""
try:
    PanicException.__doc__ = _PANIC_DOC
except (AttributeError, TypeError):  # a type made immutable keeps its own
    pass


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
    taken from vertices 0, 1 and 2, as quillstone's own builders do; a
    missing offset is ``normal . vertex 0``. A loop whose first three
    vertices lie on one line (it starts along a side, as loops with
    T-junction points may) is stored starting at the next vertex where they
    do not: the transforms take a face's plane from its first three
    vertices, and would otherwise lose it.

    Every face is checked, and a failure raises ``ValueError`` naming the
    face's index and what is wrong (``TypeError`` for an item of the wrong
    type); nothing is built then. A face must have at least 3 vertices, all
    exactly on its plane; a given normal must not be zero and must point to
    the side from which the loop runs counter-clockwise; the loop must be
    convex (no reflex corner, no fold back, once around), since booleans
    cut faces along planes and only convex loops survive that. A face with
    no area (all vertices on one line) is dropped, as every builder drops
    them. Number texts that do not parse raise ``ValueError`` too.

    Unless ``check`` is false, the faces must also bound a solid. They must
    close up: every piece of every edge matched by edges of other faces
    running the other way (the rule of ``PySolid.watertight_ok``, so
    T-junctions are fine). A closed surface wound inwards as a whole
    (negative volume) is turned over: every face is flipped, its loop
    reversed and its plane negated, so the result has ``volume() >= 0``.
    Then no two faces may cross, overlap, repeat each other or lie back to
    back (a sheet with two sides): faces may touch only along edges or at
    vertices. And the shells must nest properly: every point of space lies
    outside (winding number 0) or inside (1), so a shell inside another
    must be turned inward, as a cavity. A failure names the two faces, or
    the face whose front has the wrong winding number; :func:`validate`
    reports the same on any solid. The test is exact and costs about n log
    n for n faces (a fraction of a second for 100,000).

    With ``check=False`` none of that is done: the faces are taken as they
    are, open, inside out or crossing, as booleans then take them (and may
    give wrong results).
    """
    return _native.from_faces(faces, check)


@_dataclasses.dataclass(frozen=True)
class Validation:
    """What :func:`validate` found.

    ``closed``: every piece of every edge is matched by edges running the
    other way (``open_edge`` is then None; else it is ``(face, vertex)``, a
    face and the vertex where an unmatched edge starts). ``crossings``:
    pairs of faces that share a point inside both, as ``(face, face,
    kind)`` with kind ``'cross'`` (they pass through each other),
    ``'overlap'`` (in one plane, facing the same way), ``'repeat'`` (the
    second is the first again), ``'back to back'`` (in one plane, facing
    opposite ways: a sheet with two sides) or ``'passes through'`` (the
    first lies along the inside of the second and its shell passes through
    it there). ``winding``: the lowest and highest winding number over all
    of space, ``(0, 1)`` for a solid; None when the surface is open or faces
    cross, where it is not found. ``problem``: the message that
    ``check=True`` gives, or None. A report is true when ``problem`` is None.
    """

    closed: bool
    open_edge: tuple[int, int] | None
    crossings: list[tuple[int, int, str]]
    winding: tuple[int, int] | None
    problem: str | None

    @property
    def ok(self):
        """Whether the faces bound a solid."""
        return self.problem is None

    def __bool__(self):
        return self.ok


def validate(solid, *, max_crossings=100):
    """Whether the faces of `solid` bound a solid, as a :class:`Validation`.

    The test of ``check=True`` in :func:`from_faces`, :func:`read_mesh` and
    :func:`loads`, for any ``quillstone.PySolid``: one made with
    ``check=False``, read from elsewhere or built. The faces must close up;
    no two may share a point inside both (touching along edges or at
    vertices is fine); and every point of space must have winding number 0
    (outside) or 1 (inside): a shell inside another must be turned inward,
    as a cavity. Nothing is turned over here, so a solid wound inwards as a
    whole shows winding ``(-1, 0)``. Up to ``max_crossings`` pairs of faces
    are listed; the winding is found only when the surface is closed and no
    faces cross.

    Exact, like everything else; pairs of faces are found through a
    bounding-volume hierarchy, so it costs about n log n for n faces.
    """
    open_edge, crossings, winding, problem = _native.validate(solid, max_crossings)
    return Validation(open_edge is None, open_edge, crossings, winding, problem)


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

    ``loads(dumps(s))`` behaves identically to ``s`` in every operation. A
    solid whose faces do not close up (made with ``check=False``) is written
    ``faces <n> open``, so that :func:`loads` knows not to require it.
    """
    return _native.dumps(solid)


def loads(text, check=False):
    """The solid that :func:`dumps` wrote as `text`.

    The checks that cost one pass always run, so that no text makes a face
    that breaks a boolean: every face has at least 3 vertices, all on its
    stored plane, a normal that is not zero and a convex loop; and the faces
    close up, unless the text says the solid is open (``faces <n> open``,
    as :func:`dumps` writes for a solid made with ``check=False`` that does
    not close up). Unpickling runs ``loads(text)``: those checks and no
    more, as it passes solids between the processes of one program. With
    ``check=True`` the faces must also bound a solid, as with
    :func:`from_faces`: no faces crossing, shells nested (an open text
    fails). On the 101,568-triangle ball of ``bench/bench_io.py``
    (``bench/bench_validity.py``), ``loads`` takes about 0.21 s, closing up
    about 0.02 s of it, and ``check=True`` adds about 0.13 s.

    Any failure raises :class:`MeshFormatError` naming the line; nothing is
    built then.
    """
    return _native.loads(text, check)


_FORMATS = {".obj": "obj", ".off": "off", ".stl": "stl", ".3mf": "3mf"}


def _format_of(path, format):
    if format is None:
        ext = _os.path.splitext(_os.fspath(path))[1].lower()
        if ext not in _FORMATS:
            raise ValueError(f"cannot tell the mesh format from the extension {ext!r} of "
                             f"{_os.fspath(path)!r}: use .obj, .off, .stl or .3mf, or give format=")
        return _FORMATS[ext]
    fmt = str(format).lower().lstrip(".")
    if "." + fmt not in _FORMATS:
        raise ValueError(f"unknown mesh format {format!r}: use 'obj', 'off', 'stl' or '3mf'")
    return fmt


def read_mesh(path, check=True, *, format=None, triangulate=False):
    """A new ``quillstone.PySolid`` from the mesh file at `path`.

    The format comes from the extension (``.obj``, ``.off``, ``.stl``,
    ``.3mf``, any case) unless ``format`` names it. OBJ and OFF hold
    polygons, STL and 3MF triangles; each polygon becomes one face.

    Reading is exact. A decimal text such as ``0.1`` or ``1e-3`` is read as
    the exact decimal fraction (1/10, 1/1000), not as the nearest double; a
    binary STL coordinate as the exact binary fraction its 32-bit float is.
    OBJ and OFF files written by :func:`write_mesh` with ``exact=True`` give
    back their exact rational coordinates. NaN, infinities, exponents beyond
    400 and more than 1100 digits are refused: every double, written
    shortest or in full, is within those bounds. Line ends may be LF, CRLF
    or CR, and a UTF-8 byte order mark may begin a text file.

    A polygon of more than three vertices must be flat. Files that round
    their coordinates (a tilted cube written with 6 decimals) hold polygons
    that are not quite flat: ``triangulate=True`` reads every polygon of
    more than three vertices v0, v1, ..., vn as the triangles (v0, vi, vi+1),
    i = 1 ... n-1, of its own vertices, exactly. That is right for the
    convex polygons such files hold; the triangles of a polygon that is not
    convex would overlap, and ``check`` refuses them.

    Labels: an OBJ face is labelled with the name of its group (``g``) or
    object (``o``), an ASCII STL face with its solid's name, a 3MF face
    with its object's name, any other face ``'mesh'``; a name that is not
    UTF-8 text is refused. Stored facet normals of STL files are ignored:
    the order of the vertices decides which side is outside, and a closed
    mesh wound inwards as a whole is turned over. A 3MF build item places
    its object (and an object its components) by the item's affine map,
    exactly; a map that mirrors turns the triangles' winding.

    Memory follows the file's size: a read may take at most 64 times the
    file's size and 64 MiB for the points and faces it makes, and a 3MF
    model part may expand to as much; a file that needs more (it names huge
    numbers or long names many times, or places its objects many times) is
    refused.

    The faces then pass the checks of :func:`from_faces` (``check`` as
    there), and with ``check`` the file must hold at least one face with
    area. ``check=False`` skips the tests that the faces close up and bound
    a solid (each face still passes the rules of one face): they are taken
    as they are, booleans of them may be wrong, and :func:`validate` tests
    them later. Every failure, and every malformed line, vertex index out of
    range, truncated binary STL or damaged 3MF archive, raises
    :class:`MeshFormatError` (a ``ValueError``) naming the file, the line or
    part, and what is wrong. Nothing is built then.
    """
    fmt = _format_of(path, format)
    with open(path, "rb") as f:
        data = f.read()
    try:
        if fmt == "3mf":
            from . import _threemf
            objects, placements = _threemf.read(data)
            return _native.read_3mf(objects, placements, check, triangulate, len(data))
        return _native.read_mesh(data, fmt, check, triangulate)
    except MeshFormatError as exc:
        exc.file = _os.fsdecode(path)
        raise


def write_mesh(solid, path, exact=False, binary=True, *, format=None):
    """Writes `solid` to `path` as a closed triangle mesh.

    The format comes from the extension as for :func:`read_mesh`, unless
    ``format`` names it. ``binary`` chooses binary or ASCII STL and applies
    to STL only.

    Other programs take the file as closed (watertight, with the same
    volume): every face edge is first split at the vertices of other faces
    that lie on it (booleans leave such T-junctions), then each face is cut
    into triangles, none of them without area, wound counter-clockwise seen
    from outside; vertices are shared by exact value. Coordinates are
    written as the shortest text of their nearest double (binary STL: their
    nearest 32-bit float), so a program reading the file sees the doubles.
    A coordinate beyond the range of the file's numbers raises
    ``ValueError``. Distinct vertices closer together than the doubles can
    tell apart would be merged by the reader; keep features well above that
    scale.

    ``exact=True`` (OBJ and OFF only) also writes each vertex's exact
    rational coordinates, on a comment line ``#qs-exact x y z`` after it:
    other readers skip it as a comment and read the doubles, while
    :func:`read_mesh` reads the exact values back. OBJ group lines (``g``)
    carry the faces' labels.

    The whole file is made first and written to a new file beside `path`,
    which then replaces `path` in one step: a failure (a full disk, Ctrl-C)
    leaves the old file as it was, or no file.
    """
    fmt = _format_of(path, format)
    if fmt == "3mf":
        if exact:
            raise ValueError("exact coordinates are written to OBJ and OFF only: "
                             "3MF holds decimal numbers that are written from doubles")
        from . import _threemf
        vertices, triangles = _native.mesh_arrays(solid)
        data = _threemf.write(vertices, triangles)
    else:
        data = _native.write_mesh(solid, fmt, exact, binary)
    _replace_file(path, data)


def _replace_file(path, data):
    """Writes data to a new file beside path and renames it over path."""
    path = _os.fspath(path)
    folder, name = _os.path.split(path)
    try:
        mode = _os.stat(path).st_mode & 0o7777  # an existing file keeps its mode
    except OSError:
        mode = None
    # Created like open() creates files (the umask applies), under a name
    # no one else uses.
    tmp = _os.path.join(folder, f".{name}.{_os.getpid()}.{_os.urandom(6).hex()}.tmp")
    fd = _os.open(tmp, _os.O_WRONLY | _os.O_CREAT | _os.O_EXCL | getattr(_os, "O_BINARY", 0),
                  0o666)
    try:
        with _os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            _os.fsync(f.fileno())
        if mode is not None:
            _os.chmod(tmp, mode)
        _os.replace(tmp, path)
    except BaseException:
        try:
            _os.unlink(tmp)
        except OSError:
            pass
        raise


def _require(module, feature, extra):
    """The optional `module`, or ImportError naming the extra that installs it."""
    try:
        return _importlib.import_module(module)
    except ImportError as exc:
        raise ImportError(f"{feature} needs {module}: pip install 'quillstone[{extra}]'") from exc


def to_arrays(solid):
    """`solid` as numpy arrays ``(vertices, triangles)``.

    ``vertices`` is a float64 array of shape (n, 3), each coordinate the
    nearest double of the exact one; ``triangles`` an int64 array of shape
    (m, 3) of indices into it, each triangle wound counter-clockwise seen
    from outside. It is the mesh :func:`write_mesh` writes: vertices shared,
    no T-junctions, no triangle without area, so
    ``trimesh.Trimesh(vertices, triangles)`` is watertight for a closed
    solid, with the solid's volume.

    Needs numpy (``pip install 'quillstone[arrays]'``); without it this
    raises ImportError saying so.
    """
    np = _require("numpy", "to_arrays", "arrays")
    v, t = _native.mesh_arrays(solid)
    return np.frombuffer(v, dtype="<f8").reshape(-1, 3), np.frombuffer(t, dtype="<i8").reshape(-1, 3)


def render(solid, path, *, view=(35.26, -45.0), size=(6.0, 6.0), dpi=100, title=None):
    """Writes a PNG picture of `solid` to `path`.

    The faces are shaded by their angle to the light and coloured by the
    prefix of their label (the text before the first "."), with a legend of
    the prefixes; the axes are in model units. ``view`` is the camera's
    (elevation, azimuth) in degrees, by default isometric; ``size`` the
    picture's size in inches and ``dpi`` its resolution; ``title`` an
    optional caption. Faces turned away from the camera are left out, as
    they are hidden on a closed solid.

    Needs matplotlib (``pip install 'quillstone[plot]'``); without it this
    raises ImportError saying so.
    """
    _require("numpy", "render", "plot")
    _require("matplotlib", "render", "plot")
    from . import _picture
    _picture.render(solid, path, view=view, size=size, dpi=dpi, title=title)


def _reduce_solid(solid):
    return loads, (dumps(solid),)


_copyreg.pickle(_qs.PySolid, _reduce_solid)

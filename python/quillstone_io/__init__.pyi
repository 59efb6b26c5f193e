"""Geometry in and out of quillstone: exact faces, the lossless text and
pickling, mesh files, arrays and pictures. Numbers are texts such as '1/3'."""

import os
from dataclasses import dataclass
from collections.abc import Sequence
from typing import Any, TypeAlias

from quillstone import PySolid

__all__ = [
    "PanicException",
    "MeshFormatError",
    "Validation",
    "faces",
    "from_faces",
    "validate",
    "dumps",
    "loads",
    "read_mesh",
    "write_mesh",
    "to_arrays",
    "render",
]

_Point: TypeAlias = Sequence[str]
# (label, vertices, normal or None, offset or None), or (label, vertices).
_FaceIn: TypeAlias = (
    tuple[str, Sequence[_Point], _Point | None, str | None] | tuple[str, Sequence[_Point]]
)
_FaceOut: TypeAlias = tuple[str, list[list[str]], list[str], str]
_Path: TypeAlias = str | os.PathLike[str]

class PanicException(BaseException):
    """A quillstone call was aborted: a malformed number text, an unknown
    operation name or a broken internal invariant. Derives from
    BaseException, not Exception; its one argument is the failure text."""

class MeshFormatError(ValueError):
    """A mesh file or solid text that cannot be read: the file (None for a
    text), the line and part where known, and the reason."""

    reason: str
    file: str | None
    line: int | None
    part: str | None
    def __init__(
        self, reason: str, *, file: str | None = None, line: int | None = None,
        part: str | None = None
    ) -> None: ...

def faces(solid: PySolid) -> list[_FaceOut]:
    """The stored faces, exactly, in stored order: (label, vertices, normal,
    offset) with every number a text; the planes are the stored ones."""

def from_faces(faces: Sequence[_FaceIn], check: bool = True) -> PySolid:
    """A solid from faces as faces() gives them, every face checked
    (ValueError naming the face); with check, closed and turned outward."""

@dataclass(frozen=True)
class Validation:
    """What validate() found: closed and open_edge, crossings (face, face,
    kind), winding (lowest, highest) and problem (the message of check=True,
    or None); true when the faces bound a solid."""

    closed: bool
    open_edge: tuple[int, int] | None
    crossings: list[tuple[int, int, str]]
    winding: tuple[int, int] | None
    problem: str | None
    @property
    def ok(self) -> bool:
        """Whether the faces bound a solid."""
    def __bool__(self) -> bool: ...

def validate(solid: PySolid, *, max_crossings: int = 100) -> Validation:
    """Whether the faces of a solid bound a solid (closed, none crossing,
    shells nested), exactly, as a report."""

def dumps(solid: PySolid) -> str:
    """The lossless, versioned, line-based text of a solid."""

def loads(text: str, check: bool = False) -> PySolid:
    """The solid that dumps() wrote, its faces checked in one pass (and with
    check, bounding a solid); MeshFormatError naming the line otherwise."""

def read_mesh(
    path: _Path, check: bool = True, *, format: str | None = None, triangulate: bool = False
) -> PySolid:
    """A solid from an OBJ, OFF, STL or 3MF file, its numbers read exactly."""

def write_mesh(
    solid: PySolid,
    path: _Path,
    exact: bool = False,
    binary: bool = True,
    *,
    format: str | None = None,
) -> None:
    """Writes a closed triangle mesh (OBJ, OFF, STL or 3MF); exact=True adds
    the exact coordinates to OBJ and OFF as comments only we read."""

def to_arrays(solid: PySolid) -> tuple[Any, Any]:
    """(vertices, triangles): numpy float64 (n, 3) and int64 (m, 3) arrays,
    vertices shared, triangles counter-clockwise seen from outside."""

def render(
    solid: PySolid,
    path: _Path,
    *,
    view: tuple[float, float] = (35.26, -45.0),
    size: tuple[float, float] = (6.0, 6.0),
    dpi: int = 100,
    title: str | None = None,
) -> None:
    """Writes a PNG picture: shaded faces coloured by label prefix."""

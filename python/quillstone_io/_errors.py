"""The one exception type for files and texts that cannot be read."""


class MeshFormatError(ValueError):
    """A mesh file or a solid text that cannot be read as it is.

    Raised by :func:`read_mesh` for every damaged or unreadable file of
    every format (a malformed line, a truncated or corrupt archive, a face
    that is not flat or convex, a surface that is not closed or that
    crosses itself, a file too large for its size), and by :func:`loads`
    for a damaged text. It is a ``ValueError``, so ``except ValueError``
    catches it too.

    Attributes: ``reason``, what was wrong; ``file``, the path read (None
    for a text); ``line``, the line counted from 1 (None where the format
    has no lines or the fault has no one place); ``part``, the face,
    vertex or archive member concerned (None when there is none). ``str()``
    puts them together: ``'part.obj: face 5 (line 19): vertex 3 is not on
    the face's plane'``.
    """

    def __init__(self, reason, *, file=None, line=None, part=None):
        super().__init__(reason)
        self.reason = reason
        self.file = file
        self.line = line
        self.part = part

    def __str__(self):
        place = self.part or ""
        if self.line is not None:
            place = f"{place} (line {self.line})" if place else f"line {self.line}"
        text = f"{place}: {self.reason}" if place else str(self.reason)
        return f"{self.file}: {text}" if self.file is not None else text

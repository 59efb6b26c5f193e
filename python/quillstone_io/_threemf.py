"""3MF files: a zip of XML parts whose model part lists objects (meshes of
vertices and triangles, or components: other objects, moved) and the items
of the build, each an object placed by an affine map."""

import array
import io
import re
import sys
import xml.etree.ElementTree as ET
import zipfile
from xml.parsers import expat
from fractions import Fraction

from ._errors import MeshFormatError

CORE = "http://schemas.microsoft.com/3dmanufacturing/core/2015/02"
MODEL_REL = "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
PRODUCTION = "http://schemas.microsoft.com/3dmanufacturing/production/2015/06"
# Names as the parser gives them: the namespace, a space, the local name.
OBJECT, MESH, VERTEX, TRIANGLE, COMPONENT, ITEM = (
    f"{CORE} {n}" for n in ("object", "mesh", "vertex", "triangle", "component", "item"))
PATH = f"{PRODUCTION} path"

CONTENT_TYPES = """<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
 <Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
 <Default Extension="model" ContentType="application/vnd.ms-package.3dmanufacturing-3dmodel+xml"/>
</Types>
"""

ROOT_RELS = f"""<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="{RELS}">
 <Relationship Target="/3D/3dmodel.model" Id="rel0" Type="{MODEL_REL}"/>
</Relationships>
"""

# A zip member can claim any size and expand a thousandfold, so the model
# part is read in pieces against a bound instead of trusting either. The
# bound follows the memory bound of every read (read_memory_bound): what is
# kept of the XML (the numbers' texts, the indices) is smaller than it.
MEMORY_FACTOR = 64
MEMORY_FLOOR = 64 << 20
# A build places its objects, and objects their components, each by a map:
# the triangles placed may multiply. Each placed triangle takes a few
# hundred bytes as an exact face, so a build may place at most one per
# PLACED_TRIANGLE_BYTES of the bound.
PLACED_TRIANGLE_BYTES = 512
MAX_DEPTH = 32  # components within components
# The XML is fed to the parser in pieces this large: a parser meets a token
# cut by a piece again with the next one, so a huge token (a comment of
# many megabytes) costs its size times the number of pieces it spans. And
# the parser holds a token, and the text of an element, whole until it
# ends: no more than MAX_TOKEN bytes may pass without an element starting
# or ending (in a real model part, a few dozen do).
CHUNK = 1 << 22
MAX_TOKEN = 1 << 24
RELS_LIMIT = 1 << 20

# The decimals the kernel's reader takes (see read_mesh): bounded digits
# and exponent, so that no short text makes a huge number.
DECIMAL = re.compile(r"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d{1,3})?\Z")
MAX_EXPONENT = 400
MAX_DIGITS = 1100


def read_memory_bound(file_bytes):
    """The memory, in bytes, that reading a file of this size may take."""
    return MEMORY_FACTOR * file_bytes + MEMORY_FLOOR


def write(vertex_bytes, triangle_bytes):
    """The bytes of a 3MF file holding one mesh object."""
    v = memoryview(vertex_bytes).cast("d")
    t = memoryview(triangle_bytes).cast("q")
    parts = [f'<?xml version="1.0" encoding="UTF-8"?>\n<model unit="millimeter" '
             f'xml:lang="en-US" xmlns="{CORE}">\n<resources>\n<object id="1" type="model">\n'
             '<mesh>\n<vertices>\n']
    parts += [f'<vertex x="{v[i]!r}" y="{v[i + 1]!r}" z="{v[i + 2]!r}"/>\n'
              for i in range(0, len(v), 3)]
    parts.append("</vertices>\n<triangles>\n")
    parts += [f'<triangle v1="{t[i]}" v2="{t[i + 1]}" v3="{t[i + 2]}"/>\n'
              for i in range(0, len(t), 3)]
    parts.append('</triangles>\n</mesh>\n</object>\n</resources>\n'
                 '<build>\n<item objectid="1"/>\n</build>\n</model>\n')
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", CONTENT_TYPES)
        z.writestr("_rels/.rels", ROOT_RELS)
        z.writestr("3D/3dmodel.model", "".join(parts))
    return out.getvalue()


def read(data):
    """The objects and placements of a 3MF file, for the compiled reader.

    Returns (objects, placements): objects a list of (id, points,
    triangles, label), points the vertices' decimal texts as bytes, "x y z" a line,
    triangles the vertex indices as bytes of 32-bit integers; placements a
    list of (object index, map), map None or the twelve numbers of an
    affine map as texts "p/q" (3MF's order: the rows of the 3 x 3 part,
    then the shift; points are rows multiplied from the left). Every
    failure is a MeshFormatError.
    """
    try:
        return _Model(read_memory_bound(len(data))).read(data)
    except (MeshFormatError, MemoryError):
        raise
    except Exception as exc:  # a damaged archive fails in many ways; each is one
        raise MeshFormatError(f"not a readable 3MF file: {exc}") from exc


def _bounded(part, limit, name):
    """The bytes of an open zip member, in pieces, refused past limit."""
    total = 0
    while chunk := part.read(CHUNK):
        total += len(chunk)
        if total > limit:
            raise MeshFormatError(f"the part expands to more than {limit} bytes, the bound for "
                                  f"a file of this size", part=name)
        yield chunk


def _model_part(z):
    try:
        with z.open("_rels/.rels") as part:
            rels = ET.fromstring(b"".join(_bounded(part, RELS_LIMIT, "_rels/.rels")))
    except KeyError:
        return "3D/3dmodel.model"
    for rel in rels.iter(f"{{{RELS}}}Relationship"):
        if rel.get("Type") == MODEL_REL:
            return rel.get("Target", "").lstrip("/")
    return "3D/3dmodel.model"


def _number(text, what):
    """An exact number from a decimal text, bounded as the reader bounds them."""
    m = DECIMAL.match(text or "")
    exponent = text.lower().partition("e")[2] if m else ""
    digits = sum(c.isdigit() for c in text.lower().partition("e")[0]) if m else 0
    if not m or digits > MAX_DIGITS or (exponent and abs(int(exponent)) > MAX_EXPONENT):
        raise MeshFormatError(f"{what}: malformed number {text!r}")
    return Fraction(text)


def _transform(text, what):
    """The affine map of a transform attribute as (rows of the 3 x 3 part,
    shift), or None for none or the identity."""
    if text is None:
        return None
    words = text.split()
    if len(words) != 12:
        raise MeshFormatError(f"{what}: a transform needs 12 numbers, got {len(words)}")
    m = [_number(w, what) for w in words]
    linear, shift = (tuple(m[0:3]), tuple(m[3:6]), tuple(m[6:9])), tuple(m[9:12])
    if linear == ((1, 0, 0), (0, 1, 0), (0, 0, 1)) and shift == (0, 0, 0):
        return None
    return linear, shift


def _then(first, second):
    """The map that applies first, then second (either may be None)."""
    if first is None:
        return second
    if second is None:
        return first
    (a, s), (b, t) = first, second
    linear = tuple(tuple(sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3))
                   for i in range(3))
    shift = tuple(sum(s[k] * b[k][j] for k in range(3)) + t[j] for j in range(3))
    return linear, shift


def _texts(m):
    if m is None:
        return None
    linear, shift = m
    return tuple(f"{x.numerator}/{x.denominator}" for row in (*linear, shift) for x in row)


class _Object:
    def __init__(self, oid, name):
        self.id = oid
        self.name = name or "mesh"
        self.points = bytearray()
        self.count = 0
        self.triangles = array.array("I")
        self.components = []  # (object id, map)
        self.mesh = False


class _Model:
    """The model part read as a stream: the parser calls back at each
    element's start and end, and only what the reader keeps stays in
    memory (the numbers' texts and the indices), not the XML."""

    def __init__(self, limit):
        self.limit = limit
        self.objects = {}
        self.order = []
        self.items = []  # (object id, map)
        self.current = None
        self.events = 0

    def read(self, data):
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            name = _model_part(z)
            parser = expat.ParserCreate(namespace_separator=" ")
            parser.StartElementHandler = self.start
            parser.EndElementHandler = self.end
            with z.open(name) as part:
                quiet = 0  # bytes fed since an element last started or ended
                for chunk in _bounded(part, self.limit, name):
                    seen = self.events
                    parser.Parse(chunk, False)
                    quiet = 0 if self.events != seen else quiet + len(chunk)
                    if quiet > MAX_TOKEN:
                        raise MeshFormatError(f"more than {MAX_TOKEN} bytes without an element "
                                              "(a comment, text or attribute that large)",
                                              part=name)
            parser.Parse(b"", True)
        return self.placed()

    def inside(self, what):
        """The object being read; an element outside one is a fault."""
        if self.current is None:
            raise MeshFormatError(f"a {what} outside an object")
        return self.current

    def start(self, tag, attrs):
        self.events += 1
        if tag == VERTEX:
            obj = self.inside("vertex")
            coords = [attrs.get(k) for k in ("x", "y", "z")]
            if not all(c and c.split() == [c] for c in coords):
                raise MeshFormatError(f"object {obj.id!r}: a vertex needs one number each for "
                                      "x, y and z")
            obj.points += " ".join(coords).encode() + b"\n"
            obj.count += 1
        elif tag == TRIANGLE:
            obj = self.inside("triangle")
            try:
                corners = [int(attrs[k]) for k in ("v1", "v2", "v3")]
            except (KeyError, ValueError):
                raise MeshFormatError(f"object {obj.id!r}: a triangle with a malformed vertex "
                                      "index") from None
            if not all(0 <= i < obj.count for i in corners):
                raise MeshFormatError(f"object {obj.id!r}: a triangle with a vertex index out "
                                      f"of range: {corners} (the object has {obj.count} "
                                      "vertices)")
            obj.triangles.extend(corners)
        elif tag == MESH:
            self.inside("mesh").mesh = True
        elif tag == COMPONENT:
            obj = self.inside("component")
            if attrs.get(PATH):
                raise MeshFormatError(f"object {obj.id!r}: components in other parts of the "
                                      "package are not read")
            obj.components.append((attrs.get("objectid"),
                                   _transform(attrs.get("transform"), f"object {obj.id!r}")))
        elif tag == OBJECT:
            oid = attrs.get("id")
            if oid in self.objects:
                raise MeshFormatError(f"object {oid!r} is defined twice")
            self.current = self.objects[oid] = _Object(oid, attrs.get("name"))
            self.order.append(oid)
        elif tag == ITEM:
            if attrs.get(PATH):
                raise MeshFormatError("build items in other parts of the package are not read")
            self.items.append((attrs.get("objectid"),
                               _transform(attrs.get("transform"), "a build item")))

    def end(self, tag):
        self.events += 1
        if tag == OBJECT:
            obj = self.current
            if obj.mesh and obj.components:
                raise MeshFormatError(f"object {obj.id!r} has both a mesh and components")
            self.current = None

    def placed(self):
        """(objects, placements) as read() returns them."""
        items = self.items or [(oid, None) for oid in self.order if self.objects[oid].mesh]
        index, objects, placements = {}, [], []
        budget = self.limit // PLACED_TRIANGLE_BYTES
        for oid, m in items:
            todo = [(oid, m, 0, ())]  # depth-first, with the chain of objects above
            while todo:
                oid, m, depth, above = todo.pop()
                obj = self.objects.get(oid)
                if obj is None:
                    raise MeshFormatError(f"a build item or component refers to a missing "
                                          f"object {oid!r}")
                if oid in above or depth > MAX_DEPTH:
                    raise MeshFormatError(f"object {oid!r}: components nest in a loop or more "
                                          f"than {MAX_DEPTH} deep")
                if obj.components:
                    todo += [(cid, _then(cm, m), depth + 1, above + (oid,))
                             for cid, cm in reversed(obj.components)]
                    continue
                budget -= max(1, len(obj.triangles) // 3)
                if budget < 0:
                    raise MeshFormatError(f"the build places more than "
                                          f"{self.limit // PLACED_TRIANGLE_BYTES} triangles, the "
                                          "bound for a file of this size")
                if oid not in index:
                    index[oid] = len(objects)
                    tri = obj.triangles
                    if sys.byteorder != "little":
                        tri = array.array("I", tri)
                        tri.byteswap()
                    objects.append((str(oid), bytes(obj.points), tri.tobytes(), obj.name))
                placements.append((index[oid], _texts(m)))
        return objects, placements

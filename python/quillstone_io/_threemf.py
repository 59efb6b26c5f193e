"""3MF files: a zip of XML parts whose model part lists vertices and triangles."""

import io
import xml.etree.ElementTree as ET
import zipfile

from ._errors import MeshFormatError

CORE = "http://schemas.microsoft.com/3dmanufacturing/core/2015/02"
MODEL_REL = "http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"
RELS = "http://schemas.openxmlformats.org/package/2006/relationships"

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

IDENTITY = (1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0)

# A zip member can claim any size and expand a thousandfold, so the model
# part is read against a bound instead of trusting either: 1 GiB of XML is
# some ten million triangles, more than a reader holding them exactly can use.
MAX_MODEL_BYTES = 1 << 30


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


def _model_part(z):
    try:
        rels = ET.fromstring(z.read("_rels/.rels"))
        for rel in rels.iter(f"{{{RELS}}}Relationship"):
            if rel.get("Type") == MODEL_REL:
                return rel.get("Target", "").lstrip("/")
    except KeyError:
        pass
    return "3D/3dmodel.model"


def _read_bounded(z, name, limit):
    """The bytes of member name, refused once they pass limit."""
    if z.getinfo(name).file_size > limit:
        raise MeshFormatError(f"3MF model part {name!r} expands to more than {limit} bytes")
    with z.open(name) as part:
        body = part.read(limit + 1)
    if len(body) > limit:
        raise MeshFormatError(f"3MF model part {name!r} expands to more than {limit} bytes")
    return body


def read(data):
    """(points, triangles, label) of the mesh objects a 3MF file builds.

    points are [x, y, z] decimal texts, read exactly later; triangles index
    into them. Build items must not move their objects, and objects made of
    components are not read. Every failure is a MeshFormatError.
    """
    try:
        return _read(data)
    except (MeshFormatError, MemoryError):
        raise
    except Exception as exc:  # a damaged archive fails in many ways; each is one
        raise MeshFormatError(f"not a readable 3MF file: {exc}") from exc


def _read(data):
    with zipfile.ZipFile(io.BytesIO(data)) as z:
        model = ET.fromstring(_read_bounded(z, _model_part(z), MAX_MODEL_BYTES))
    ns = {"m": CORE}
    objects = {o.get("id"): o for o in model.iterfind("m:resources/m:object", ns)}
    items = model.findall("m:build/m:item", ns) or [
        ET.Element("item", objectid=k) for k in objects]
    points, triangles, names = [], [], []
    for item in items:
        obj = objects.get(item.get("objectid"))
        if obj is None:
            raise MeshFormatError(f"3MF build item refers to a missing object {item.get('objectid')!r}")
        transform = item.get("transform")
        if transform and tuple(float(x) for x in transform.split()) != IDENTITY:
            raise MeshFormatError("3MF build items that move their objects are not read")
        mesh = obj.find("m:mesh", ns)
        if mesh is None:
            raise MeshFormatError(f"3MF object {obj.get('id')!r} has no mesh (components are not read)")
        base = len(points)
        for vx in mesh.iterfind("m:vertices/m:vertex", ns):
            points.append([vx.get("x", ""), vx.get("y", ""), vx.get("z", "")])
        count = len(points) - base
        for tri in mesh.iterfind("m:triangles/m:triangle", ns):
            try:
                corners = [int(tri.get(k)) for k in ("v1", "v2", "v3")]
            except (TypeError, ValueError):
                raise MeshFormatError("3MF triangle with a malformed vertex index") from None
            if not all(0 <= i < count for i in corners):
                raise MeshFormatError(f"3MF triangle with a vertex index out of range: {corners} "
                                      f"(the object has {count} vertices)")
            triangles.append([base + i for i in corners])
        names.append(obj.get("name") or "mesh")
    return points, triangles, names[0] if len(set(names)) == 1 else "mesh"

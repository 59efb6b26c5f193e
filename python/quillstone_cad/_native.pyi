# The compiled half of quillstone_cad; the Part and the builders document
# and wrap these. Numbers cross as the kernel's texts ('3/2', '5/1').
from quillstone import PySolid

# ([xlo, ylo, zlo], [xhi, yhi, zhi]), or None for a solid without faces.
def bbox(solid: PySolid) -> tuple[list[str], list[str]] | None: ...
def face_count(solid: PySolid) -> int: ...

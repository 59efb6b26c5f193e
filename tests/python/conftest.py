"""The tests run against the installed package. `python -m pytest` from the
repository root puts the root on sys.path, where the source folder
quillstone_io/ (without its compiled half) would shadow the installed one."""

import os
import sys

_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:] = [p for p in sys.path if os.path.abspath(p or os.curdir) != _ROOT]

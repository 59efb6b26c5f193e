"""A short, bounded run of the surface fuzzer (tests/fuzz/surface_calls.py):
random calls with random argument kinds, lying sequences, odd and huge
texts, lone surrogates and misuse of PySolid. It runs again, longer, under
the sanitizers in scripts/test.sh; tests/fuzz/README.md has the long runs."""

import os
import sys

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "fuzz"))
import surface_calls  # noqa: E402

EXAMPLES = int(os.environ.get("QS_FUZZ_EXAMPLES", "300"))
# Every code point, lone surrogates included.
ANY_CHAR = st.characters(exclude_categories=())


class Choices:
    def __init__(self, data):
        self.data = data

    def pick(self, n):
        return self.data.draw(st.integers(0, n - 1))

    def number(self):
        return self.data.draw(st.integers(-(2**70), 2**70))

    def text(self, n):
        return self.data.draw(st.text(ANY_CHAR, max_size=n))


@settings(max_examples=EXAMPLES, deadline=None, database=None,
          suppress_health_check=list(HealthCheck))
@given(st.data())
def test_random_calls_fail_only_as_promised(data):
    choices = Choices(data)
    solids = []  # results of earlier calls, as operands of later ones
    for _ in range(8):
        surface_calls.run_one(choices, solids)

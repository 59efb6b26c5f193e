"""The surface fuzzer under atheris, coverage-guided, for long local runs
(see README.md in this folder). Arguments are libFuzzer's, for example
    python tests/fuzz/run_atheris.py -max_total_time=3600 corpus/
"""

import os
import sys

import atheris

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import surface_calls  # noqa: E402


class Choices:
    def __init__(self, fdp):
        self.fdp = fdp

    def pick(self, n):
        return self.fdp.ConsumeIntInRange(0, n - 1)

    def number(self):
        return self.fdp.ConsumeIntInRange(-(2**70), 2**70)

    def text(self, n):
        # Any code points, lone surrogates included.
        return self.fdp.ConsumeUnicode(n)


def one_input(data):
    choices = Choices(atheris.FuzzedDataProvider(data))
    solids = []
    for _ in range(8):
        surface_calls.run_one(choices, solids)


if __name__ == "__main__":
    atheris.instrument_all()  # the Python side's coverage guides the search
    atheris.Setup(sys.argv, one_input)
    atheris.Fuzz()

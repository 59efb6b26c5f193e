"""Random calls over the whole quillstone surface, for the fuzzers.

One generator, two drivers: `run_one(choose)` makes and runs one call, with
every decision taken by `choose`, an object with
    pick(n)    -> int in [0, n)
    number()   -> int in [-2**70, 2**70]
    text(n)    -> str of at most n characters, any code points
The hypothesis driver (tests/python/test_fuzz_surface.py) backs it with
st.data(); the coverage-guided one (tests/fuzz/run_atheris.py) with
atheris' FuzzedDataProvider.

Every call may fail, but only in the ways the module promises: TypeError,
ValueError, OverflowError, MemoryError, PanicException, or whatever the
caller's own objects raise while they are read. Anything else (SystemError,
UnicodeEncodeError, a crash, a hang) is a fault; so is a result of the
wrong kind, or an operand that changes.
"""

import quillstone as qs
import quillstone_io


Panic = quillstone_io.PanicException


class CallerError(Exception):
    """Raised by the lying objects below: the caller's own failure."""


ALLOWED = (TypeError, ValueError, OverflowError, MemoryError, IndexError, CallerError, Panic)

GOOD_NUMBERS = ["0", "1", "2", "-1", "1/2", "-3/4", "5/3", "7", "1/10", "+2", "0/5", "3/1"]
ODD_TEXTS = ["", "-", "+", "/", "1/0", "1/", "/1", "+-1", "--1", "1_000", "_1", "1__0", " 1",
             "1 ", "1e3", "0x10", "\u0661", "\x00", "1\x00", "\ud800", "1/\udfff", "1/2/3",
             "9" * 400, "1/" + "7" * 300, "-" + "1_" * 200 + "1", "\U0001f600"]
OPS = ["union", "cut", "intersect", "Union", "cut ", "", "intersect\ud800", "xor"]


class Lying:
    """A sequence whose length and items come from the fuzzer."""

    def __init__(self, length, items, fail_at):
        self.length, self.items, self.fail_at = length, items, fail_at

    def __len__(self):
        if self.fail_at == -1:
            raise CallerError("len")
        return self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise CallerError(i)
        if i >= len(self.items):
            raise IndexError(i)
        return self.items[i]


class Index:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        if self.v is None:
            raise CallerError("index")
        return self.v


class Gen:
    def __init__(self, choose, solids):
        self.c = choose
        self.solids = solids

    def pick(self, n):
        return self.c.pick(n)

    def number_text(self):
        k = self.pick(10)
        if k < 6:
            return GOOD_NUMBERS[self.pick(len(GOOD_NUMBERS))]
        if k < 8:
            return ODD_TEXTS[self.pick(len(ODD_TEXTS))]
        if k < 9:
            return str(self.c.number())
        return self.c.text(12)

    def wrong(self):
        return [1, 1.5, None, b"1", object(), ["1"], 2**80, True][self.pick(8)]

    def arg_text(self):
        return self.number_text() if self.pick(12) else self.wrong()

    def name(self):
        k = self.pick(8)
        if k < 5:
            return ["p", "box", "a.b", "", "\u00e9t\u00e9"][k]
        if k < 7:
            return self.c.text(8)
        return self.wrong()

    def integer(self):
        k = self.pick(10)
        if k < 6:
            return self.pick(5)
        if k < 8:
            return self.c.number()
        return [Index(self.pick(3)), Index(None), 1.0, "1", None, 2**64, -1, -(2**63) - 1][self.pick(8)]

    def seq(self, item, size=8):
        n = self.pick(size + 1)
        items = [item() for _ in range(n)]
        k = self.pick(12)
        if k < 7:
            return items
        if k < 9:
            return tuple(items)
        if k < 10:
            length = [0, n, n + 1, 2**31, 2**62, 2**63 - 1][self.pick(6)]
            return Lying(length, items, [-1, 0, n // 2, n + 5][self.pick(4)])
        return [self.arg_text(), iter(items), "12", 5, {"a": 1}][self.pick(5)]

    def texts(self, size=8):
        return self.seq(self.arg_text, size)

    def point(self):
        return self.seq(self.number_text, 5)

    def row(self):
        return self.seq(self.point, 3)

    def net(self):
        return self.seq(self.row, 3)

    def optional(self, make):
        return None if self.pick(2) else make()

    def solid(self):
        if self.solids and self.pick(4):
            return self.solids[self.pick(len(self.solids))]
        return self.wrong() if self.pick(2) else qs.make_box("1", "1", "1", "s")


def _check_result(name, result, solids):
    if isinstance(result, qs.PySolid):
        assert isinstance(result.volume6_str(), str)
        if len(solids) < 16:
            solids.append(result)
        elif result.canonical().count(";") < 60:
            solids[len(result.canonical()) % 16] = result
        return
    if isinstance(result, tuple):
        assert len(result) == 2 and all(isinstance(t, str) for t in result), name
        return
    if isinstance(result, list):
        if name == "ssi_pairs":
            assert all(len(e) == 8 and all(isinstance(t, str) for t in e) for e in result), name
        elif name == "bbox":
            assert len(result) == 6 and all(isinstance(x, float) for x in result), name
        else:
            assert len(result) == 3 and all(isinstance(t, str) for t in result), name
        return
    assert isinstance(result, (float, str, bool, int)), (name, type(result))


FUNCTIONS = {
    "make_box": lambda g: (g.arg_text(), g.arg_text(), g.arg_text(), g.name()),
    "make_prism": lambda g: (g.texts(12), g.arg_text(), g.name()),
    "make_prismatoid": lambda g: (g.texts(10), g.arg_text(), g.texts(10), g.arg_text(), g.name()),
    "box_boolean": lambda g: tuple(g.arg_text() for _ in range(9)) + (
        OPS[g.pick(len(OPS))] if g.pick(6) else g.name(),),
    "box_form": lambda g: (g.arg_text(), g.arg_text(), g.arg_text()),
    "nurbs_curve_eval": lambda g: (g.integer(), g.seq(g.point, 6), g.texts(10), g.arg_text(),
                                   g.optional(g.texts)),
    "nurbs_surface_eval": lambda g: (g.integer(), g.integer(), g.net(), g.texts(8), g.texts(8),
                                     g.arg_text(), g.arg_text(), g.optional(lambda: g.seq(g.texts, 3))),
    "ssi_pairs": lambda g: (g.net(), g.net(), g.pick(4) if g.pick(8) else g.integer(),
                            g.optional(g.texts), g.optional(g.texts)),
}

METHODS = {
    "translate": lambda g: (g.arg_text(), g.arg_text(), g.arg_text()),
    "scale": lambda g: (g.arg_text(), g.arg_text(), g.arg_text()),
    "mirror": lambda g: (g.integer(),),
    "rotate_quarter": lambda g: (g.integer(), g.integer()),
    "boolean": lambda g: (OPS[g.pick(len(OPS))] if g.pick(6) else g.name(), g.solid()),
    "chamfer": lambda g: (g.number_text() if g.pick(6) else g.arg_text(),),
    "volume": lambda g: (),
    "volume6_str": lambda g: (),
    "canonical": lambda g: (),
    "watertight_ok": lambda g: (),
    "logical_faces": lambda g: (),
    "bbox": lambda g: (),
}

PARAMS = {
    "make_box": ("dx", "dy", "dz", "prefix"),
    "make_prism": ("loop_flat", "h", "prefix"),
    "make_prismatoid": ("bottom", "z0", "top", "z1", "prefix"),
    "box_boolean": ("dx", "dy", "dz", "ex", "ey", "ez", "tx", "ty", "tz", "op"),
    "box_form": ("dx", "dy", "dz"),
    "nurbs_curve_eval": ("degree", "cps", "knots", "t", "weights"),
    "nurbs_surface_eval": ("pu", "pv", "net", "ku", "kv", "u", "v", "weights"),
    "ssi_pairs": ("net_a", "net_b", "depth", "a_box", "b_box"),
    "translate": ("x", "y", "z"),
    "scale": ("fx", "fy", "fz"),
    "mirror": ("axis",),
    "rotate_quarter": ("axis", "quarters"),
    "boolean": ("op", "other"),
    "chamfer": ("dist",),
}


def _shape_call(g, name, args):
    """Positional, keyword or mixed; now and then a surplus, missing or
    unknown argument."""
    params = PARAMS.get(name, ())
    k = g.pick(10)
    cut = g.pick(len(args) + 1)
    pos, kw = list(args[:cut]), dict(zip(params[cut:], args[cut:]))
    if k == 0:
        pos.append("1")
    elif k == 1 and pos:
        pos.pop()
    elif k == 2:
        kw[["colour", "\ud800", params[0] if params else "x"][g.pick(3)]] = "1"
    return pos, kw


def _misuse(g):
    """The class itself, misused."""
    k = g.pick(6)
    if k == 0:
        qs.PySolid()
    elif k == 1:
        qs.PySolid.__new__(qs.PySolid)
    elif k == 2:
        object.__new__(qs.PySolid)
    elif k == 3:
        setattr(qs.PySolid, ["__new__", "volume", "x"][g.pick(3)], lambda *a: None)
    elif k == 4:
        delattr(qs.PySolid, ["canonical", "__new__"][g.pick(2)])
    else:
        name = list(METHODS)[g.pick(len(METHODS))]
        getattr(qs.PySolid, name)(g.wrong(), *METHODS[name](g))
    raise AssertionError("misuse of PySolid went through")


def run_one(choose, solids):
    """One random call. `solids` is a pool of results reused as operands."""
    g = Gen(choose, solids)
    k = g.pick(20)
    try:
        if k == 0:
            _misuse(g)
        elif k < 9:
            name = list(FUNCTIONS)[g.pick(len(FUNCTIONS))]
            pos, kw = _shape_call(g, name, FUNCTIONS[name](g))
            _check_result(name, getattr(qs, name)(*pos, **kw), solids)
        else:
            name = list(METHODS)[g.pick(len(METHODS))]
            target = g.solid() if g.pick(8) else qs.make_box("2", "1", "1", "t")
            if not isinstance(target, qs.PySolid):
                target = qs.make_box("1", "2", "3", "t")
            before = target.canonical()
            pos, kw = _shape_call(g, name, METHODS[name](g))
            try:
                _check_result(name, getattr(target, name)(*pos, **kw), solids)
            finally:
                assert target.canonical() == before, "an operand changed"
    except ALLOWED:
        pass

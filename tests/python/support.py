"""Shared by the Python tests."""

import quillstone as qs


def _panic_type():
    # The type is not a module attribute; a malformed number reveals it.
    try:
        qs.make_box("x", "1", "1", "p")
    except BaseException as exc:  # noqa: B036 - it derives from BaseException only
        return type(exc)
    raise AssertionError("a malformed number did not abort the call")


Panic = _panic_type()

"""A short tour of quillstone: exact solids and exact answers.

Run it with scripts/tour.sh (which also installs everything), or with any
Python that has the package installed: python examples/tour.py
"""

import quillstone as qs


def section(title):
    print()
    print(f"== {title}")


def boxes():
    section("Boxes and their exact volumes")
    unit = qs.make_box("1", "1", "1", "unit")
    print("unit box: 6V =", unit.volume6_str(), " V =", unit.volume())
    thin = qs.make_box("1/2", "1/3", "1", "thin")
    print("1/2 x 1/3 x 1 box: 6V =", thin.volume6_str(), " V =", thin.volume())
    huge = qs.make_box("1" + "0" * 400, "1", "1", "huge")
    print("a 400-digit box: 6V has", len(huge.volume6_str()), "characters;", "V =", huge.volume())
    try:
        qs.make_box("1", "x", "1", "bad")
    except BaseException as exc:  # the kernel's panics are not Exceptions
        print("a malformed number aborts the call:", type(exc).__name__, "-", exc)


def main():
    boxes()


if __name__ == "__main__":
    main()

"""Whole calls from Python: make_box followed by volume6_str.

Usage: python bench/bench_box.py [calls]
"""

import sys

import quillstone as qs
from timing import best_of


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 50000

    def small():
        for _ in range(n):
            qs.make_box("2", "3/7", "5", "b").volume6_str()

    big = "1" * 100 + "/" + "3" * 99 + "7"

    def large():
        for _ in range(n // 10):
            qs.make_box(big, big, big, "b").volume6_str()

    def only_box():
        for _ in range(n):
            qs.make_box("2", "3/7", "5", "b")

    t_small = best_of(5, small) / n
    t_box = best_of(5, only_box) / n
    t_large = best_of(3, large) / (n // 10)
    print(f"make_box + volume6_str, small sizes : {t_small * 1e6:8.2f} us/call")
    print(f"make_box alone, small sizes         : {t_box * 1e6:8.2f} us/call")
    print(f"make_box + volume6_str, 100 digits  : {t_large * 1e6:8.2f} us/call")


if __name__ == "__main__":
    main()

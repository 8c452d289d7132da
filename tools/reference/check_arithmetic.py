#!/usr/bin/env python3
"""Checks `quadprobe calc` against the exact binary128 model, bit for bit.

usage: check_arithmetic.py QUADPROBE [CASES] [SEED]
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
from quadprobe_check import arguments, compare  # noqa: E402
from operands import close_pair, random_operand  # noqa: E402

OPERATIONS = {"add": b.add, "mul": b.multiply, "div": b.divide}


def cases(rng, count):
    for _ in range(count):
        operation = rng.choice(["add", "add", "mul", "div", "pow"])
        if operation == "pow":
            x = random_operand(rng)
            n = rng.choice([0, 1, 2, 3, 4, 4, 4, 5, 7, 8, 13, -1, -2, -3, 2147483647,
                            -2147483648, rng.randrange(-40, 41)])
            # Huge exponents only on operands whose powers settle quickly.
            if abs(n) > 64 and not (b.is_nan(x) or b.is_inf(x) or b.is_zero(x)):
                x = b.ONE if rng.random() < 0.5 else b.MINUS_ONE
            yield "pow %s %d" % (b.hex32(x), n), b.integer_power(x, n)
            continue
        if operation == "add" and rng.random() < 0.6:
            x, y = close_pair(rng)
        else:
            x, y = random_operand(rng), random_operand(rng)
        yield "%s %s %s" % (operation, b.hex32(x), b.hex32(y)), OPERATIONS[operation](x, y)


FIXED = [
    # 1.1 to the 4th power, and its square.
    ("pow 3FFF199999999999999999999999999A 4", 0x3FFF76CF41F212D77318FC504816F009),
    ("mul 3FFF199999999999999999999999999A 3FFF199999999999999999999999999A",
     0x3FFF35C28F5C28F5C28F5C28F5C28F5D),
    # 2^-16382 * 0.5 is an exact subnormal; 2^-16494 * 0.5 is a tie that rounds to +0.
    ("mul 00010000000000000000000000000000 3FFE0000000000000000000000000000",
     0x00008000000000000000000000000000),
    ("mul 00000000000000000000000000000001 3FFE0000000000000000000000000000", 0),
    # 1 + 2^-113 is a tie that stays at 1; (1 + 2^-112) + 2^-113 goes to 1 + 2^-111.
    ("add 3FFF0000000000000000000000000000 3F8E0000000000000000000000000000",
     0x3FFF0000000000000000000000000000),
    ("add 3FFF0000000000000000000000000001 3F8E0000000000000000000000000000",
     0x3FFF0000000000000000000000000002),
    ("mul 7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF 40000000000000000000000000000000", b.POS_INF),
    ("add 7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF 3FFF0000000000000000000000000000", b.MAX_FINITE),
]


def main():
    quadprobe, count, rng = arguments(20000)
    checks = FIXED + list(cases(rng, count))
    return compare(quadprobe, "calc", [(command, b.hex32(expected)) for command, expected in checks],
                   "operations")


if __name__ == "__main__":
    sys.exit(main())

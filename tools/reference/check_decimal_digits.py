#!/usr/bin/env python3
"""Checks the exact decimal digits of `quadprobe calc` (command `digits`) against
exact rationals: N significant digits, N decimals, and the cut after N significant
digits with the position of the rest, for values of every magnitude, for exact
ties and their neighbours, and for the cases without a result.

usage: check_decimal_digits.py QUADPROBE [RANDOM_CASES] [SEED]
"""

import os
import sys
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
from quadprobe_check import arguments, compare  # noqa: E402
from check_general_field import decimal_exponent, round_half_even  # noqa: E402

MAX_DIGITS = 48
HALF = Fraction(1, 2)


def has_digits(bits):
    return not (b.is_nan(bits) or b.is_inf(bits) or b.is_zero(bits))


def line(negative, digits, exponent, rest=None):
    text = "%s %s %d" % ("-" if negative else "+", digits or "0", exponent)
    return text if rest is None else text + " " + rest


def significant(bits, count):
    if not has_digits(bits) or not 1 <= count <= MAX_DIGITS:
        return "none"
    q = b.value(bits)
    x = decimal_exponent(abs(q))
    n = round_half_even(abs(q) * Fraction(10) ** (count - x))
    if n == 10 ** count:
        n //= 10
        x += 1
    return line(q < 0, str(n), x)


def fixed(bits, decimals):
    if not has_digits(bits) or decimals < 0:
        return "none"
    q = b.value(bits)
    if decimal_exponent(abs(q)) + decimals > MAX_DIGITS + 1:
        return "none"  # at least that many digits
    n = round_half_even(abs(q) * Fraction(10) ** decimals)
    if n == 0:
        return line(q < 0, "", -decimals)
    if len(str(n)) > MAX_DIGITS:
        return "none"
    return line(q < 0, str(n), len(str(n)) - decimals)


def cut(bits, count):
    if not has_digits(bits) or not 1 <= count <= MAX_DIGITS + 1:
        return "none"
    q = b.value(bits)
    x = decimal_exponent(abs(q))
    scaled = abs(q) * Fraction(10) ** (count - x)
    whole = scaled.numerator // scaled.denominator
    rest = scaled - whole
    where = ("zero" if rest == 0 else "below" if rest < HALF else "half" if rest == HALF
             else "above")
    return line(q < 0, str(whole), x, where)


CONVERSIONS = {"sig": significant, "fix": fixed, "cut": cut}


def random_pattern(rng):
    kind = rng.random()
    if kind < 0.4:
        biased = rng.randrange(0, b.MAX_BIASED)  # every magnitude
    elif kind < 0.85:
        biased = b.BIAS + rng.randrange(-200, 200)  # where the word and 256-bit paths end
    else:
        biased = rng.choice([0, 1, 2, b.MAX_BIASED - 2, b.MAX_BIASED - 1])
    fraction = rng.getrandbits(b.FRACTION_BITS)
    if rng.random() < 0.3:
        fraction &= ~((1 << rng.randrange(b.FRACTION_BITS)) - 1)  # exact decimals
    if biased == 0 and fraction == 0:
        fraction = 1
    return (rng.getrandbits(1) << 127) | (biased << b.FRACTION_BITS) | fraction


def random_command(rng, bits):
    operation = rng.choice(["sig", "fix", "cut"])
    x = decimal_exponent(abs(b.value(bits))) if has_digits(bits) else 0
    if operation == "sig":
        count = rng.choice([1, 2, 5, 12, 17, 18, 19, 20, 27, 33, 40, 47, 48,
                            rng.randrange(1, MAX_DIGITS + 1)])
    elif operation == "cut":
        count = rng.choice([1, 5, 12, 18, 19, 30, 48, 49, rng.randrange(1, MAX_DIGITS + 2)])
    else:
        count = max(0, rng.choice([0, 1, 5, 20, -x, -x - 1, -x - 2, -x + MAX_DIGITS,
                                   -x + MAX_DIGITS + 1, -x + rng.randrange(-3, MAX_DIGITS)]))
    return operation, count


def ties(rng):
    """Values that are exact ties at the n-th significant digit: n digits, then 5.
    Integers (10d + 5) x 10^k, and dyadic fractions o / 2^j (o odd) whose expansion
    o x 5^j has n + 1 digits. Each comes with its neighbours, the nearest non-ties."""
    found = []
    for _ in range(120):
        n = rng.randrange(1, 33)
        d = rng.randrange(10 ** (n - 1), 10 ** n)
        if rng.random() < 0.3:
            d = 10 ** n - 1  # all nines: rounding up carries into a new digit
        q = Fraction(10 * d + 5) * 10 ** rng.choice([0, 0, 1, rng.randrange(2, 20)])
        found.append((q, n))
    for j in range(1, 48):
        for _ in range(3):
            o = rng.getrandbits(rng.randrange(1, 60)) | 1
            q = Fraction(o, 2 ** j)
            n = len(str(o * 5 ** j)) - 1
            if 1 <= n <= MAX_DIGITS:
                found.append((q, n))
    values = []
    for q, n in found:
        bits = b.round_rational(q)
        if b.is_inf(bits) or b.value(bits) != q:
            continue
        for neighbour in (bits - 1, bits, bits + 1):
            values.append((neighbour | (b.SIGN if rng.random() < 0.5 else 0), n))
    return values


def main():
    quadprobe, count, rng = arguments(6000)

    commands = []
    for _ in range(count):
        bits = random_pattern(rng)
        commands.append((bits,) + random_command(rng, bits))
    for bits, n in ties(rng):
        commands += [(bits, "sig", n), (bits, "cut", n)]
        x = decimal_exponent(abs(b.value(bits)))
        if 0 <= n - x:
            commands.append((bits, "fix", n - x))
    one = 0x3FFF0000000000000000000000000000
    for bits in (b.POS_ZERO, b.NEG_ZERO, b.POS_INF, b.NEG_INF, b.DEFAULT_NAN):
        commands += [(bits, "sig", 5), (bits, "fix", 2), (bits, "cut", 5)]
    commands += [(one, "sig", 0), (one, "sig", MAX_DIGITS + 1), (one, "fix", -1),
                 (one, "fix", MAX_DIGITS), (one, "fix", MAX_DIGITS - 1), (one, "cut", 0),
                 (one, "cut", MAX_DIGITS + 2), (b.MAX_FINITE, "fix", 0), (1, "fix", 10 ** 6),
                 (1, "fix", 4000), (1, "fix", 4965), (1, "fix", 4966)]

    return compare(quadprobe, "calc",
                   [("digits %s %s %d" % (b.hex32(bits), operation, n),
                     CONVERSIONS[operation](bits, n)) for bits, operation, n in commands],
                   "conversions")


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks the 12-byte general field (`quadprobe calc`, command `fmt`) against an
independent model: exact rationals, digits rounded once to nearest with ties to
even on the exact remainder, and the field layout built up from those digits.

usage: check_general_field.py QUADPROBE [RANDOM_CASES] [SEED]
"""

import os
import sys
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
from quadprobe_check import arguments, compare  # noqa: E402

WIDTH = 12
DIGITS = 5
TRAILING_BLANKS = 4


def round_half_even(q):
    """The integer nearest to the non-negative rational q, ties to even."""
    whole, rest = divmod(q.numerator, q.denominator)
    twice = 2 * rest
    if twice > q.denominator or (twice == q.denominator and whole % 2 == 1):
        whole += 1
    return whole


def decimal_exponent(q):
    """X with 10^(X-1) <= q < 10^X, for a positive rational q."""
    n, d = q.numerator, q.denominator

    def at_most_q(x):  # 10^x <= q, in integers
        return 10**x * d <= n if x >= 0 else d <= n * 10**-x

    x = int((n.bit_length() - d.bit_length()) * 0.30103)
    while not at_most_q(x - 1):
        x -= 1
    while at_most_q(x):
        x += 1
    return x


def significant(q, count):
    """(digit string, X): q rounded to `count` significant digits, q ~ 0.D1D2... 10^X."""
    x = decimal_exponent(q)
    n = round_half_even(q * Fraction(10) ** (count - x))
    if n == 10 ** count:
        n //= 10
        x += 1
    return str(n), x


def fixed(q, decimals):
    """q rounded to `decimals` places after the point, as (integer part, decimals)."""
    n = round_half_even(q * Fraction(10) ** decimals)
    text = str(n).rjust(decimals + 1, "0")  # n has at most a few digits here
    return text[: len(text) - decimals].lstrip("0"), text[len(text) - decimals:]


def with_sign_and_zero(body, negative, columns):
    """body starts at the point; the zero goes before it if the column is free."""
    if len(body) + 1 < columns or (len(body) + 1 == columns and not negative):
        body = "0" + body
    return ("-" if negative else "") + body


def justify(text, columns, width):
    if len(text) > columns:
        return "*" * width
    return text.rjust(columns) + " " * (width - columns)


def exponent_part(y):
    sign = "-" if y < 0 else "+"
    if abs(y) <= 99:
        return "E%s%02d" % (sign, abs(y))
    if abs(y) <= 999:
        return "%s%03d" % (sign, abs(y))
    return "%s%04d" % (sign, abs(y))


def general_field(bits):
    if b.is_nan(bits):
        return " NaN".ljust(WIDTH)
    if b.is_inf(bits):
        return (" -Infinity" if b.negative(bits) else " Infinity").ljust(WIDTH)
    if b.is_zero(bits):
        return justify(with_sign_and_zero("." + "0" * (DIGITS - 1), False,
                                          WIDTH - TRAILING_BLANKS),
                       WIDTH - TRAILING_BLANKS, WIDTH)
    q = b.value(bits)
    negative = q < 0
    q = abs(q)
    decision, x = significant(q, WIDTH)
    if x < -1 or x > DIGITS:
        integer_digits = None
    elif decision[:DIGITS] == "9" * DIGITS and decision[DIGITS] >= "5":
        integer_digits = None if x >= DIGITS else x + 1
    else:
        integer_digits = None if x == -1 else x
    if integer_digits is None:
        mantissa, y = significant(q, DIGITS)
        body = "." + mantissa + exponent_part(y)
        return justify(with_sign_and_zero(body, negative, WIDTH), WIDTH, WIDTH)
    whole, decimals = fixed(q, DIGITS - integer_digits)
    columns = WIDTH - TRAILING_BLANKS
    if whole:
        text = ("-" if negative else "") + whole + "." + decimals
    else:
        text = with_sign_and_zero("." + decimals, negative, columns)
    return justify(text, columns, WIDTH)


# ---------------------------------------------------------------------------------
# Cases

TABLE = [
    ("210000", " 0.21000E+06"),
    ("100000", " 0.10000E+06"),
    ("99999.5", " 0.10000E+06"),
    ("99999.4999999999", " 0.99999E+05"),
    ("99999", "  99999.    "),
    ("70000", "  70000.    "),
    ("12345.5", "  12346.    "),
    ("12344.5", "  12344.    "),
    ("123465", " 0.12346E+06"),
    ("123475", " 0.12348E+06"),
    ("9.99996", "  10.000    "),
    ("1", "  1.0000    "),
    ("0.5", " 0.50000    "),
    ("0.1", " 0.10000    "),
    ("0.0999996", " 0.10000    "),
    ("0.09", " 0.90000E-01"),
    ("0.001", " 0.10000E-02"),
    ("0", "  0.0000    "),
    ("-0.5", "-0.50000    "),
    ("-70000", " -70000.    "),
    ("-210000", "-0.21000E+06"),
    ("1e10", " 0.10000E+11"),
    ("1e100", " 0.10000+101"),
    ("1e-100", " 0.10000E-99"),
    ("1e-101", " 0.10000-100"),
    ("-1e-101", "-0.10000-100"),
    ("1e1000", "0.10000+1001"),
    ("-1e1000", "-.10000+1001"),
]

SPECIALS = [
    (b.NEG_ZERO, "  0.0000    "),
    (b.DEFAULT_NAN, " NaN        "),
    (0x7FFF0000000000000000000000000001, " NaN        "),  # signalling, tiny payload
    (0x7FFF8000000000000000000000000000, " NaN        "),
    (0xFFFF7FFFFFFFFFFFFFFFFFFFFFFFFFFF, " NaN        "),
    (b.POS_INF, " Infinity   "),
    (b.NEG_INF, " -Infinity  "),
    (b.MAX_FINITE, "0.11897+4933"),
    (b.MAX_FINITE | b.SIGN, "-.11897+4933"),
    (1, "0.64752-4965"),
    (1 | b.SIGN, "-.64752-4965"),
]


def signed(bits, rng):
    return bits | b.SIGN if rng.random() < 0.5 else bits


def random_values(rng, count):
    """Every binade, subnormals included, with random significands and signs."""
    for _ in range(count):
        biased = rng.randrange(0, b.MAX_BIASED)
        fraction = rng.getrandbits(b.FRACTION_BITS)
        if biased == 0:
            fraction = (fraction >> rng.randrange(b.FRACTION_BITS)) or 1
        yield signed((biased << b.FRACTION_BITS) | fraction, rng)


def ordinary_values(rng, count):
    """Magnitudes from 1e-8 to 1e12, where the program's values live."""
    for _ in range(count):
        biased = b.BIAS + rng.randrange(-27, 41)
        yield signed((biased << b.FRACTION_BITS) | rng.getrandbits(b.FRACTION_BITS), rng)


def exact(q):
    """The pattern of q if q is a binary128 value, else None."""
    bits = b.round_rational(q)
    return bits if not b.is_inf(bits) and b.value(bits) == q else None


def tie_values(rng):
    """Binary128 values exactly halfway between two decimal roundings: expansions of
    one digit more than are kept, ending in 5. Such values are D5 x 10^k, and the
    dyadic fractions o / 2^j (o odd) whose expansion o x 5^j has exactly that many
    significant digits, times 10^k."""
    values = []
    for kept in (DIGITS, WIDTH):
        for _ in range(60):
            d = rng.randrange(10 ** (kept - 1), 10 ** kept)
            if rng.random() < 0.3:
                d = 10 ** kept - 1 - 2 * rng.randrange(3)  # nines: the tie may carry
            for k in (0, 1, 2, rng.randrange(3, 40)):
                values.append(exact(Fraction(10 * d + 5) * 10 ** k))
        for j in range(1, 3 * kept + 4):
            low = max(-(-10 ** kept // 5 ** j), 1)
            high = 10 ** (kept + 1) // 5 ** j - 1
            if low > high:
                continue
            for _ in range(6):
                o = rng.randrange(low, high + 1) | 1
                if o * 5 ** j >= 10 ** (kept + 1):
                    continue
                for k in (0, rng.randrange(1, 8), rng.randrange(8, 40)):
                    values.append(exact(Fraction(o, 2 ** j) * 10 ** k))
    for text in ("12345.5", "12344.5", "99999.5", "123465", "123475", "0.00390625",
                 "9999949999995", "9999949999985", "999995", "9.5", "0.5", "0.25"):
        values.append(exact(Fraction(text)))
    # Their neighbours are the nearest non-ties: the cut-off rest lies just above or
    # just below one half.
    near = [v + step for v in values if v is not None for step in (-2, -1, 1, 2)]
    return [signed(v, rng) for v in values + near if v is not None and 0 < v <= b.MAX_FINITE]


def neighbours(q, spread):
    """The binary128 values within `spread` steps of the one nearest to q > 0."""
    centre = b.round_rational(q)
    return [centre + i for i in range(-spread, spread + 1)
            if 0 < centre + i <= b.MAX_FINITE]


def boundary_values():
    """Around every point where the form, the exponent width or the digit count of
    the field changes: powers of ten, the carry points 0.999995 x 10^k, the
    12-digit carry points, both signs."""
    points = []
    for k in list(range(-110, 111)) + [-1002, -1001, -1000, -999, -998, 998, 999, 1000, 1001,
                                       4931, 4932, -4930, -4931, -4932, -4960, -4964, -4965]:
        ten = Fraction(10) ** k
        points.append(ten)
        if -8 <= k <= 8 or abs(k) in (98, 99, 100, 101, 998, 999, 1000, 1001):
            points.append(ten * Fraction(999995, 10 ** 6))
            points.append(ten * (1 - Fraction(5, 10 ** 13)))
            points.append(ten * (Fraction(999995, 10 ** 6) - Fraction(5, 10 ** 13)))
    values = []
    for q in points:
        spread = 3 if q < Fraction(10) ** 4933 else 0
        for bits in neighbours(q, spread):
            values += [bits, bits | b.SIGN]
    # The extremes of the range.
    for bits in (1, 2, 3, 0xFFFFFFFFFFFFFFFFFFFFFFFFFFFF, 0x0001000000000000000000000000000,
                 b.MAX_FINITE, b.MAX_FINITE - 1):
        values += [bits, bits | b.SIGN]
    return values


def main():
    quadprobe, count, rng = arguments(3000)

    checks = []
    for text, field in TABLE:
        bits = b.round_rational(Fraction(text))
        checks.append((bits, field))
        assert general_field(bits) == field, (text, general_field(bits), field)
    for bits, field in SPECIALS:
        checks.append((bits, field))
        assert general_field(bits) == field, (b.hex32(bits), general_field(bits), field)
    values = (list(random_values(rng, count)) + list(ordinary_values(rng, count))
              + tie_values(rng) + boundary_values())
    checks += [(bits, general_field(bits)) for bits in values]

    return compare(quadprobe, "calc",
                   [("fmt %s" % b.hex32(bits), "|%s|" % field) for bits, field in checks],
                   "general fields")


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks `quadprobe decimal` against exact rational arithmetic, bit for bit.

Every case is a value text; the expected result comes from reading the text with a
regular expression, forming its exact value as a fraction and rounding that with
binary128.round_quotient(numerator, denominator, ties="away"). Overflow is "error 64", and so is any text
that is not a value.

usage: check_decimal.py QUADPROBE [RANDOM_CASES] [SEED]
"""

import os
import re
import sys
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
from quadprobe_check import arguments, compare  # noqa: E402
from operands import random_fraction  # noqa: E402

# Midpoints are written out in full, with up to 11,564 digits.
if hasattr(sys, "set_int_max_str_digits"):
    sys.set_int_max_str_digits(0)

ERROR = "error 64"
NUMBER = re.compile(r"([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[EeDdQq]([+-]?[0-9]+)?|([+-][0-9]+))?")
WORD = re.compile(r"([+-]?)([IiNn].*)", re.DOTALL)


def expected(text):
    """The exact reading of one value text: a result line."""
    word = WORD.fullmatch(text)
    if word:
        name = word.group(2).lower()
        if name in ("inf", "infinity"):
            return b.hex32(b.NEG_INF if word.group(1) == "-" else b.POS_INF)
        if name == "nan":
            return b.hex32(b.DEFAULT_NAN)
        return ERROR
    number = NUMBER.fullmatch(text)
    if not number:
        return ERROR
    sign, integer, fraction, exponent, bare_exponent = number.groups()
    fraction = fraction or ""
    if not integer and not fraction:
        return ERROR
    negative = sign == "-"
    significant = (integer + fraction).lstrip("0")
    power = int(exponent or bare_exponent or "0") - len(fraction)
    if not significant:
        return b.hex32(b.NEG_ZERO if negative else b.POS_ZERO)
    leading = len(significant) - 1 + power
    # Far outside the range the answer needs no arithmetic (10^4933 overflows,
    # 10^-4967 is below half the smallest subnormal); these guards only spare
    # Python from astronomically large powers.
    if leading > 20000:
        return ERROR
    if leading < -20000:
        return b.hex32(b.NEG_ZERO if negative else b.POS_ZERO)
    magnitude = int(significant) * 10 ** max(power, 0)
    bits = b.round_quotient(-magnitude if negative else magnitude, 10 ** max(-power, 0),
                            ties="away")
    return ERROR if b.is_inf(bits) else b.hex32(bits)


def exact_decimal(q):
    """The digits and the power of ten of a positive dyadic rational, exactly."""
    k = q.denominator.bit_length() - 1
    assert q.denominator == 1 << k
    return q.numerator * 5**k, -k


def write_value(rng, digits, power, sign=""):
    """digits * 10^power written in one of the many accepted forms."""
    text = str(digits)
    form = rng.randrange(6)
    letter = rng.choice("EeDdQq")
    if form == 0 or power == 0 and form < 3:  # plain positional
        if power >= 0:
            body = text + "0" * power
            if rng.random() < 0.3:
                body += "."
        elif -power < len(text):
            body = text[:power] + "." + text[power:]
        else:
            body = "0." + "0" * (-power - len(text)) + text
            if rng.random() < 0.5:
                body = body[1:]
    elif form == 1:  # integer digits and an exponent
        body = "%s%s%d" % (text, letter, power)
    elif form == 2:  # sign-form exponent without a letter
        body = "%s%+d" % (text, power)
    elif form == 3:  # one digit before the point
        body = "%s.%s%s%+d" % (text[0], text[1:], letter, power + len(text) - 1)
    elif form == 4:  # zeros on both sides, exponent with leading zeros
        body = "%s%s.%s%s%s%s%d" % ("0" * rng.randrange(5), text, "0" * rng.randrange(30), letter,
                                    "-" if power < 0 else rng.choice(["", "+"]),
                                    "0" * rng.randrange(6), abs(power))
    else:  # fraction-only mantissa
        body = ".%s%s%d" % (text, letter, power + len(text))
    return sign + body


def random_ordinary(rng):
    """Values like measurements: few digits, small exponents."""
    count = rng.choice([1, 2, 3, 6, 7, 8, 8, 12, 17, 19, 20, 25, 33, 36, 38, 39, 40, 45])
    digits = rng.randrange(10 ** (count - 1), 10**count)
    if rng.random() < 0.2:
        digits *= 10 ** rng.randrange(1, 6)
    power = rng.randrange(-45, 30) if rng.random() < 0.8 else rng.randrange(-170, 150)
    return write_value(rng, digits, power, rng.choice(["", "", "-", "+"]))


def random_any_magnitude(rng):
    count = rng.choice([1, 5, 19, 20, 38, 39, 40, 60, 100, 300])
    digits = rng.randrange(10 ** (count - 1), 10**count)
    leading = rng.randrange(-4975, 4940)
    return write_value(rng, digits, leading - count + 1, rng.choice(["", "-"]))


def random_pattern(rng):
    """A finite positive binary128 pattern, biased towards the interesting places."""
    choice = rng.randrange(6)
    if choice == 0:
        biased = rng.randrange(0, b.MAX_BIASED)
    elif choice == 1:
        biased = rng.randrange(0, 4)  # subnormal and bottom of the normal range
    elif choice == 2:
        biased = rng.randrange(b.MAX_BIASED - 4, b.MAX_BIASED)
    elif choice == 3:  # midpoints with at most 38 digits, some of them ties
        biased = b.BIAS + rng.randrange(100, 127)
    elif choice == 4:
        biased = b.BIAS + rng.randrange(-200, 200)
    else:
        biased = b.BIAS + rng.randrange(-4, 4)
    pattern = (biased << b.FRACTION_BITS) | random_fraction(rng)
    return pattern if pattern != 0 else 1


def midpoint_above(pattern):
    """The exact midpoint between a finite positive pattern and the next value up."""
    low = b.value(pattern)
    if pattern == b.MAX_FINITE:
        return low + Fraction(2) ** (b.BIAS - b.FRACTION_BITS - 1)
    return (low + b.value(pattern + 1)) / 2


def midpoint_cases(rng, count):
    for _ in range(count):
        digits, power = exact_decimal(midpoint_above(random_pattern(rng)))
        sign = rng.choice(["", "-"])
        yield write_value(rng, digits, power, sign)
        yield write_value(rng, digits - 1, power, sign)
        yield write_value(rng, digits + 1, power, sign)
        # Beyond the last digit of the midpoint: only below it changes the result.
        tail = rng.randrange(1, 3000)
        yield write_value(rng, digits * 10**tail - 1, power - tail, sign)
        yield write_value(rng, digits * 10**tail + 1, power - tail, sign)


def special_cases():
    two_113_plus_1 = str(2**113 + 1)
    cases = [
        # The conversion rows of the value table.
        "1.5E3", "1.5e3", "1.5D3", "1.5d3", "1.5Q3", "1.5q3", "1.5+3", "1.5E+3", "1500",
        "1.5E-3", "1.5-3", "5E", "+.5", "5.", "-0", "1E4932", "1E4933", "1E-5000",
        two_113_plus_1, "-" + two_113_plus_1, "Inf", "-INFINITY", "nan", "Infin", "Na", "Infx",
        "1E5+3", "1.5+3+1", "Index", "Nr.",
        # Signed zeros in every form.
        "0", "-0.0", "-0E5", "+0", "-.0", "-0.", "00000", "-0000.0000E-0000",
        "0E99999999999999999999999999", "-0E-99999999999999999999999999",
        "-0e+12", "-0000000000000000000000000000000000000000000000000000000000001E-6000",
        # Words.
        "inf", "INF", "+Inf", "-inf", "Infinity", "iNfInItY", "+infinity", "NaN", "NAN",
        "-NaN", "+nan", "I", "N", "i", "n", "NaNa", "Info", "Infinit", "Infinityy", "nan0",
        "-Nr.", "+N", "Inf.", "In", "nAn ",
        # Not values at all.
        "", "+", "-", ".", "+.", "-.", "E5", ".E5", "1..5", "1.5.", "1E5E2", "--5", "5+-3",
        "+-5", "1E+", "1E-", "1.5-", "1.5+", "5x", "5;", " 5", "5 ", "1,5", "0x10", "5E+-3",
        "5EE3", "5E3.", "1E5-", "5e3e", "5Q++3", "*5", "5*", "1/2", "\x005", "5\x00",
        "\xa05", "1.5E3 ", "1.5E 3", "T", "F", "'5'",
        # Accepted corner forms.
        "5.E3", ".5E", "5d-0", "5q+0", "5E-0", "5E+00000000000000000000000000003",
        "1E000000000000000000000000000000004932", "1E0000000000000000000000000004933",
        "1E-000000000000000000000000000000004966", "1E-0000000000000000000000000004967",
        "1E99999999999999999999999999999999999", "-1E99999999999999999999999999999999999",
        "1E-99999999999999999999999999999999999", "-1E-99999999999999999999999999999999",
        "1+99999999999999999999999999999999999", "1-99999999999999999999999999999999999",
        "1E9223372036854775807", "1E9223372036854775808", "1E-9223372036854775808",
        "1E-9223372036854775809", "1E18446744073709551616", "1E-18446744073709551617",
        # Magnitude decides, not the written exponent.
        "0." + "0" * 6000 + "1",
        "-." + "0" * 4965 + "4",
        "." + "0" * 4965 + "33",
        "9" * 6000 + "E-1068",
        "9" * 6000 + "E-1067",
        "1" + "0" * 10000 + "E-10000",
        "1" + "0" * 10000 + "E-5068",
        "1" + "0" * 10000 + "E-5067",
        "0" * 5000 + "1.5",
        "1." + "0" * 12000 + "1",
        "1" + "0" * 12000 + "1E-12001",
        "123456789" * 1500 + "E-13400",
        "." + "123456789" * 1500 + "E-4960",
        "." + "987654321" * 1500 + "E+4932",
        "." + "987654321" * 1500 + "E+4933",
    ]
    # The overflow threshold (largest finite value plus half an ulp) and its
    # neighbours in the last digit; half the smallest subnormal and its neighbours.
    for threshold in (midpoint_above(b.MAX_FINITE), Fraction(2) ** (b.MIN_QUANTUM_EXPONENT - 1),
                      b.value(b.MAX_FINITE), b.value(1), b.value(1 << b.FRACTION_BITS),
                      midpoint_above(1 << b.FRACTION_BITS), midpoint_above((1 << b.FRACTION_BITS) - 1),
                      midpoint_above((1 << b.PRECISION) - 1)):
        digits, power = exact_decimal(threshold)
        for delta in (-1, 0, 1):
            for sign in ("", "-"):
                cases.append("%s%d%s%d" % (sign, digits + delta, "E", power))
        cases.append("%d%s%dE%d" % (digits, "0" * 2000, 1, power - 2001))
        cases.append("%d%s%dE%d" % (digits - 1, "9" * 2000, 9, power - 2001))
    return cases


def alphabet_cases(rng, count):
    """Short strings over the characters of numbers, most of them not numbers."""
    alphabet = "0123456789.EeDdQq+-"
    weights = [4] * 10 + [3] + [1] * 6 + [3, 3]
    for _ in range(count):
        yield "".join(rng.choices(alphabet, weights, k=rng.randrange(1, 10)))


def abbreviated(text):
    shown = text if len(text) <= 80 else "%s...%s (%d characters)" % (text[:40], text[-30:], len(text))
    return repr(shown)


def main():
    quadprobe, count, rng = arguments(20000)
    texts = special_cases()
    texts += [random_ordinary(rng) for _ in range(count)]
    texts += [random_any_magnitude(rng) for _ in range(count // 10)]
    texts += list(midpoint_cases(rng, count // 100))
    texts += list(alphabet_cases(rng, count // 5))
    assert all("\n" not in text and not text.endswith("\r") for text in texts)

    return compare(quadprobe, "decimal", [(text, expected(text)) for text in texts],
                   "value texts", shown=abbreviated)


if __name__ == "__main__":
    sys.exit(main())

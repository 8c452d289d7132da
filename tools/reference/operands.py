"""Random binary128 operands of every class, for differential tests."""

import random

from binary128 import (BIAS, FRACTION_BITS, FRACTION_MASK, MAX_BIASED, QUIET, SIGN)


def pattern(sign, biased, frac):
    return (SIGN if sign else 0) | (biased << FRACTION_BITS) | (frac & FRACTION_MASK)


def random_fraction(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return 0
    if kind == 1:
        return FRACTION_MASK
    if kind == 2:  # few bits set: exact products and ties are likely
        return rng.getrandbits(8) << rng.randrange(FRACTION_BITS - 8)
    if kind == 3:
        return rng.getrandbits(3)
    return rng.getrandbits(FRACTION_BITS)


def zero(rng):
    return pattern(rng.random() < 0.5, 0, 0)


def subnormal(rng):
    frac = random_fraction(rng) or 1
    return pattern(rng.random() < 0.5, 0, frac)


def normal(rng):
    choice = rng.randrange(5)
    if choice == 0:
        biased = rng.randrange(1, MAX_BIASED)
    elif choice == 1:  # near 1
        biased = BIAS + rng.randrange(-8, 9)
    elif choice == 2:  # near the bottom of the normal range
        biased = rng.randrange(1, 200)
    elif choice == 3:  # near the top
        biased = rng.randrange(MAX_BIASED - 200, MAX_BIASED)
    else:
        biased = BIAS + rng.randrange(-120, 121)
    return pattern(rng.random() < 0.5, biased, random_fraction(rng))


def extreme(rng):
    return rng.choice([
        pattern(0, MAX_BIASED - 1, FRACTION_MASK),  # largest finite
        pattern(0, 1, 0),  # smallest normal
        pattern(0, 0, 1),  # smallest subnormal
        pattern(0, 0, FRACTION_MASK),  # largest subnormal
        pattern(0, BIAS, 0),  # one
        pattern(0, BIAS, 1),  # one plus an ulp
        pattern(0, BIAS - 113, 0),  # 2^-113
    ]) | (SIGN if rng.random() < 0.5 else 0)


def infinity(rng):
    return pattern(rng.random() < 0.5, MAX_BIASED, 0)


def quiet_nan(rng):
    return pattern(rng.random() < 0.5, MAX_BIASED, QUIET | rng.getrandbits(rng.choice([0, 4, 111])))


def signalling_nan(rng):
    payload = rng.getrandbits(rng.choice([4, 111])) & (QUIET - 1)
    return pattern(rng.random() < 0.5, MAX_BIASED, payload or 1)


CLASSES = [zero, subnormal, normal, normal, normal, extreme, infinity, quiet_nan, signalling_nan]


def random_operand(rng):
    return rng.choice(CLASSES)(rng)


def close_pair(rng):
    """Two finite operands of nearby exponents, where addition rounds and cancels."""
    x = normal(rng) if rng.random() < 0.8 else subnormal(rng)
    shift = rng.randrange(-3, 120) if rng.random() < 0.9 else rng.randrange(-3, 4)
    biased = (x >> FRACTION_BITS) & 0x7FFF
    y_biased = min(max(biased - shift, 0), MAX_BIASED - 1)
    y = pattern(rng.random() < 0.5, y_biased, random_fraction(rng))
    return x, y

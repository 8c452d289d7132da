#!/usr/bin/env python3
"""Checks K, E and the plot slope of `quadprobe calc` (command `modulus`) bit for
bit against the independent model in modulus_model.py, on measured-looking series
(noisy forces and displacements with a few decimals) and non-integer a != b, d0.
The printed five digits hide most last-bit differences; the bits do not.

usage: check_modulus.py QUADPROBE [RANDOM_CASES] [SEED]
"""

import os
import sys
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
import modulus_model  # noqa: E402
from quadprobe_check import arguments, compare  # noqa: E402


def measured(value, decimals):
    """The pattern the reader gives for `value` written with `decimals` places:
    nearest binary128, ties away from zero."""
    text = "%.*f" % (decimals, value)
    return b.round_rational(Fraction(text), ties="away")


def geometry(rng):
    """Distances a != b and a diameter, each with a fractional part."""
    a = measured(rng.uniform(20, 400), rng.choice([1, 2, 3]))
    other = a
    while other == a:
        other = measured(rng.uniform(20, 400), rng.choice([1, 2, 3]))
    return a, other, measured(rng.uniform(2, 30), rng.choice([2, 3]))


def series(rng):
    """Forces rising roughly linearly with the displacement, both with noise."""
    count = rng.choice([1, 2, 3, rng.randrange(4, 60)])
    stiffness = rng.uniform(50, 5000)
    kraft, weg = [], []
    for i in range(1, count + 1):
        displacement = i * rng.uniform(0.005, 0.05) + rng.gauss(0, 0.002)
        force = stiffness * displacement + rng.gauss(0, 0.5)
        weg.append(measured(displacement, 5))
        kraft.append(measured(force, 3))
    return kraft, weg


def cases(rng, count):
    for _ in range(count):
        a, bb, d0 = geometry(rng)
        kraft, weg = series(rng)
        words = ["modulus"] + [b.hex32(x) for x in (a, bb, d0)]
        for force, displacement in zip(kraft, weg):
            words += [b.hex32(force), b.hex32(displacement)]
        expected = modulus_model.evaluate(a, bb, d0, kraft, weg)
        yield " ".join(words), " ".join(b.hex32(x) for x in expected)


def main():
    quadprobe, count, rng = arguments(300)
    return compare(quadprobe, "calc", list(cases(rng, count)), "evaluations",
                   shown=lambda line: line[:120] + " ...")


if __name__ == "__main__":
    sys.exit(main())

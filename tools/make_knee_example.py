#!/usr/bin/env python3
"""Writes examples/knee.txt: a bending test of the steel bar of examples/probe.txt
(a = b = 100 mm, d0 = 10 mm, E about 206000 MPa, so about 606 N/mm) that does not
follow a line through the origin. At the start the supports settle (a toe: the
bar moves 0.12 mm before it carries load at its full stiffness), and from about
1800 N on the bar yields (a knee: the force levels off near 2300 N). Running
number, force in N and displacement in mm, with measurement noise, in the
layout of probe.txt. The same seed gives the same file.

usage: make_knee_example.py > examples/knee.txt
"""

import math
import random

RECORDS = 300
STIFFNESS = 606.4  # N/mm
TOE = 0.12  # mm of settling before the full stiffness
YIELD_FORCE = 2300.0  # N, where the force levels off
SHARPNESS = 6.0  # how sudden the knee is


def force_at(displacement):
    # Settling: the stiffness grows from zero to its full value over the toe.
    elastic = STIFFNESS * (displacement - TOE * (1.0 - math.exp(-displacement / TOE)))
    # Yielding: the force bends over towards the yield force.
    return elastic / (1.0 + (elastic / YIELD_FORCE) ** SHARPNESS) ** (1.0 / SHARPNESS)


def main():
    rng = random.Random(20261223)
    for i in range(1, RECORDS + 1):
        displacement = 6.0 * i / RECORDS
        force = force_at(displacement) + rng.gauss(0.0, 2.0)
        measured = displacement + rng.gauss(0.0, 0.004)
        print("%5d %11.3f %10.5f" % (i, force, measured))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes bending-export.dat: an export of a three-point bending test of a
polyamide round bar (d0 = 6 mm, a = b = 40 mm) on a servo-hydraulic frame, as
such a machine writes it: eight header lines, tab-separated columns of
displacement (mm), force (kN) and time (s), both measured values negative, CR LF
line ends. The test runs at 0.1 mm/s, sampled at 100 Hz, past its maximum force
to failure; force and displacement carry measurement noise. The same seed gives
the same bytes.

usage: make-export.py [FILE]
"""

import math
import random
import sys

HEADER = [
    "Test machine\tServo-hydraulic frame SH-10 (serial 10-4471)",
    "Station\tStation 2, three-point bending fixture, span 80 mm",
    "Specimen\tPA6 round bar No. 3, d0 = 6 mm",
    "Test start\t2026-11-17 09:42:13",
    "Control\tstroke, 0.1 mm/s; sample rate 100 Hz",
    "Channels\tdisplacement, force, time",
    "Ch 3 Displacement\tCh 1 Force\tTime",
    "mm\tkN\ts",
]

SLOPE = 18.0         # N/mm on the straight part of the loading branch
PLATEAU = 98.0       # N, where the loading branch would level off
TOE = 0.08           # mm of seating at the start
SOFTENING = 5.2      # mm, where the force starts to fall
FAILURE = 9.6        # mm, where the bar breaks


def force_at(w):
    """The force in N at displacement w in mm: toe, loading branch, softening."""
    seated = w - TOE * (1 - math.exp(-w / TOE))
    loading = PLATEAU * math.tanh(SLOPE * seated / PLATEAU)
    if w <= SOFTENING:
        return loading
    return loading * (1 - 0.70 * ((w - SOFTENING) / (FAILURE - SOFTENING)) ** 2)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "bending-export.dat"
    rng = random.Random(20261117)
    lines = list(HEADER)
    step = 0
    while True:
        time = step / 100
        w = 0.1 * time
        if w > FAILURE:
            break
        displacement = w + rng.gauss(0, 0.0006)
        force = force_at(w) + rng.gauss(0, 0.04)
        lines.append("%.4f\t%.6f\t%.2f" % (-displacement, -force / 1000, time))
        step += 1
    with open(path, "w", newline="") as export:
        export.write("".join(line + "\r\n" for line in lines))


if __name__ == "__main__":
    main()

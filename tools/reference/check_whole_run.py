#!/usr/bin/env python3
"""Runs the program on a long measured-looking series (records of varying length
and layout, so that the 64 KiB blocks in which the file is read end inside values),
by default and with UNIO_BUFFERED=y, and compares its result line and plot.dat
byte for byte with
what the exact models give: the reader's rounding of each value (nearest, ties
away from zero), K, E and the slope of modulus_model.py, each row's product, and
the general field of check_general_field.py. Long enough that the plot rows are
prepared on a second processor while they are written. The plot command's
reader, emodul-points, must print every record of the same file as the exact
value rounded to 17 significant digits, ties to even.

usage: check_whole_run.py EMODUL EMODUL_POINTS [RECORDS] [SEED]
"""

import os
import random
import subprocess
import sys
import tempfile
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
import modulus_model  # noqa: E402
from check_general_field import decimal_exponent, general_field, round_half_even  # noqa: E402


def read_value(text):
    return b.round_rational(Fraction(text), ties="away")


def points_text(bits):
    """A value as emodul-points prints it."""
    if b.is_nan(bits):
        return "NaN"
    if b.is_inf(bits):
        return "-Infinity" if b.negative(bits) else "Infinity"
    if b.is_zero(bits):
        return "-0" if b.negative(bits) else "0"
    q = b.value(bits)
    x = decimal_exponent(abs(q))
    n = round_half_even(abs(q) * Fraction(10) ** (17 - x))
    if n == 10 ** 17:
        n //= 10
        x += 1
    digits = str(n)
    return "%s%s.%se%+03d" % ("-" if q < 0 else "", digits[0], digits[1:], x - 1)


def main():
    emodul, points = sys.argv[1], sys.argv[2]
    records = int(sys.argv[3]) if len(sys.argv) > 3 else 9000
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 20261208)
    lines, kraft, weg = [], [], []
    for i in range(1, records + 1):
        # Records of varying length, so that the file's read blocks end inside values.
        force = "%.*f" % (rng.randint(1, 6), rng.uniform(10, 9990))
        displacement = "%.*f" % (rng.randint(4, 9),
                                 abs(float(force) / 606.4125 + rng.gauss(0, 0.0015)))
        lines.append("%d%s%s%s%s\n" % (i, rng.choice([" ", "\t", " " * rng.randint(2, 9)]), force,
                                       rng.choice([" ", "\t", ",", "   "]), displacement))
        kraft.append(read_value(force))
        weg.append(read_value(displacement))
    text = "".join(lines)
    print("%d of the file's read blocks end inside a value" % sum(
        1 for end in range(65536, len(text), 65536) if text[end - 1:end + 1].isdigit()))
    geometry = ["%.2f" % rng.uniform(50, 500), "%.2f" % rng.uniform(50, 500),
                "%.3f" % rng.uniform(5, 20)]
    k, e, slope = modulus_model.evaluate(*[read_value(x) for x in geometry], kraft, weg)
    result = "\nE-unendlich = %s MPa\n" % general_field(e)
    rows = [general_field(b.POS_ZERO) * 2 + "\n"]
    for i in range(min(records // 2 + 1, records)):
        rows.append(general_field(weg[i]) + general_field(b.multiply(slope, weg[i])) + "\n")
    expected_plot = "".join(rows)
    expected_points = "".join("%s %s\n" % (points_text(w), points_text(f))
                              for w, f in zip(weg, kraft))

    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        with open(os.path.join(directory, "series.txt"), "w") as series:
            series.write(text)
        answers = "series.txt\n" + "\n".join(geometry) + "\n"
        for buffered in (False, True):
            environment = dict(os.environ)
            environment.pop("UNIO_BUFFERED", None)
            if buffered:
                environment["UNIO_BUFFERED"] = "y"
            run = subprocess.run([emodul], input=answers.encode(), capture_output=True,
                                 cwd=directory, env=environment)
            with open(os.path.join(directory, "plot.dat")) as plot_file:
                plot = plot_file.read()
            mode = "buffered" if buffered else "default"
            if run.returncode != 0 or run.stderr:
                print("%s run: status %d, %r" % (mode, run.returncode, run.stderr[:200]))
                failures += 1
            if not run.stdout.decode().endswith(result):
                print("%s run: result %r, expected %r" % (mode, run.stdout[-40:], result))
                failures += 1
            if plot != expected_plot:
                got = plot.splitlines(True)
                first = next((i for i, (x, y) in enumerate(zip(got, rows)) if x != y),
                             min(len(got), len(rows)))
                print("%s run: plot.dat has %d rows, expected %d; first difference in row %d"
                      % (mode, len(got), len(rows), first))
                failures += 1
        run = subprocess.run([points, "series.txt"], capture_output=True, cwd=directory)
        if run.returncode != 0 or run.stderr or run.stdout.decode() != expected_points:
            got = run.stdout.decode().splitlines(True)
            wanted = expected_points.splitlines(True)
            first = next((i for i, (x, y) in enumerate(zip(got, wanted)) if x != y),
                         min(len(got), len(wanted)))
            print("emodul-points: status %d, %d lines, expected %d; first difference in line %d"
                  % (run.returncode, len(got), len(wanted), first + 1))
            failures += 1
    print("%d of 3 readings of %d records (two whole runs, emodul-points) differ from the "
          "exact reference" % (failures, records))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

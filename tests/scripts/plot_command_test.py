#!/usr/bin/env python3
"""The plot command of the build folder on small series, each first evaluated by
emodul: whether it takes plot.dat as belonging to the file (status, message),
the slope and residuals it writes to its table against exact rationals, and the
SVG picture's two panels and labels. Then generated series, whose plot.dat must
be taken. Exits 77 (skipped) without gnuplot.

usage: plot_command_test.py BUILD_DIR [RECORDS]
  RECORDS: only the generated series of that many records (for 10^6: ctest -L long)
"""

import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

TWICE = "1 2 1\n2 4 2\n3 6 3\n"
GEOMETRY = "100\n100\n10\n"


def other_run(directory, text):
    """plot.dat of a run on another file."""
    run_emodul(directory, "other.txt", text)


def edit_field(row, column, new):
    def edit(directory):
        path = os.path.join(directory, "plot.dat")
        with open(path) as plot:
            rows = plot.read().split("\n")
        rows[row - 1] = rows[row - 1][:12 * (column - 1)] + new + rows[row - 1][12 * column:]
        with open(path, "w") as plot:
            plot.write("\n".join(rows))
    return edit


def rewrite_plot(change):
    def edit(directory):
        path = os.path.join(directory, "plot.dat")
        with open(path) as plot:
            text = plot.read()
        with open(path, "w", newline="") as plot:
            plot.write(change(text))
    return edit


# name, measurement file, plot.dat edit, options, status, stderr holds, slope, residuals
CASES = [
    ("one_record", "1 2 1\n", None, [], 0, "", Fraction(2), [0]),
    ("two_records", "1 2 1\n2 4 2\n", None, [], 0, "", Fraction(2), [0, 0]),
    ("three_records", "1 2 1\n2 4 2.5\n3 6 3\n", None, [], 0, "", Fraction(24, 13),
     [Fraction(2, 13), Fraction(-8, 13), Fraction(6, 13)]),
    # As emodul reads them: a repeat count, a slash (+0 and +0), a pair, CR LF.
    ("read_as_emodul_reads", "2*1 0.5\r\n/\r\n3 6 (3.5,1)\r\n", None, [], 0, "",
     Fraction(43, 25), [Fraction(7, 50), 0, Fraction(-1, 50)]),
    ("last_digit_one_above", TWICE, edit_field(3, 2, "  4.0001    "), [], 0, "", Fraction(2),
     [0, 0, 0]),
    ("last_digit_one_below", TWICE, edit_field(2, 1, " 0.99999    "), [], 0, "", Fraction(2),
     [0, 0, 0]),
    ("last_digit_two_above", TWICE, edit_field(3, 2, "  4.0002    "), [], 4,
     "row 3 shows the force \"  4.0002    \"", None, None),
    ("displacement_of_another_record", TWICE, edit_field(3, 1, "  3.0000    "), [], 4,
     "row 3 shows the displacement", None, None),
    ("plot_dat_of_another_file", TWICE,
     lambda directory: other_run(directory, "1 2 1.1\n2 4 2\n3 6 3\n"), [], 4,
     "'plot.dat' does not belong to 'probe.txt': row 2", None, None),
    ("plot_dat_of_a_longer_file", TWICE,
     lambda directory: other_run(directory, TWICE + "4 8 4\n5 10 5\n"), [], 4,
     "it holds 4 rows, a run on probe.txt writes 3", None, None),
    ("row_missing", TWICE, rewrite_plot(lambda text: text[:-25]), [], 4, "it holds 2 rows", None,
     None),
    ("crlf_rows", TWICE, rewrite_plot(lambda text: text.replace("\n", "\r\n")), [], 4,
     "row 1 is not two fields of 12 characters", None, None),
    ("first_row_not_the_origin", TWICE, edit_field(1, 1, "  1.0000    "), [], 4,
     "its first row is not the origin row", None, None),
    ("drawn_anyway", TWICE, edit_field(3, 2, "  4.0002    "), ["-f"], 0,
     "warning: 'plot.dat' does not belong to 'probe.txt'", Fraction(2), [0, 0, 0]),
    # A run with a = 0 writes NaN for every force of its line.
    ("line_of_no_number", TWICE, lambda directory: run_emodul(directory, "probe.txt", TWICE,
                                                              "0\n100\n10\n"), [], 4,
     "the line fitted to probe.txt gives 2 there", None, None),
    # A NaN makes the program's sums NaN, and plot.dat says so.
    ("nan_displacement", "1 2 1\n2 4 nan\n3 6 3\n", None, [], 0,
     "1 record(s) with a value that is no finite number not drawn", None, None),
    ("bad_record", "1 2 1\n2 4 x\n", lambda directory: other_run(directory, TWICE), [], 59,
     "iodiag: severe (59): list-directed I/O syntax error, unit 10, file", None, None),
    ("empty_file", "", None, [], 1, "'probe.txt' holds no record", None, None),
    ("missing_file", None, None, [], 1, "cannot read the measurement file 'probe.txt'", None,
     None),
]


def run_emodul(directory, name, text, geometry=GEOMETRY):
    with open(os.path.join(directory, name), "w", newline="") as measurements:
        measurements.write(text)
    subprocess.run([EMODUL], input=(name + "\n" + geometry).encode(), cwd=directory,
                   capture_output=True)


def read_table(path):
    with open(path) as table:
        header = table.readline()
        rows = [line.split() for line in table]
    slope = re.search(r"s = (\S+) N/mm", header).group(1)
    return float(slope), rows


def close(value, exact, scale):
    return abs(Fraction(value) - exact) <= Fraction(1, 10 ** 12) * scale


def svg_texts(path):
    with open(path) as picture:
        svg = picture.read()
    return svg, re.findall(r">([^<>]+)</text>", svg)


def check_case(case, directory):
    name, text, edit, options, status, message, slope, residuals = case
    problems = []
    if text is not None:
        run_emodul(directory, "probe.txt", text)
    if edit:
        edit(directory)
    run = subprocess.run([PLOT, "-o", "picture.svg", "-t", "table.txt"] + options + ["probe.txt"],
                         cwd=directory, capture_output=True, text=True)
    if run.returncode != status or message not in run.stderr:
        problems.append("status %d, expected %d; stderr %r" % (run.returncode, status, run.stderr))
    for output in ("picture.svg", "table.txt"):
        if os.path.exists(os.path.join(directory, output)) != (status == 0):
            problems.append("%s %s written" % (output, "" if status else "not"))
    if text is None and os.path.exists(os.path.join(directory, "probe.txt")):
        problems.append("the missing measurement file was created")
    if slope is None or problems:
        return problems

    got_slope, rows = read_table(os.path.join(directory, "table.txt"))
    forces = [Fraction(row[1]) for row in rows]
    scale = max(abs(f) for f in forces) or 1
    if not close(got_slope, slope, 1):
        problems.append("s = %r, expected %s" % (got_slope, slope))
    if len(rows) != len(residuals) or not all(
            close(float(row[2]), exact, scale) for row, exact in zip(rows, residuals)):
        problems.append("residuals %r, expected %s" % ([r[2] for r in rows], residuals))

    # Two panels on one displacement axis, and the legend's slope and RMS.
    svg, texts = svg_texts(os.path.join(directory, "picture.svg"))
    rms = math.sqrt(sum(r * r for r in residuals) / len(residuals))
    wanted = ["probe.txt: %d records as emodul reads them" % len(residuals), "force F in N",
              "residual F − s·w in N", "displacement w in mm",
              "the same line, continued",
              "measured, %d records" % len(residuals)]
    if "-f" in options:
        wanted += ["WARNING: 'plot.dat' does not belong to 'probe.txt'",
                   "line of plot.dat (not fitted to this file)",
                   "below: residuals F − s·w, s = %.5g N/mm, RMS %.3g N" % (slope, rms)]
    else:
        wanted += ["fitted line (plot.dat), s = %.5g N/mm" % slope,
                   "below: residuals F − s·w, RMS %.3g N" % rms]
    for label in wanted:
        if texts.count(label) != 1:
            problems.append("the picture shows %r %d times" % (label, texts.count(label)))
    if svg.count('id="gnuplot_plot_1a"') != 2:
        problems.append("the picture has not two panels")
    return problems


def generated_series(directory, records, rng):
    """A noisy series like a real test; emodul's plot.dat must be taken."""
    lines = []
    for i in range(1, records + 1):
        force = rng.uniform(1, 2000)
        lines.append("%d %.4f %.6f\n" % (i, force, force / 606.4 + rng.gauss(0, 0.002)))
    run_emodul(directory, "probe.txt", "".join(lines))
    run = subprocess.run([PLOT, "-o", "picture.png", "probe.txt"], cwd=directory,
                         capture_output=True, text=True)
    if run.returncode != 0:
        return ["%d generated records: status %d, %s" % (records, run.returncode, run.stderr)]
    return []


def main():
    global EMODUL, PLOT
    build = sys.argv[1]
    EMODUL = os.path.join(build, "emodul")
    PLOT = os.path.join(build, "emodul-plot")
    if not shutil.which("gnuplot"):
        print("gnuplot is not installed: skipped")
        return 77
    failures = 0
    rng = random.Random(20261223)
    if len(sys.argv) > 2:
        counts, cases = [int(sys.argv[2])], []
    else:
        counts, cases = [5, 2001], CASES
    for case in cases:
        with tempfile.TemporaryDirectory() as directory:
            for problem in check_case(case, directory):
                print("%s: %s" % (case[0], problem))
                failures += 1
    for records in counts:
        with tempfile.TemporaryDirectory() as directory:
            for problem in generated_series(directory, records, rng):
                print(problem)
                failures += 1
    print("%d cases and %d generated series; %d problems" % (len(cases), len(counts), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

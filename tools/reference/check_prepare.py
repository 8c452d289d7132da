#!/usr/bin/env python3
"""Runs emodul-prepare on random exports of every shape it reads (header
lengths, separators, decimal comma, units, signs, exponent notation, CR LF,
windows) and then emodul on what it wrote, and holds both to exact rational
arithmetic on the export's decimal text:

- every written force and displacement equals, as a rational, the export's
  field times its power of ten with its sign turned as asked, and is written as
  a plain decimal (which emodul reads as exactly that decimal);
- the records written are exactly those of the window rule, decided on the
  rationals;
- emodul prints the modulus that modulus_model.py gives for the kept records'
  values, each rounded to binary128 from the export's text;
- the decimal-comma twin of an export gives the same bytes;
- an export with one record spoilt is refused: its line named, status 1, no
  output file.

usage: check_prepare.py EMODUL_PREPARE [CASES] [SEED]   (emodul beside it)
"""

import os
import re
import subprocess
import sys
import tempfile
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import binary128 as b  # noqa: E402
import modulus_model  # noqa: E402
from check_general_field import general_field  # noqa: E402
from quadprobe_check import arguments  # noqa: E402

FORCE_UNITS = {"N": 0, "kN": 3, "mN": -3}
DISPLACEMENT_UNITS = {"mm": 0, "um": -3, "\u00b5m": -3, "m": 3}
PLAIN = re.compile(r"^(-?(0|[1-9][0-9]*)(\.[0-9]+)?)$")
GEOMETRY = ("100", "100", "10")


def value_text(rng, value):
    """Decimal text for a value, in one of the forms exports use."""
    form = rng.randrange(6)
    if form == 0:
        text = "%.*E" % (rng.randrange(1, 8), value)
    elif form == 1:
        text = "%.*e" % (rng.randrange(1, 8), value)
    else:
        text = "%.*f" % (rng.randrange(0, 8), value)
    if value >= 0 and rng.randrange(8) == 0:
        text = "+" + text
    return text


def make_case(rng):
    """An export and what emodul-prepare is told about it."""
    case = {"separator": rng.choice(["\t", " ", "  ", ";", "; ", ","]),
            "crlf": rng.randrange(2) == 0,
            "force_unit": rng.choice(list(FORCE_UNITS)),
            "displacement_unit": rng.choice(list(DISPLACEMENT_UNITS)),
            "negate": [q for q in ("force", "displacement") if rng.randrange(2)],
            "by_name": rng.randrange(2) == 0}
    order = ["Time", "Force", "Displacement", "Extra"][: rng.randrange(3, 5)]
    rng.shuffle(order)
    case["columns"] = order
    count = rng.randrange(1, 250)
    peak = rng.uniform(5, 2000)
    rise = rng.randrange(1, count + 1)
    force_sign = -1 if "force" in case["negate"] else 1
    displacement_sign = -1 if "displacement" in case["negate"] else 1
    rows = []
    for i in range(count):
        share = i / rise if i <= rise else 1 - 0.6 * (i - rise) / max(1, count - rise)
        force = peak * share + rng.gauss(0, peak * 0.01)
        displacement = 3 * i / count + rng.gauss(0, 0.002)
        fields = {
            "Time": "%.2f" % (i / 100),
            "Force": value_text(rng, force_sign * force / 10 ** FORCE_UNITS[case["force_unit"]]),
            "Displacement": value_text(rng, displacement_sign * displacement /
                                       10 ** DISPLACEMENT_UNITS[case["displacement_unit"]]),
            "Extra": rng.choice(["0", "1", "-7.5"]),
        }
        rows.append([fields[name] for name in order])
    header = ["Machine%sframe %d" % (case["separator"], rng.randrange(100))
              for _ in range(rng.randrange(0, 6))]
    if header or case["by_name"]:
        header.append(case["separator"].join(order))
        if rng.randrange(2):
            header.append(case["separator"].join("unit" for _ in order))
    case["header"] = header
    case["rows"] = rows
    if rng.randrange(2):
        low = Fraction(rng.randrange(0, 600), 10)
        high = Fraction(rng.randrange(int(low * 10), 1001), 10)
        case["window"] = (low, high)
    return case


def export_text(case, decimal_comma=False, spoilt=None):
    """The export's bytes; `spoilt` (record index, text) replaces a record."""
    lines = list(case["header"])
    for index, row in enumerate(case["rows"]):
        fields = [f.replace(".", ",") for f in row] if decimal_comma else row
        line = case["separator"].join(fields)
        if spoilt and spoilt[0] == index:
            line = spoilt[1]
        lines.append(line)
    end = "\r\n" if case["crlf"] else "\n"
    return "".join(line + end for line in lines).encode()


def options(case, decimal_comma=False):
    order = case["columns"]
    column = (lambda name: name) if case["by_name"] else (lambda name: str(order.index(name) + 1))
    arguments = ["--force", column("Force"), "--displacement", column("Displacement"),
                 "--force-unit", case["force_unit"], "--displacement-unit", case["displacement_unit"]]
    if case["negate"]:
        arguments += ["--negate", ",".join(case["negate"])]
    if decimal_comma:
        arguments.append("--decimal-comma")
    if "window" in case:
        low, high = case["window"]
        arguments += ["--window", "%s:%s" % (float(low), float(high))]
    return arguments


def expected_records(case):
    """(force, displacement) in N and mm as rationals, of the records kept."""
    order = case["columns"]
    values = []
    for row in case["rows"]:
        force = Fraction(row[order.index("Force")]) * Fraction(10) ** FORCE_UNITS[case["force_unit"]]
        displacement = (Fraction(row[order.index("Displacement")]) *
                        Fraction(10) ** DISPLACEMENT_UNITS[case["displacement_unit"]])
        values.append((-force if "force" in case["negate"] else force,
                       -displacement if "displacement" in case["negate"] else displacement))
    if "window" not in case:
        return values
    maximum = max(force for force, _ in values)
    first = next(i for i, (force, _) in enumerate(values) if force == maximum)
    if maximum <= 0:
        return None
    low, high = case["window"]
    return [v for v in values[: first + 1] if low * maximum <= 100 * v[0] <= high * maximum]


def check_case(prepare, emodul, case, directory, rng):
    """Problems found with one export, as lines of text."""
    problems = []
    export = os.path.join(directory, "export.dat")
    output = os.path.join(directory, "p.txt")
    with open(export, "wb") as file:
        file.write(export_text(case))
    run = subprocess.run([prepare, *options(case), "-o", output, export], capture_output=True)
    expected = expected_records(case)
    if expected is None or expected == []:
        if run.returncode != 1 or os.path.exists(output):
            problems.append("a window without records: status %d" % run.returncode)
        return problems
    if run.returncode != 0:
        return ["status %d: %r" % (run.returncode, run.stderr[-300:])]
    with open(output, "rb") as file:
        written = file.read()
    lines = written.decode().split("\n")
    if lines[-1] != "" or len(lines) - 1 != len(expected):
        return ["%d lines written, %d records expected" % (len(lines) - 1, len(expected))]
    for number, (line, (force, displacement)) in enumerate(zip(lines, expected), 1):
        fields = line.split(" ")
        if (len(fields) != 3 or fields[0] != str(number) or not all(map(plain, fields[1:])) or
                Fraction(fields[1]) != force or Fraction(fields[2]) != displacement):
            problems.append("record %d: %r, expected %s %s" % (number, line, force, displacement))
            break

    # emodul on the written file prints the modulus of exactly these records.
    kraft = [b.round_rational(force, ties="away") for force, _ in expected]
    weg = [b.round_rational(displacement, ties="away") for _, displacement in expected]
    geometry = [b.round_rational(Fraction(x), ties="away") for x in GEOMETRY]
    _, modulus, _ = modulus_model.evaluate(*geometry, kraft, weg)
    result = subprocess.run([emodul], input=("p.txt\n" + "\n".join(GEOMETRY) + "\n").encode(),
                            capture_output=True, cwd=directory)
    if not result.stdout.decode().endswith("E-unendlich = %s MPa\n" % general_field(modulus)):
        problems.append("emodul: %r, expected %s" % (result.stdout[-40:], general_field(modulus)))

    if "," not in case["separator"]:
        with open(export, "wb") as file:
            file.write(export_text(case, decimal_comma=True))
        twin = subprocess.run([prepare, *options(case, decimal_comma=True), export], capture_output=True)
        if twin.returncode != 0 or twin.stdout != written:
            problems.append("the decimal-comma twin differs: status %d" % twin.returncode)

    # A record after the first spoilt, within the data or as its last line:
    # refused, its line named, nothing written. (A spoilt first record would be
    # one more header line, and a line of blanks is passed over.)
    os.remove(output)
    spoilt = rng.choice(["end of test", case["separator"].join([""] * len(case["columns"])),
                         case["separator"].join("x" for _ in case["columns"])])
    if len(case["rows"]) < 2 or spoilt.strip(" \t") == "":
        return problems
    index = rng.randrange(1, len(case["rows"]))
    with open(export, "wb") as file:
        file.write(export_text(case, spoilt=(index, spoilt)))
    refused = subprocess.run([prepare, *options(case), "-o", output, export], capture_output=True)
    line = len(case["header"]) + index + 1
    if refused.returncode != 1 or os.path.exists(output) or (":%d: " % line).encode() not in refused.stderr:
        problems.append("record %d spoilt as %r: status %d, %r" % (index + 1, spoilt, refused.returncode,
                                                                   refused.stderr[-200:]))
    return problems


def plain(field):
    """Digits with a point only before further digits, no exponent, no signed zero."""
    return PLAIN.match(field) is not None and not (field.startswith("-") and Fraction(field) == 0)


def main():
    prepare, count, rng = arguments(60)
    emodul = os.path.join(os.path.dirname(os.path.abspath(prepare)), "emodul")
    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        for number in range(count):
            case = make_case(rng)
            for problem in check_case(prepare, emodul, case, directory, rng):
                failures += 1
                if failures <= 20:
                    print("export %d (%s): %s" % (number + 1, options(case), problem))
    print("%d problems in %d random exports" % (failures, count))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/ from the inputs of the
existing tests, in each fuzz target's input encoding. Run it again after the tests
gain cases worth seeding; the files are committed."""

import codecs
import pathlib
import re
import shutil

ROOT = pathlib.Path(__file__).resolve().parent.parent
CORPUS = ROOT / "fuzz" / "corpus"

STRING = r'"((?:[^"\\]|\\.)*)"'


def unescape(literal):
    return codecs.decode(literal, "unicode_escape").encode("latin-1")


def write(target, seeds):
    folder = CORPUS / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    unique = list(dict.fromkeys(seeds))
    for number, seed in enumerate(unique):
        (folder / f"seed-{number:03d}").write_bytes(seed)
    print(f"{target}: {len(unique)} seeds")


def pattern_bytes(hex_digits):
    """A 32-digit bit pattern (bit 127 first) as 16 bytes, least significant first."""
    return bytes.fromhex(hex_digits)[::-1]


def decimal_conversion_seeds():
    source = (ROOT / "tests/decimal/decimal_conversion_test.cpp").read_text()
    texts = [unescape(t) for t, _ in re.findall(r'\{' + STRING + r', "([0-9A-F]{32}|error 64)"\}', source)]
    seeds = [b"\x00" + t for t in texts[:40]]
    # Boundary texts: a pattern and layout bytes (see the target's comment).
    for hex_digits, layout in [
        ("3FFF0000000000000000000000000000", b"\x01\x00\x00\x00\x00\x00\x00\x00"),
        ("40700000000000000000000000000001", b"\x01\x01\x05\x00\x00\x01\x01\x00"),
        ("3FFB999999999999999999999999999A", b"\x02\x02\x03\x90\x00\x00\x02\x08"),
        ("7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF", b"\xf1\x00\x00\x40\x00\x00\x01\x00"),
        ("00000000000000000000000000000001", b"\xf1\x02\x10\x40\x00\x00\x03\x00"),
        ("400F869F800000000000000000000000", b"\x03\x00\x00\x85\x01\x02\x00\x16"),
    ]:
        seeds.append(b"\x01" + pattern_bytes(hex_digits) + layout)
    return seeds


def general_field_seeds():
    seeds = []
    for name in ["general_field_test.cpp", "decimal_digits_test.cpp", "general_field_fast_test.cpp"]:
        source = (ROOT / "tests/decimal" / name).read_text()
        for hex_digits in re.findall(r'"([0-9A-F]{32})"', source):
            seeds.append(pattern_bytes(hex_digits) + b"\x0b\x0c\x05\x00")
    return seeds[:48]


def read_request_seeds():
    source = (ROOT / "tests/e2e/free_form_read_test.cpp").read_text()
    seeds = []
    for text, items in re.findall(r'\{"\w+", ' + STRING + r', (\d)', source):
        schedule = bytes([0, (int(items) - 1) | 4])  # one schedule byte: N items, end exit
        seeds.append(schedule + unescape(text))
        seeds.append(bytes([1, int(items) - 1, (int(items) - 1) | 4]) + unescape(text))
    return seeds[:60]


def whole_run_seeds():
    series = b"1 2 1\n2 4 2\n3 6 3\n"
    answers = b"100\n100\n10\n"
    cases = [
        (0, answers, series),
        (0, answers, b"1 0.2 0.1\n2 0.4 0.2\n3 0.6 0.3\n4 0.8 0.4\n"),
        (0, answers, b"1 2 1\n"),
        (0, answers, b""),
        (3, answers, b""),
        (0, b"0\n100\n10\n", series),
        (0, b"100\n100\n0\n", series),
        (8, answers, b"1 2 1\r\n2 4 2\r\n3 6 3\r\n"),
        (0, answers, b"1 2 1\n2 4 2\n3 6 3"),
        (0, answers, b"1 2 1\n\n2 4 2\n3 6 3\n"),
        (0, answers, b"1 2 1 99 98\n2 4 2 99\n3 6 3 x\n"),
        (0, answers, b"1,5 2,3 0,01\n"),
        (0, answers, b"/\n1 2 1\n"),
        (0, answers, b",\n1 2 1\n2 4 2\n"),
        (0, answers, b"1 2\n2 4 2\n3 6 3\n"),
        (0, answers, b"Zeit Kraft Weg\n1 2 1\n"),
        (0, answers, b"Time Force Disp\n1 2 1\n"),
        (0, answers, b"Index Kraft Weg\n1 2 1\n"),
        (0, b"100 200\n100\n10\n", series),
        (0, b"\n  \n100\n100\n10\n", series),
        (0, b",\n100\n10\n", series),
        (6, answers, series),
        (0, b"100\n", series),
        (0, b"zehn\n", series),
        (4, answers, series),
        (7, answers, series),
        (5, answers, b"1 2 1\n"),
        (8, answers, b"3*2.5\n2*,7\n(1.5, 2) 3 4\n"),
    ]
    return [bytes([choice, len(console)]) + console + measurements
            for choice, console, measurements in cases]


def arithmetic_seeds():
    """The operand pairs of the arithmetic checks, each plain and with a few shapes."""
    source = (ROOT / "tools/reference/check_arithmetic.py").read_text()
    pairs = re.findall(r'"(?:add|mul|div) ([0-9A-F]{32}) ([0-9A-F]{32})"', source)
    seeds = []
    for x, y in pairs:
        operands = pattern_bytes(x) + pattern_bytes(y)
        seeds += [operands, operands + b"\x00", operands + b"\x01", operands + b"\x71",
                  operands + b"\xa0", operands + b"\xe0"]
    return seeds


def main():
    write("decimal_conversion", decimal_conversion_seeds())
    write("general_field", general_field_seeds())
    write("read_request", read_request_seeds())
    write("whole_run", whole_run_seeds())
    write("arithmetic", arithmetic_seeds())


if __name__ == "__main__":
    main()

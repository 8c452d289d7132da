#!/usr/bin/env python3
"""Checks the program's free-form reader against free_form_model.py.

A generator that knows the grammar writes random inputs: records of values of
every form (numbers in all their spellings, Inf/NaN words, logical constants,
repeat forms, pairs, quoted strings, malformed values), glued by separators or by
nothing, with carriage returns, NUL and other odd bytes, blank and empty records.
Each input is run by `quadprobe read-cases` in a process of its own with read
requests of 1 to 4 items, with or without an end exit, and the printed items and
the exit status must be the ones the model predicts. Half the inputs are read as
the loader reads them: from unit 10 in small or large blocks, several rows a call,
some columns keeping nothing.

usage: check_read.py QUADPROBE [REQUESTS] [SEED]
  REQUESTS: how many read requests to make at least (default 20000); the seed is
  drawn afresh unless given, and printed, so that a failure can be repeated.
"""

import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import free_form_model as model  # noqa: E402

CASES_PER_RUN = 4000
MAX_SHOWN = 20


def digits(rng, most=8):
    """1 to `most` random digits, leading zeros included."""
    count = rng.randint(1, most)
    return "%0*d" % (count, rng.randrange(10**count))


def number(rng):
    """A numeric value in one of its many spellings, now and then malformed."""
    sign = rng.choice(["", "", "", "-", "+"])
    form = rng.randrange(12)
    if form < 3:
        mantissa = digits(rng)
    elif form < 6:
        mantissa = digits(rng, 5) + "." + digits(rng, 6)
    elif form == 6:
        mantissa = "." + digits(rng)
    elif form == 7:
        mantissa = digits(rng) + "."
    elif form == 8:
        mantissa = "0" * rng.randint(1, 3) + digits(rng, 3)
    elif form == 9:
        mantissa = rng.choice(["0", "0.0", "00", ".0", "1", "5", "2.5"])
    elif form == 10:
        mantissa = digits(rng, 40)
    else:
        mantissa = digits(rng, 3) + "." + digits(rng, 30)
    exponent = ""
    kind = rng.randrange(10)
    if kind == 0:
        exponent = rng.choice("EeDdQq") + rng.choice(["", "+", "-"]) + digits(rng, 3)
    elif kind == 1:
        exponent = rng.choice(["+", "-"]) + digits(rng, 2)
    elif kind == 2:
        exponent = rng.choice("EeDdQq")
    elif kind == 3:
        exponent = rng.choice(["E4932", "E4933", "E-4966", "E-5000", "E0003", "e99999", "-4950"])
    return sign + mantissa + exponent


MALFORMED = [
    "--5", "1..5", "1.5.", "1E5E2", "5+-3", "+", "-", ".", "E5", "e", "*5", "*", "5x", "5;",
    "1E+", "1.5-", "1E5+3", "1.5+3+1", "+.-5", ".+5", "5-E3", "5-3E2", "Zeit", "Kraft",
    "x", "5(", "5'", '5"', "-.", "+E5", ".E5", "5..", "1+2+3", "1E", "2d-", "3q+4",
]
WORDS = [
    "Inf", "inf", "INF", "-Inf", "+INFINITY", "Infinity", "nan", "NaN", "-nan", "+NaN",
    "Infin", "Na", "N", "I", "Infx", "Info", "NaNa", "Index", "Nr.", "nan*3", "Inf\r",
    "i", "-n", "+-Inf", "5Inf", ".Inf", "-I\x00",
]
LOGICALS = [
    "T", "F", "t", "f", ".t.", ".F.", ".T", ".f", "True", "False", "Time", "Force", "T\x00",
    "F*3", "T(", "Tx;", "f'", "t\x80", "T)",
]
ODD = ["\x00", "\x0b", "\x0c", "\x80", "\xff", ";", "\r", "\x01", "#", "=", "&"]


def repeat(rng):
    count = rng.choice(["1", "2", "3", "5", "2", "3", "0", "-2", "+2", "2.5", "1E2", ".",
                        "2147483647", "2147483648", "007", "-0", "+", "1e", "99999999999"])
    after = rng.randrange(9)
    if after == 0:
        rest = ""
    elif after == 1:
        rest = rng.choice([" ", "\t", ","])
    elif after == 2:
        rest = "/"
    elif after == 3:
        rest = pair(rng)
    elif after == 4:
        rest = rng.choice(LOGICALS + WORDS + ["'s'", "3*4", ")", "("])
    else:
        rest = number(rng)
    return count + "*" + rest


def pair(rng):
    """A parenthesised pair, now and then malformed."""
    def gap():
        return rng.choice(["", "", " ", "  ", "\t", "\n", " \n ", "\r\n"])

    first = rng.choice([number(rng), number(rng), rng.choice(LOGICALS), "'q'", "Inf", "Infx"])
    second_sign = rng.choice(["", "", "-", "+", "- ", "+\n", "-\t"])
    second = rng.choice([
        digits(rng), digits(rng, 3) + "." + digits(rng, 3), digits(rng) + ".",
        digits(rng, 2) + rng.choice("EeDdQq") + digits(rng, 2), "2E", "2E+1", "2e-1", ".5",
        "INF", "inf", "Infinity", "NaN", "Na", "N", "INFX", "1.5.", "", "x", "2x",
        digits(rng, 2) + "D", "3 4", "1E2E3",
    ])
    close = rng.choice([")", ")", ")", "", "))", ",)"])
    comma = rng.choice([",", ",", ",", "", ",,", ";"])
    return ("(" + gap() + first + gap() + comma + gap() + second_sign + second + gap() + close)


def quoted(rng):
    mark = rng.choice("'\"")
    body = rng.choice(["", "abc", "x y", "1", "a" + mark * 2 + "b", "a\nb", ",", "/",
                       "\x00", "a\r", mark * 2])
    if rng.randrange(300) == 0:
        body = "x" * rng.choice([2048, 2049, 2050])
    end = mark if rng.randrange(12) else ""
    return mark + body + end


def value(rng, wild):
    """A value of any form; `wild` is the share of the forms other than plain
    numbers, many of which end a request with an error."""
    if rng.random() >= wild:
        return number(rng)
    k = rng.randrange(100)
    if k < 45:
        return number(rng)
    if k < 52:
        return rng.choice(MALFORMED)
    if k < 58:
        return rng.choice(WORDS)
    if k < 66:
        return rng.choice(LOGICALS)
    if k < 76:
        return repeat(rng)
    if k < 84:
        return pair(rng)
    if k < 88:
        return quoted(rng)
    if k < 92:
        return rng.choice(ODD) + rng.choice(["", number(rng)])
    if k < 96:
        return rng.choice([",", ",,", "/", ")", "(", ", ,"])
    return number(rng) + rng.choice(ODD)


SEPARATORS = [" ", " ", " ", "  ", "\t", ",", ", ", " , ", ",,", ", ,", "", "/", " / ", "\r",
              " \r ", "\x00", ",\t"]
RECORD_ENDS = ["\n"] * 8 + ["\r\n", "\r\n", "\r\r\n", ",\n", " \n", "\n\n", "\n \n"]


def record(rng, wild):
    if rng.randrange(12) == 0:
        return rng.choice(["", " ", "\t", ",", "/", " , ", "\r"])
    plain = rng.random() >= wild  # records as measurement files hold them
    # Half of those as most files hold them: no exponents, the loader's fast path.
    measured = plain and rng.randrange(2)
    parts = []
    for i in range(rng.randint(1, 5)):
        if i:
            parts.append(rng.choice([" ", "  ", "\t", ","]) if plain else rng.choice(SEPARATORS))
        if measured:
            parts.append(rng.choice(["", "", "-", "+"]) + rng.choice(
                [digits(rng), digits(rng, 5) + "." + digits(rng, 7), "." + digits(rng, 4)]))
        else:
            parts.append(number(rng) if plain else value(rng, wild))
    if rng.randrange(4 if not plain else 8) == 0:
        parts.insert(0, rng.choice([" ", "\t", ",", "  ", ", ", " ,"]))
    return "".join(parts)


def row_shape(rng, items):
    """How the loader would read: rows a call ("p": plain rows first, as far as
    they go), one character a column ("k" keeps its values, "-" nothing), and
    the bytes one read of unit 10 asks for."""
    rows = "%d%s" % (rng.choice([1, 2, 3, 5, 64]), rng.choice(["", "p"]))
    if rng.randrange(3) == 0:
        kept = "-" + "k" * (items - 1)  # the loader's: the running number is not kept
    else:
        kept = "".join(rng.choice("k-") for _ in range(items))
    return rows, kept, rng.choice([16, 64, 4096, 65536])


def case(rng):
    """(items per request, end exit, input bytes, row shape or None)."""
    items = rng.choice([1, 1, 2, 3, 3, 3, 4])
    end_exit = rng.randrange(5) != 0
    # Rows as the loader reads them mostly meet records as measurement files hold them.
    shape = row_shape(rng, items) if rng.randrange(2) else None
    wild = rng.choice([0.0, 0.03, 0.03, 0.1, 0.3, 1.0] if shape else [0.03, 0.1, 0.3, 1.0])
    text = ""
    for _ in range(rng.randint(1, 16)):
        text += record(rng, wild) + rng.choice(RECORD_ENDS)
    if rng.randrange(4) == 0:
        text = text.rstrip("\n")
    return items, end_exit, text.encode("latin-1"), shape


def header(items, end_exit, data, shape):
    line = "%d %s %d" % (items, "e" if end_exit else "n", len(data))
    if shape:
        line += " %s %s %d" % shape
    return line.encode() + b"\n"


def as_read(lines, status, shape):
    """The model's (lines, status) as the case's reading prints them: a column that
    keeps nothing shows ".", and a call that ends the process takes the rows it
    completed with it, so up to rows - 1 lines may be missing at the end."""
    if not shape:
        return lambda got: got == (lines, status)
    kept = shape[1]
    lines = [" ".join(item if k == "k" else "." for item, k in zip(line.split(" "), kept))
             for line in lines]
    unseen = int(shape[0].rstrip("p")) - 1 if status else 0
    return lambda got: (got[1] == status and got[0] == lines[: len(got[0])]
                        and len(got[0]) + unseen >= len(lines))


def run_cases(quadprobe, cases):
    frames = b"".join(header(*c) + c[2] for c in cases)
    env = dict(os.environ, EVIO_DISABLE_STACK_TRACE="true", EVIO_DISABLE_DIAGNOSTIC_DISPLAY="true")
    run = subprocess.run([quadprobe, "read-cases"], input=frames, capture_output=True, env=env)
    if run.returncode != 0:
        sys.exit("quadprobe read-cases failed with status %d: %s" % (run.returncode, run.stderr))
    out = run.stdout
    results = []
    at = 0
    while at < len(out):
        line_end = out.index(b"\n", at)
        status, length = map(int, out[at:line_end].split())
        at = line_end + 1
        results.append((out[at : at + length].decode("latin-1").split("\n")[:-1], status))
        at += length
    assert len(results) == len(cases), "quadprobe answered %d of %d cases" % (len(results), len(cases))
    return results


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    quadprobe = sys.argv[1]
    wanted = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else int.from_bytes(os.urandom(4), "little")
    print("seed %d" % seed, flush=True)
    rng = random.Random(seed)
    requests = 0
    completed = 0
    checked = 0
    failures = 0
    statuses = {}
    started = time.time()
    while requests < wanted:
        # An input makes four or five requests on average: a batch of cases
        # that quadprobe would run for nothing costs as much as one that counts.
        batch = min(CASES_PER_RUN, max(20, (wanted - requests) // 5))
        cases = [case(rng) for _ in range(batch)]
        for (items, end_exit, data, shape), got in zip(cases, run_cases(quadprobe, cases)):
            lines, status, made = model.run(data, lambda k: (items, end_exit))
            requests += made
            completed += len(lines)
            checked += 1
            statuses[status] = statuses.get(status, 0) + 1
            if not as_read(lines, status, shape)(got):
                failures += 1
                if failures <= MAX_SHOWN:
                    print("read %d, %s end exit%s: %r\n  model:  %s %r\n  reader: %s %r" % (
                        items, "with" if end_exit else "without",
                        ", rows %s columns %s blocks of %d" % shape if shape else "", data,
                        status, lines, got[1], got[0]))
            if requests >= wanted:
                break
    print("%d requests in %d inputs (%d completed; endings %s) in %.0f s: %d inputs disagree"
          % (requests, checked, completed, dict(sorted(statuses.items())), time.time() - started,
             failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""What every exact-reference check shares: its command line and one run of
`quadprobe` whose output lines are compared with the expected ones."""

import os
import random
import subprocess
import sys

MAX_SHOWN_DIFFERENCES = 20
SEED_VARIABLE = "EMODUL_REFERENCE_SEED"


def arguments(default_count):
    """QUADPROBE [RANDOM_CASES] [SEED] -> (quadprobe, count, random generator).

    Without a seed on the command line or in EMODUL_REFERENCE_SEED every run draws
    a fresh one, so that repeated runs cover new cases; it is printed first, and
    passing it back repeats the run case for case."""
    quadprobe = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else default_count
    if len(sys.argv) > 3:
        seed = int(sys.argv[3])
    elif os.environ.get(SEED_VARIABLE):
        seed = int(os.environ[SEED_VARIABLE])
    else:
        seed = random.SystemRandom().randrange(2**32)
    sys.stdout.write("seed %d (repeat: %s %s %d %d, or %s=%d for every check)\n"
                     % (seed, sys.argv[0], quadprobe, count, seed, SEED_VARIABLE, seed))
    return quadprobe, count, random.Random(seed)


def compare(quadprobe, mode, checks, what, shown=lambda line: line):
    """Feeds the input line of each (input line, expected output line) check to
    `quadprobe mode` in one run and compares its output line by line. Returns
    the exit status for the check: 0 when every line matches."""
    text = "".join(line + "\n" for line, _ in checks)
    run = subprocess.run([quadprobe, mode], input=text.encode("latin-1"), capture_output=True)
    if run.returncode != 0:
        print("quadprobe failed with status %d: %s" % (run.returncode, run.stderr.decode()))
        return 1
    results = run.stdout.decode("latin-1").split("\n")
    if len(results) != len(checks) + 1:
        print("expected %d result lines, got %d" % (len(checks), len(results) - 1))
        return 1
    failures = 0
    for (line, expected), got in zip(checks, results):
        if got != expected:
            failures += 1
            if failures <= MAX_SHOWN_DIFFERENCES:
                print("%s -> %s, expected %s" % (shown(line), got, expected))
    print("%d of %d %s differ from the exact reference" % (failures, len(checks), what))
    return 1 if failures else 0

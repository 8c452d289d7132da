#!/usr/bin/env python3
"""Checks that the program's folders include one another in one direction only.

Every `#include "folder/..."` in a program folder must name the folder itself or one
that LAYERS lists below it; LAYERS itself must be free of cycles. Prints each
offending line and exits 1.

usage: check_layers.py SOURCE_ROOT
"""

import pathlib
import re
import sys

# Each program folder and the folders it may include from.
LAYERS = {
    "numeric": set(),
    "decimal": {"numeric"},
    "failure": {"numeric"},
    "units": {"failure"},
    "reader": {"units", "decimal", "failure", "numeric"},
    "edited": {"units", "decimal", "failure", "numeric"},
    "evaluation": {"reader", "edited", "units", "failure", "decimal", "numeric"},
    "prepare": {"failure"},
    "points": {"evaluation", "units", "failure", "decimal", "numeric"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/')


def acyclic(layers):
    done, under_way = set(), set()

    def visit(folder):
        if folder in done:
            return True
        if folder in under_way:
            return False
        under_way.add(folder)
        ok = all(visit(below) for below in layers[folder])
        under_way.discard(folder)
        done.add(folder)
        return ok

    return all(visit(folder) for folder in layers)


def main():
    root = pathlib.Path(sys.argv[1])
    faults = [] if acyclic(LAYERS) else ["LAYERS has a cycle"]
    for folder, allowed in LAYERS.items():
        for path in sorted((root / folder).glob("*.[ch]pp")):
            for number, line in enumerate(path.read_text().splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) not in allowed | {folder}:
                    faults.append(f"{path.relative_to(root)}:{number}: {line.strip()}")
    print("\n".join(faults))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

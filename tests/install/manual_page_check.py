"""Holds the manual page emodul(1) against the program: every condition number
of the message catalog has its entry under EXIT STATUS, every environment
variable the program reads has its entry under ENVIRONMENT, and the page names
nothing the program does not know. Holds emodul-plot(1) against the plot
command: the options its getopts takes, with or without an argument, are those
of the page's SYNOPSIS and OPTIONS and of its own usage text, and every status
it exits with is named under EXIT STATUS. emodul-prepare(1) lists under OPTIONS
exactly the options that the command's parser and usage text know. groff, where
installed, finds nothing to warn about.

usage: manual_page_check.py SOURCE_DIR
"""

import pathlib
import re
import shutil
import subprocess
import sys

NOT_PROGRAM = {"tests", "bench", "fuzz", "tools", "examples", "docs", "man", "packaging"}


def program_sources(root):
    for path in sorted(root.rglob("*.[ch]pp")):
        top = path.relative_to(root).parts[0]
        if top not in NOT_PROGRAM and not top.startswith(("build", ".")):
            yield path


def catalog_numbers(root):
    catalogs = [p for p in program_sources(root) if p.name == "message_catalog.cpp"]
    if len(catalogs) != 1:
        sys.exit(f"expected one message_catalog.cpp among the program's sources, found {catalogs}")
    entries = re.findall(r"\{\s*(\d+)\s*,\s*(?:plain|info|warning|error|severe)\s*,",
                         catalogs[0].read_text())
    return {int(number) for number in entries}


def environment_names(root):
    pattern = re.compile(r'\b(?:getenv|control_is_true|control_is_set)\s*\(\s*"(\w+)"\s*\)')
    names = set()
    for path in program_sources(root):
        names.update(pattern.findall(path.read_text()))
    return names


def section(page, title):
    match = re.search(r'^\.SH "?' + re.escape(title) + r'"?\n(.*?)(?=^\.SH |\Z)', page,
                      re.MULTILINE | re.DOTALL)
    if not match:
        sys.exit(f"the manual page has no section {title}")
    return match.group(1)


def tags(text):
    """The words of the lines that follow .TP: what a list entry is about."""
    lines = text.splitlines()
    words = set()
    for previous, line in zip(lines, lines[1:]):
        if previous.startswith(".TP"):
            words.update(re.findall(r"[\w]+", re.sub(r"^\.\w+\s*", "", line)))
    return words


def prepare_option_problems(root):
    """emodul-prepare's options: in its parser, its usage text and its page."""
    source = (root / "prepare" / "prepare_options.cpp").read_text()
    usage = source[source.index("kUsage ="):source.index("namespace {")]
    parsed = set(re.findall(r'"(--?[a-z][a-z-]*)"', source[source.index("namespace {"):]))
    described = set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", usage))
    page = section((root / "man" / "emodul-prepare.1").read_text(), "OPTIONS")
    documented = set()
    for previous, line in zip(page.splitlines(), page.splitlines()[1:]):
        if previous.startswith(".TP"):
            documented.update(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", line.replace("\\-", "-")))
    problems = []
    for where, names in (("its usage text", described), ("emodul-prepare(1) under OPTIONS", documented)):
        for name in sorted(parsed - names):
            problems.append(f"emodul-prepare takes {name}, which {where} does not name")
        for name in sorted(names - parsed):
            problems.append(f"{where} names {name}, which emodul-prepare does not take")
    return problems


def plain(text):
    """Manual page source as text: macro names dropped, lines joined, \\- as -."""
    lines = (re.sub(r"^\.\w+\s*", "", line) for line in text.splitlines())
    return " ".join(lines).replace("\\-", "-")


def plot_command_problems(root):
    script = (root / "scripts" / "emodul-plot").read_text()
    page = (root / "man" / "emodul-plot.1").read_text()
    getopts = re.search(r"getopts '([^']+)'", script).group(1)
    taken = {letter: getopts[i + 1:i + 2] == ":" for i, letter in enumerate(getopts)
             if letter != ":"}
    options = section(page, "OPTIONS").splitlines()
    listed = {}
    for previous, line in zip(options, options[1:]):
        if previous.startswith(".TP"):
            letter, rest = re.match(r"-(\w)(.*)", plain(line)).groups()
            listed[letter] = bool(re.search(r"\w", rest))
    synopsis = plain(section(page, "SYNOPSIS"))
    usage = re.search(r"^usage: \$program (.*)$", script, re.MULTILINE).group(1)
    problems = []
    if len(taken) < 4:
        problems.append(f"found only the options {sorted(taken)} in the plot command")
    if listed != taken:
        problems.append(f"OPTIONS of emodul-plot(1) list {listed}, the command takes {taken}")
    for letter, argument in taken.items():
        if letter == "h":
            continue
        if not re.search(r"\[ -%s%s \]" % (letter, " [\\w-]+" if argument else ""), synopsis):
            problems.append(f"SYNOPSIS of emodul-plot(1) does not show -{letter}")
        if not re.search(r"\[-%s%s\]" % (letter, " [A-Z_]+" if argument else ""), usage):
            problems.append(f"the usage text of emodul-plot does not show -{letter}")
    statuses = {int(n) for n in re.findall(r"^\s*(?:.*\bexit|fail .*\") (\d+)\)?\s*;?.*$",
                                           script, re.MULTILINE)}
    exit_text = plain(section(page, "EXIT STATUS"))
    for status in sorted(statuses | {0}):
        if not re.search(r"\b%d\b" % status, exit_text):
            problems.append(f"emodul-plot exits with {status}, which its EXIT STATUS does not name")
    return problems


def main():
    root = pathlib.Path(sys.argv[1])
    page_path = root / "man" / "emodul.1"
    page = page_path.read_text()
    numbers = catalog_numbers(root)
    names = environment_names(root)
    # A parse that finds (nearly) nothing has lost track of the code.
    if len(numbers) < 20 or len(names) < 10:
        sys.exit(f"found only {len(numbers)} conditions and {len(names)} variables in the code")

    documented_numbers = {int(w) for w in tags(section(page, "EXIT STATUS")) if w.isdigit()}
    documented_numbers.discard(0)
    documented_names = {w for w in tags(section(page, "ENVIRONMENT")) if w.upper() != w.lower()}

    problems = []
    for number in sorted(numbers - documented_numbers):
        problems.append(f"condition {number} has no entry under EXIT STATUS")
    for number in sorted(documented_numbers - numbers):
        problems.append(f"EXIT STATUS names condition {number}, which the catalog does not hold")
    for name in sorted(names - documented_names):
        problems.append(f"{name} has no entry under ENVIRONMENT")
    for name in sorted(documented_names - names):
        problems.append(f"ENVIRONMENT names {name}, which the program does not read")

    problems += prepare_option_problems(root)
    problems += plot_command_problems(root)

    if shutil.which("groff"):
        for manual in sorted((root / "man").glob("*.1")):
            result = subprocess.run(["groff", "-man", "-ww", "-z", str(manual)],
                                    capture_output=True, text=True)
            if result.stdout or result.stderr or result.returncode:
                problems.append(f"groff on {manual.name}: {result.stderr or result.stdout}")

    for problem in problems:
        print(problem)
    print(f"{len(numbers)} conditions, {len(names)} variables checked; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/bin/sh
# Installs the build into a temporary prefix and runs what was installed, from a
# folder of its own: the program on the example, the batch script on the example
# list, and the plot command with and without what it needs.
# usage: installed_program_test.sh CMAKE BUILD_DIR
set -eu
cmake=$1
build=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/emodul-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

fail() {
    echo "FAILED: $1" >&2
    failures=$((failures + 1))
}

# Compares a file with the text given, byte for byte.
expect_file() {
    printf '%s' "$2" >"$work/expected"
    cmp -s "$work/expected" "$1" || {
        fail "$3"
        diff "$work/expected" "$1" >&2 || true
    }
}

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; echo "FAILED: install" >&2; exit 1; }

doc=$prefix/share/doc/emodul
for file in bin/emodul bin/emodul-plot bin/emodul-prepare libexec/emodul/emodul-points \
            share/man/man1/emodul.1.gz share/man/man1/emodul-plot.1.gz \
            share/man/man1/emodul-prepare.1.gz share/doc/emodul/copyright \
            share/doc/emodul/examples/probe.txt share/doc/emodul/examples/knee.txt \
            share/doc/emodul/examples/evaluate-all.sh share/doc/emodul/examples/bending-export.dat \
            share/doc/emodul/docs/knee-fit.png; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/emodul-plot" ] || fail "emodul-plot is not executable"
for file in quadprobe diagnostic_driver unit_tests end_to_end_tests emodul-points; do
    [ ! -e "$prefix/bin/$file" ] || fail "installed, but not a command: bin/$file"
done
grep -q '^License: MIT$' "$prefix/share/doc/emodul/copyright" ||
    fail "the copyright file does not name the MIT licence"

# The program from another folder on the installed example.
mkdir "$work/run"
cd "$work/run"
cp "$doc/examples/probe.txt" .
status=0
printf 'probe.txt\n100\n100\n10\n' | "$prefix/bin/emodul" >stdout 2>stderr || status=$?
[ "$status" -eq 0 ] || fail "emodul ended with status $status"
expect_file stdout '
Messwertedatei = Abstand a = Abstand b = Durchmesser d0  = 
E-unendlich =  0.20600E+06 MPa
' "emodul on probe.txt: standard output"
expect_file stderr '' "emodul on probe.txt: standard error"
[ "$(wc -l <plot.dat)" -eq 152 ] || fail "plot.dat does not hold 152 rows"

# The export of the example through emodul-prepare (columns by name, kN,
# negated, a window) into emodul, in a folder of its own so that the plot.dat of
# probe.txt stays; a refused export writes nothing.
mkdir "$work/export"
cd "$work/export"
status=0
"$prefix/bin/emodul-prepare" --force 'Ch 1 Force' --force-unit kN --displacement 'Ch 3 Displacement' \
    --negate force,displacement --window 10:40 -o bar3.txt "$doc/examples/bending-export.dat" \
    2>stderr || status=$?
[ "$status" -eq 0 ] || fail "emodul-prepare ended with status $status: $(cat stderr)"
grep -q 'window 10:40 % of the maximum, force from 7.6502 to 30.6008 N: 1336 records of the 6217' stderr ||
    fail "emodul-prepare: the summary: $(cat stderr)"
printf 'bar3.txt\n40\n40\n6\n' | "$prefix/bin/emodul" >stdout 2>stderr || fail "emodul on bar3.txt"
[ "$(tail -n 1 stdout)" = 'E-unendlich =   2775.5     MPa' ] || fail "emodul on bar3.txt: $(tail -n 1 stdout)"
status=0
printf 'Zeit Kraft Weg\n1 2 3\n2 x 3\n' | "$prefix/bin/emodul-prepare" --force 2 --displacement 3 \
    -o refused.txt - 2>stderr || status=$?
[ "$status" -eq 1 ] && [ ! -e refused.txt ] &&
    grep -q '^emodul-prepare: standard input:3: column 2 (force) holds no number' stderr ||
    fail "emodul-prepare on a refused export: status $status, $(cat stderr)"
cd "$work/run"

# The batch script: one input stream for three runs, one CSV.
mkdir "$work/batch"
cp "$doc/examples/"* "$work/batch/"
status=0
EMODUL="$prefix/bin/emodul" sh "$work/batch/evaluate-all.sh" "$work/batch/evaluations.list" \
    table.csv 2>stderr || status=$?
[ "$status" -eq 0 ] || { fail "evaluate-all.sh ended with status $status"; cat stderr >&2; }
expect_file table.csv 'file,a_mm,b_mm,d0_mm,E_MPa
probe.txt,100,100,10,0.20600E+06
probe.txt,80,120,10,0.18985E+06
linear.txt,100,100,10,679.41
' "evaluate-all.sh: the table"

# A failing run stops the batch with its status: its unread answers are
# still in the stream.
printf 'Zeit Kraft Weg\n' >"$work/batch/heading.txt"
printf 'linear.txt 100 100 10\nheading.txt 1 1 1\nprobe.txt 100 100 10\n' >"$work/batch/bad.list"
status=0
EMODUL="$prefix/bin/emodul" EVIO_DISABLE_STACK_TRACE=1 \
    sh "$work/batch/evaluate-all.sh" "$work/batch/bad.list" table.csv 2>stderr || status=$?
[ "$status" -eq 59 ] || fail "evaluate-all.sh after a failing run: status $status, not 59"
expect_file table.csv 'file,a_mm,b_mm,d0_mm,E_MPa
linear.txt,100,100,10,679.41
' "evaluate-all.sh after a failing run: the table"
grep -q 'line 2: emodul ended with status 59 on heading.txt' stderr ||
    fail "evaluate-all.sh does not name the failing line"

# The plot command. Without gnuplot it says what to install.
plot=$prefix/bin/emodul-plot
status=0
PATH=$work/nowhere "$plot" probe.txt 2>stderr || status=$?
[ "$status" -eq 3 ] && grep -q 'install the package gnuplot-nox' stderr ||
    fail "emodul-plot without gnuplot: status $status, $(cat stderr)"
status=0
"$plot" missing.txt 2>stderr || status=$?
[ "$status" -eq 1 ] && grep -q "cannot read the measurement file 'missing.txt'" stderr ||
    fail "emodul-plot on a missing file: status $status, $(cat stderr)"
status=0
"$plot" -p none.dat probe.txt 2>stderr || status=$?
[ "$status" -eq 1 ] && grep -q "cannot read 'none.dat'" stderr ||
    fail "emodul-plot without plot.dat: status $status, $(cat stderr)"
if command -v gnuplot >/dev/null 2>&1; then
    # The plot command finds its reader in the installed tree and takes the
    # plot.dat of a run on the same file.
    status=0
    "$plot" -o probe.png probe.txt >stdout 2>stderr || status=$?
    [ "$status" -eq 0 ] && [ -s probe.png ] || fail "emodul-plot probe.txt: status $status, $(cat stderr)"
    [ "$(head -c 8 probe.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "probe.png is no PNG picture"
    # The records as emodul reads them: tabs, commas, D and bare-sign
    # exponents, CR LF, a repeat count.
    printf '1\t5.0D0\t0.25\n2, 1.0+1 ,0.5\r\n\n3 15 0.75 extra\n4 2*20\n' >mixed.txt
    status=0
    "$plot" -o mixed.svg mixed.txt 2>stderr || status=$?
    [ "$status" -eq 4 ] && grep -q "'plot.dat' does not belong to 'mixed.txt'" stderr &&
        [ ! -e mixed.svg ] || fail "emodul-plot with the plot.dat of probe.txt: status $status"
    printf 'mixed.txt\n100\n100\n10\n' | "$prefix/bin/emodul" >/dev/null
    status=0
    "$plot" -o mixed.svg mixed.txt >stdout 2>stderr || status=$?
    [ "$status" -eq 0 ] || fail "emodul-plot mixed.txt: status $status, $(cat stderr)"
    # Four points drawn, and one in the legend.
    [ "$(grep -c "href='#gpPt6' transform" mixed.svg)" -eq 5 ] ||
        fail "mixed.svg does not show 4 points"
    # A file emodul cannot read: its diagnostic and status.
    printf 'Zeit Kraft Weg\n' >heading.txt
    status=0
    EVIO_DISABLE_STACK_TRACE=1 "$plot" heading.txt 2>stderr || status=$?
    [ "$status" -eq 59 ] && grep -q '^iodiag: severe (59): list-directed I/O syntax error' stderr ||
        fail "emodul-plot on a heading: status $status, $(cat stderr)"
else
    echo "gnuplot is not installed: the pictures are not drawn" >&2
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installed tree: every check passed"

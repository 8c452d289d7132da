#!/bin/sh
# Evaluates every measurement file named in a list with its geometry and writes
# a CSV table of the moduli. All answers go to the emodul runs as one input
# stream: each run reads its four lines and leaves the rest to the next one.
#
# usage: evaluate-all.sh LIST [CSV]
#
# LIST holds one evaluation per line: the measurement file (a name of at most
# 20 characters, relative to the list's folder) and a, b and d0 in mm, separated
# by blanks; empty lines and lines beginning with # are skipped. The table goes
# to CSV, or to standard output. Each run's plot.dat is kept as
# <file>.<line>.plot.dat beside the list. EMODUL names the program (default:
# emodul from PATH).
set -eu

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 LIST [CSV]" >&2; exit 2; }
list=$1
[ -r "$list" ] || { echo "$0: cannot read the list '$list'" >&2; exit 1; }
emodul=${EMODUL:-emodul}
case $emodul in /*) ;; */*) emodul=$(pwd)/$emodul ;; esac
if [ $# -eq 2 ]; then
    exec >"$2"
fi

cd "$(dirname "$list")"
list=${list##*/}

# The evaluations: list line number, file, a, b, d0.
evaluations=$(awk '!/^[ \t]*(#|$)/ { if (NF != 4) { print "bad line " NR ": " $0 > "/dev/stderr"; exit 1 }
                                    print NR, $1, $2, $3, $4 }' "$list")

echo "file,a_mm,b_mm,d0_mm,E_MPa"
# One stream of answers for all runs, four lines per evaluation. The loop reads
# the list on descriptor 3; every run takes its answers from standard input.
printf '%s\n' "$evaluations" | awk '{ print $2; print $3; print $4; print $5 }' | {
    status=0
    while read -r line file a b d0 <&3; do
        output=$("$emodul") || status=$?
        if [ "$status" -ne 0 ]; then
            # Its unread answers are still in the stream: the next run would
            # take them for its own.
            echo "$0: line $line: emodul ended with status $status on $file;" \
                 "the evaluations after it were not run" >&2
            break
        fi
        modulus=$(printf '%s\n' "$output" | sed -n 's/^E-unendlich = *\(.*[^ ]\) *MPa$/\1/p')
        echo "$file,$a,$b,$d0,$modulus"
        mv plot.dat "$file.$line.plot.dat"
    done 3<<LIST
$evaluations
LIST
    exit "$status"
}

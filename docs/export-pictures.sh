#!/bin/sh
# Draws the two pictures of README's export workflow from examples/
# bending-export.dat: the whole series, and the window of 10 to 40 % of the
# maximum force, each with the line emodul fits to it.
# usage: docs/export-pictures.sh [BUILD_DIR]   (from the source tree; needs gnuplot)
set -eu
source=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source/build}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/export-pictures.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
for window in whole 10:40; do
    name=$([ "$window" = whole ] && echo export-whole || echo export-window)
    set -- --force 'Ch 1 Force' --force-unit kN --displacement 'Ch 3 Displacement' \
        --negate force,displacement
    [ "$window" = whole ] || set -- "$@" --window "$window"
    "$build/emodul-prepare" "$@" -o "$name.txt" "$source/examples/bending-export.dat"
    printf '%s\n' "$name.txt" 40 40 6 | "$build/emodul" | tail -n 1
    "$build/emodul-plot" -o "$source/docs/$name.png" "$name.txt"
done

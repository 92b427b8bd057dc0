#!/bin/sh
# Draws the data of a one-variable fit and the polynomial that velmar fitted
# to them, as a PNG image, with gnuplot.
#
# Usage: sh examples/plot-fit.sh X.txt Y.txt C.txt fit.png
#   X.txt    the values of x, one per line (velmar's file_X)
#   Y.txt    the responses, one per line (velmar's file_Y)
#   C.txt    the file velmar wrote: the intercept, then the coefficients
#            of x, x^2, x^3, ... one per line
#   fit.png  the image to write, 800 x 600 pixels
#
# The image is written under a temporary name beside fit.png and renamed
# once complete: a failed run leaves no partial image and leaves an
# existing fit.png as it was. Exit status 0 when the image was written,
# 1 otherwise, with one line on standard error saying why.
set -eu

fail() {
    echo "plot-fit: $*" >&2
    exit 1
}

[ $# -eq 4 ] || fail "usage: sh plot-fit.sh X.txt Y.txt C.txt fit.png"
x_file=$1 y_file=$2 c_file=$3 png=$4
command -v gnuplot >/dev/null 2>&1 || fail "gnuplot is not installed (Debian: apt-get install gnuplot-nox)"

work=$(mktemp -d)
part=
trap 'rm -rf "$work"; [ -z "$part" ] || rm -f "$part"' EXIT

# column FILE OUT: the numbers of a one-column table file into OUT, one per
# line, read as the programs read them: empty lines skipped, a carriage
# return or a tab at a line end ignored, a byte-order mark at the start
# skipped. Fails naming the file and line for anything but one decimal
# number on a line, and for a file that holds none.
column() {
    [ -r "$1" ] || fail "$1: cannot be read"
    awk -v bom="$(printf '\357\273\277')" -v name="$1" '
        NR == 1 && index($0, bom) == 1 { $0 = substr($0, 4) }
        { sub(/\r$/, "") }
        NF == 0 { next }
        NF > 1 { printf "%s line %d: one number expected, found %d\n", name, NR, NF; bad = 1; exit }
        $1 !~ /^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?$/ {
            printf "%s line %d: not a number: %s\n", name, NR, $1; bad = 1; exit
        }
        { print $1; n++ }
        END {
            if (bad) exit 1
            if (n == 0) { printf "%s: holds no number\n", name; exit 1 }
        }' "$1" >"$2" || fail "$(cat "$2")"
}

column "$x_file" "$work/x"
column "$y_file" "$work/y"
column "$c_file" "$work/c"
points=$(wc -l <"$work/x")
[ "$points" -eq "$(wc -l <"$work/y")" ] ||
    fail "$x_file and $y_file hold different numbers of values"
terms=$(wc -l <"$work/c")
[ "$terms" -ge 2 ] || fail "$c_file: the intercept and at least one coefficient expected"
paste "$work/x" "$work/y" >"$work/data"

# the polynomial in Horner form, c0 + x*(c1 + x*(c2 + ...)); each
# coefficient has passed the number check above, so the text is safe to
# hand to gnuplot
poly=$(awk '{ c[NR] = $1 }
    END {
        p = "(" c[NR] ")"
        for (i = NR - 1; i >= 1; i--) p = "(" c[i] ")+x*(" p ")"
        print p
    }' "$work/c")

# the file names reach gnuplot as arguments, never as script text
cat >"$work/plot.gp" <<EOF
if (strstrt(GPVAL_TERMINALS, "pngcairo") > 0) {
    set terminal pngcairo size 800,600
} else {
    set terminal png size 800,600
}
set output ARG1
set title ARG3 noenhanced
set xlabel ARG4 noenhanced
set ylabel ARG5 noenhanced
set key top left
set grid
set samples 500
f(x) = $poly
plot ARG2 using 1:2 with points pointtype 7 title "data", \
     f(x) with lines linewidth 2 title sprintf("fit of degree %d", $terms - 1)
EOF

dir=$(dirname -- "$png")
if [ ! -d "$dir" ] || [ ! -w "$dir" ]; then
    fail "cannot write $png: no folder $dir, or not writable"
fi
[ ! -d "$png" ] || fail "cannot write $png: a folder"
part=$dir/.plot-fit.$$.png
gnuplot -c "$work/plot.gp" "$part" "$work/data" \
    "$(basename -- "$y_file") on $(basename -- "$x_file"), $points points; fit from $(basename -- "$c_file")" \
    "$(basename -- "$x_file")" "$(basename -- "$y_file")" >"$work/log" 2>&1 ||
    fail "gnuplot failed: $(tr -s ' \n' '  ' <"$work/log")"
[ -s "$part" ] || fail "gnuplot wrote no image"
mv -f -- "$part" "$png" || fail "cannot write $png"
part=

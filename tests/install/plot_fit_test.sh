#!/bin/sh
# Checks examples/plot-fit.sh: on a small cubic fit it writes a PNG image
# of 800 x 600 pixels; on bad input it fails with status 1, one line on
# standard error, and leaves no image (an existing one untouched).
# The coefficients come from velmar when its path is given, otherwise from
# a file written here.
# Usage: sh plot_fit_test.sh PLOT_SCRIPT WORK_DIR [VELMAR]
# Exit status 77 (skipped) when gnuplot is not installed.
set -u
script=$1 work=$2 velmar=${3:-}
if ! command -v gnuplot >/dev/null 2>&1; then
    echo "gnuplot is not installed: skipped"
    exit 77
fi
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
script=$(absolute "$script")
[ -z "$velmar" ] || velmar=$(absolute "$velmar")
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0
failed() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
leftovers() {
    for f in .plot-fit*; do
        [ ! -e "$f" ] || failed "a temporary image was left behind: $f"
    done
}

# y = 1 + 2x - 0.9x^2 + 0.08x^3 with a deterministic wobble, x = 0, 0.5 ... 10
awk 'BEGIN { for (i = 0; i <= 20; i++) { x = i / 2
                 printf "%g\n", x > "X.txt"
                 printf "%.6f\n", 1 + 2*x - 0.9*x*x + 0.08*x*x*x + 0.3*sin(7*i) > "Y.txt" } }'
if [ -n "$velmar" ]; then
    "$velmar" X.txt Y.txt C.txt 3 >velmar.log || { cat velmar.log; failed "velmar"; }
else
    printf '%s\n' 1.123057834650856E+00 1.993252904022793E+00 \
        -9.128722584590594E-01 8.144884662028369E-02 >C.txt
fi

# the image: PNG signature, then the IHDR chunk with width and height
if sh "$script" X.txt Y.txt C.txt fit.png 2>err.txt; then
    [ -s fit.png ] || failed "fit.png missing or empty"
    sig=$(od -An -tx1 -N8 fit.png | tr -d ' \n')
    [ "$sig" = 89504e470d0a1a0a ] || failed "fit.png does not start with the PNG signature: $sig"
    size=$(od -An -tx1 -j16 -N8 fit.png | tr -d ' \n')
    [ "$size" = 0000032000000258 ] || failed "fit.png is not 800 x 600: $size"
    [ ! -s err.txt ] || failed "a successful run printed: $(cat err.txt)"
else
    failed "plot-fit.sh on a good fit: $(cat err.txt)"
fi
leftovers

# bad input: status 1, one line on standard error naming the fault, and
# the existing image left as it was
printf '1\n2\n' >short.txt
printf '1\t2\n3\t4\n' >two.txt
printf 'x\n1\n2\n' >header.txt
printf '1.5\n' >one.txt
: >empty.txt
cp fit.png before.png 2>/dev/null || : >before.png
while IFS='|' read -r args expect; do
    # shellcheck disable=SC2086 # the arguments are split on purpose
    sh "$script" $args 2>err.txt
    rc=$?
    [ "$rc" -eq 1 ] || failed "plot-fit.sh $args: status $rc, expected 1"
    [ "$(wc -l <err.txt)" -eq 1 ] && grep -q -- "$expect" err.txt ||
        failed "plot-fit.sh $args: printed '$(cat err.txt)', expected '$expect'"
    cmp -s fit.png before.png || failed "plot-fit.sh $args: changed fit.png"
done <<'CASES'
X.txt Y.txt C.txt|usage:
X.txt Y.txt C.txt fit.png extra|usage:
missing.txt Y.txt C.txt fit.png|missing.txt: cannot be read
X.txt short.txt C.txt fit.png|different numbers of values
two.txt Y.txt C.txt fit.png|two.txt line 1: one number expected, found 2
header.txt Y.txt C.txt fit.png|header.txt line 1: not a number: x
X.txt Y.txt empty.txt fit.png|empty.txt: holds no number
X.txt Y.txt one.txt fit.png|at least one coefficient
X.txt Y.txt C.txt no/such/dir/fit.png|cannot write no/such/dir/fit.png: no folder no/such/dir
X.txt Y.txt C.txt .|cannot write .: a folder
CASES
leftovers

if [ "$failures" -ne 0 ]; then
    echo "$failures checks of plot-fit.sh failed"
    exit 1
fi
echo "plot-fit.sh draws the fit and refuses bad input"

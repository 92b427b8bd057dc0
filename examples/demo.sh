#!/bin/sh
# Runs each program of the suite on the example tables beside this script,
# in a scratch folder, and shows what it printed and wrote.
# Usage: sh examples/demo.sh [BUILD_DIR]   (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/*.txt "$work"
cd "$work"

run() { # result file, then the program and its arguments
    result=$1
    shift
    echo "\$ $*"
    prog=$1
    shift
    "$build/$prog/$prog" "$@"
    sed 's/^/    /' "$result"
    echo
}

echo '# C[1,1] = 1E20 + 1 - 1E20 = 1 (in double precision: 0); C[2,2] = 0.1^2 + 0.2^2 + 0.3^2 = 0.14'
run C.txt mobrel A.txt B.txt C.txt

echo '# the tridiagonal system with rows (2 1 0), (1 2 1), (0 1 2), two right-hand sides'
run X.txt tarsik band.txt rhs.txt X.txt

echo '# a straight line through five points, then the same points fitted through the origin'
run line.txt velmar x.txt y.txt line.txt
run origin.txt velmar x.txt y.txt origin.txt 1 0

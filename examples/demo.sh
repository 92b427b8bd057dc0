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

run() { # program and arguments; the last argument is the result file
    echo "\$ $*"
    prog=$1
    shift
    "$build/$prog/$prog" "$@"
    for last; do :; done
    sed 's/^/    /' "$last"
    echo
}

echo '# C[1,1] = 1E20 + 1 - 1E20 = 1 (in double precision: 0); C[2,2] = 0.1^2 + 0.2^2 + 0.3^2 = 0.14'
run mobrel A.txt B.txt C.txt

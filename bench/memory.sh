#!/bin/sh
# Peak resident memory of each program at its largest input, against the
# bytes of the matrices it must hold: the double matrices of its inputs and
# result and the x_num matrices of its computation (172 bytes a number).
# Fails when a peak exceeds twice those bytes.
#   sh bench/memory.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
X=172 # bytes of an x_num
D=8   # bytes of a double
failed=0

# measure NAME BYTES PROGRAM ARGS...: runs PROGRAM in the case folder NAME
measure() {
    name=$1
    need=$2
    prog=$3
    shift 3
    (cd "$work/$name" && /usr/bin/time -f %M -o rss "$build/$prog/$prog" "$@" > /dev/null)
    kb=$(cat "$work/$name/rss")
    ratio=$(awk -v p="$kb" -v n="$need" 'BEGIN { printf "%.2f", p * 1024 / n }')
    printf '%-22s peak %8d KiB   matrices %8d KiB   ratio %s\n' "$name" "$kb" $((need / 1024)) "$ratio"
    awk -v r="$ratio" 'BEGIN { exit !(r <= 2) }' || failed=1
}

mkdir -p "$work/mobrel" "$work/tarsik" "$work/velmar_wide" "$work/velmar_degree10"
python3 "$here/tables.py" mobrel "$work/mobrel" 255 255 255
python3 "$here/tables.py" tarsik "$work/tarsik" 21845 3
python3 "$here/tables.py" velmar "$work/velmar_wide" 320 200 1
python3 "$here/tables.py" velmar "$work/velmar_degree10" 65535 1 10

# mobrel: A, B and C as doubles, A and B as x_num
n=255
measure mobrel $((3 * n * n * D + 2 * n * n * X)) mobrel A.txt B.txt C.txt
# tarsik: A (n x 3) and B (n x 3) as doubles and as x_num
n=21845
measure tarsik $((2 * 3 * n * (D + X))) tarsik A.txt B.txt X.txt
# velmar: X and Y as doubles; the design matrix, Y, the normal matrix and
# its right-hand side as x_num; the result column
n=320 k=200
measure velmar_wide $(((n * k + n + k + 1) * D + (n * k + n + k * k + k) * X)) velmar X.txt Y.txt C.txt
n=65535 k=10
measure velmar_degree10 $(((n + n + k + 1) * D + (n * k + n + k * k + k) * X)) velmar X.txt Y.txt C.txt 10
exit $failed

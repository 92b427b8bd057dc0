#!/bin/sh
# How each program's time grows with the precision and with the size of its
# input: median whole-process seconds of BENCH_RUNS runs (default 3) at 30,
# 60 and 100 digits, on half-size and full-size tables of bench/tables.py.
#   sh bench/growth.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${BENCH_RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# median of the run times of PROGRAM ARGS... in the folder $dir
median() {
    for r in $(seq "$runs"); do
        s=$(date +%s.%N)
        (cd "$dir" && "$@" > /dev/null)
        e=$(date +%s.%N)
        echo "$e - $s" | bc
    done | sort -g | awk '{v[NR] = $1} END {printf "%.3f", v[int((NR + 1) / 2)]}'
}

printf '%-28s %8s %8s %8s\n' "workload" "30" "60" "100"
row() { # label kind shape... -- program args...
    label=$1 kind=$2
    shift 2
    dir="$work/$label"
    mkdir -p "$dir"
    shape=""
    while [ "$1" != "--" ]; do shape="$shape $1"; shift; done
    shift
    # shellcheck disable=SC2086
    python3 "$here/tables.py" "$kind" "$dir" $shape
    prog=$1
    shift
    line=$(printf '%-28s' "$label")
    for d in 30 60 100; do
        line="$line $(printf '%8s' "$(median "$build/$prog/$prog" --digits "$d" "$@")")"
    done
    echo "$line"
}
row "mobrel 128x128x128" mobrel 128 128 128 -- mobrel A.txt B.txt C.txt
row "mobrel 255x255x255" mobrel 255 255 255 -- mobrel A.txt B.txt C.txt
row "tarsik n=10922 m=3" tarsik 10922 3 -- tarsik A.txt B.txt X.txt
row "tarsik n=21845 m=3" tarsik 21845 3 -- tarsik A.txt B.txt X.txt
row "velmar 160x100 deg 1" velmar 160 100 1 -- velmar X.txt Y.txt C.txt
row "velmar 320x200 deg 1" velmar 320 200 1 -- velmar X.txt Y.txt C.txt
row "velmar 32768x1 deg 10" velmar 32768 1 10 -- velmar X.txt Y.txt C.txt 10
row "velmar 65535x1 deg 10" velmar 65535 1 10 -- velmar X.txt Y.txt C.txt 10

#!/bin/sh
# Runs the programs of a build folder on the largest inputs their table
# buffer allows, under valgrind memcheck, and fails on any invalid access,
# use of uninitialised memory or leak (of any kind, still-reachable blocks
# included). Each run must also exit 0 and give the same console report
# and the same output file, byte for byte, as the same program run without
# valgrind.
#
#   sh fuzz/valgrind.sh BUILD_DIR           # full size
#   sh fuzz/valgrind.sh BUILD_DIR --quick   # smaller velmar inputs, for CI
#
# Full size: mobrel 255 x 255 by 255 x 255; tarsik 21845 rows with 3
# right-hand sides; velmar 320 x 200 at degree 1, and one column of 65535
# rows at degree 10. --quick keeps mobrel and tarsik at full size and gives
# velmar 64 x 40 and 8192 rows at degree 10. A program missing from
# BUILD_DIR is skipped.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ] || { [ $# -eq 2 ] && [ "$2" != --quick ]; }; then
    echo "usage: sh fuzz/valgrind.sh BUILD_DIR [--quick]" >&2
    exit 2
fi
build=$1
quick=${2:-}
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/setup.sh)" >&2; exit 2; }
[ -d "$build" ] || { echo "no build folder $build" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/xsuite-vg-XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# deterministic random tables of the largest shapes (bench/tables.py)
gen() {
    python3 "$(dirname "$0")/../bench/tables.py" "$@"
}

failed=""

# check NAME PROGRAM ARGS...: ARGS name files in the current case folder;
# the last file argument is the output. Runs natively, then under memcheck.
check() {
    name=$1
    prog=$2
    shift 2
    if [ ! -x "$build/$prog/$prog" ]; then
        echo "== $name: skipped ($build/$prog/$prog not built)"
        return 0
    fi
    bin=$(cd "$build/$prog" && pwd)/$prog
    dir=$work/$name
    (
        cd "$dir"
        start=$(date +%s)
        status=0
        "$bin" "$@" >native.out 2>native.err || status=$?
        if [ $status -ne 0 ]; then
            echo "$name: exit status $status without valgrind"
            cat native.out native.err
            exit 1
        fi
        # the inputs are regular: a singular verdict would leave most of the
        # computation unexercised
        if grep -q singular native.out; then
            echo "$name: the generated input was found singular"
            exit 1
        fi
        mv "$3" native.result
        native=$(($(date +%s) - start))
        start=$(date +%s)
        status=0
        valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all \
            --errors-for-leak-kinds=all --error-exitcode=1 --log-file=memcheck.log \
            "$bin" "$@" >vg.out 2>vg.err || status=$?
        secs=$(($(date +%s) - start))
        if [ $status -ne 0 ]; then
            echo "$name: memcheck failed (exit status $status)"
            cat memcheck.log vg.out vg.err
            exit 1
        fi
        # the timing line differs from run to run
        grep -v '^elapsed time' native.out >native.cmp || true
        grep -v '^elapsed time' vg.out >vg.cmp || true
        if ! cmp -s native.cmp vg.cmp || ! cmp -s native.result "$3"; then
            echo "$name: under valgrind the report or the output file differs"
            diff native.out vg.out || true
            exit 1
        fi
        sed -n '1p' native.out | sed 's/^/   /'
        grep -E 'ERROR SUMMARY|in use at exit' memcheck.log | sed 's/^==[0-9]*== */   /'
        echo "== $name: clean (${native}s natively, ${secs}s under memcheck)"
    ) || failed="$failed $name"
}

# velmar is the slow one under memcheck (about 150 s for 320 x 200 and
# 70 s for 65535 rows at degree 10, against seconds for the others), so
# --quick shrinks its inputs only
mobrel_shape="255 255 255"
tarsik_shape="21845 3"
if [ "$quick" = --quick ]; then
    velmar_wide="64 40 1"
    velmar_tall="8192 1 10"
else
    velmar_wide="320 200 1"
    velmar_tall="65535 1 10"
fi

# shellcheck disable=SC2086
{
    mkdir -p "$work/mobrel" && gen mobrel "$work/mobrel" $mobrel_shape
    check mobrel mobrel A.txt B.txt C.txt
    mkdir -p "$work/tarsik" && gen tarsik "$work/tarsik" $tarsik_shape
    check tarsik tarsik A.txt B.txt X.txt
    mkdir -p "$work/velmar_wide" && gen velmar "$work/velmar_wide" $velmar_wide
    check velmar_wide velmar X.txt Y.txt C.txt
    mkdir -p "$work/velmar_degree10" && gen velmar "$work/velmar_degree10" $velmar_tall
    check velmar_degree10 velmar X.txt Y.txt C.txt 10
}

if [ -n "$failed" ]; then
    echo "valgrind failed:$failed"
    exit 1
fi
echo "valgrind passed"

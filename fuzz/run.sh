#!/bin/sh
# Builds the fuzz targets with clang++ (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each one for SECONDS
# (default 60) from its seed corpus. Fails on any crash, leak, timeout or
# broken invariant; the input that caused it is saved in
# build-fuzz/fuzz-artifacts/ and libFuzzer's report names it.
#
#   sh fuzz/run.sh            # about a minute per target (CI runs 20 s each)
#   sh fuzz/run.sh 3600       # a long session: an hour per target
#   sh fuzz/run.sh 600 cvsx   # one target only
#
# New inputs that reach new code are kept in build-fuzz/fuzz-corpus/<target>/,
# so a later session goes on from where the last one stopped; the committed
# seeds in fuzz/corpus/ are only read.
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"arith cvsx load_table"}
build=build-fuzz

CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXSUITE_FUZZ=ON >/dev/null
for t in $targets; do
    cmake --build "$build" -j2 --target "fuzz_$t"
done

# largest input each target is given: a record pair is under 250 bytes, a
# text or a table a few kilobytes
max_len() {
    case $1 in
    arith) echo 256 ;;
    cvsx) echo 4096 ;;
    *) echo 8192 ;;
    esac
}

failed=""
mkdir -p "$build/fuzz-artifacts"
for t in $targets; do
    work="$build/fuzz-corpus/$t"
    mkdir -p "$work"
    echo "== fuzz_$t for $seconds s"
    if ! "$build/fuzz/fuzz_$t" "$work" "fuzz/corpus/$t" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -max_len="$(max_len "$t")" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/$t-" 2>"$build/fuzz-$t.log"; then
        tail -n 60 "$build/fuzz-$t.log"
        failed="$failed $t"
    else
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz-$t.log" || true
    fi
done

if [ -n "$failed" ]; then
    echo "fuzzing failed:$failed (inputs in $build/fuzz-artifacts/, logs in $build/fuzz-<target>.log)"
    exit 1
fi
echo "fuzzing passed: $targets"

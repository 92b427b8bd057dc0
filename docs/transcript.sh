#!/bin/sh
# Runs the commands of a transcript, in order, in a scratch folder, and
# compares what they print with what the transcript shows. The examples of
# the manual pages and the walk-through are checked with it, so that what
# they show cannot drift from what the programs print.
#
# A transcript is plain text: a line that starts with "$ " is a command,
# and the lines after it, up to the next command, are what it prints,
# standard output and standard error together. Each command runs in a
# shell of its own, all of them in the same folder, and must exit with 0
# (one that shows a failure ends in "; echo $?"). Lines of elapsed time are
# left out of the comparison, since the time differs from run to run, and
# a run of blanks counts as one blank, so that tabs may be shown as blanks.
#
# Usage: sh transcript.sh [-v] TRANSCRIPT NAME [DIR...]
#   -v          also print each command and its output as it runs
#   NAME        what the messages call the transcript (the file it is from)
#   DIR...      folders put first on PATH, the first one foremost
# Exit status: 0 when every command exits with 0 and prints what the
# transcript shows, 1 otherwise.
set -eu
verbose=false
if [ "${1:-}" = -v ]; then
    verbose=true
    shift
fi
transcript=$1 name=$2
shift 2
dirs=
for dir; do
    case $dir in /*) ;; *) dir=$PWD/$dir ;; esac
    dirs=$dirs$dir:
done
PATH=$dirs$PATH
export PATH

if ! grep -q '^\$ ' "$transcript"; then
    echo "$name: no command found"
    exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/run"

# the same transcript, with the output the commands really print; each one
# writes through a pipe, since a program told to write /dev/stdout would
# otherwise truncate the transcript file
: >"$tmp/real"
: >"$tmp/failed"
count=0
while IFS= read -r line; do
    case $line in
    '$ '*)
        count=$((count + 1))
        printf '%s\n' "$line" >>"$tmp/real"
        ! $verbose || printf '%s\n' "$line"
        {
            rc=0
            (set +e; cd "$tmp/run" && eval "${line#??}") </dev/null 2>&1 || rc=$?
            [ "$rc" -eq 0 ] || printf '  status %s: %s\n' "$rc" "$line" >>"$tmp/failed"
        } | if $verbose; then tee -a "$tmp/real"; else cat >>"$tmp/real"; fi
        ;;
    esac
done <"$transcript"

normalise() {
    sed -e '/^elapsed time: /d' -e 's/[[:space:]][[:space:]]*/ /g' -e 's/ $//' "$1"
}
normalise "$transcript" >"$tmp/expected"
normalise "$tmp/real" >"$tmp/actual"
status=0
if [ -s "$tmp/failed" ]; then
    echo "$name: commands that exited with a status other than 0:"
    cat "$tmp/failed"
    status=1
fi
if ! diff -u --label shown --label printed "$tmp/expected" "$tmp/actual" >"$tmp/diff"; then
    ! $verbose || echo
    cat "$tmp/diff"
    echo "$name: the commands print something else than it shows (- shown, + printed)"
    status=1
fi
[ "$status" -ne 0 ] || echo "$name: all $count commands print what it shows"
exit "$status"

#!/bin/sh
# Runs the commands of a manual page's EXAMPLES section, in order, in a
# scratch folder, and compares what they print with what the page shows,
# so that the page cannot drift from the programs.
#
# The transcript is the lines of the section's example blocks (between .nf
# and .fi), the roff escapes undone; transcript.sh beside this script runs
# it: a line that starts with "$ " is a command, the lines after it are its
# output, lines of elapsed time are not compared, and a run of blanks
# counts as one blank (the page shows tabs as blanks).
# Usage: sh man_examples_test.sh PAGE DIR...   (the DIRs hold the programs)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
page=$1
shift

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# the lines between .nf and .fi within EXAMPLES, roff escapes undone
awk '/^\.SH/ { examples = ($0 ~ /^\.SH EXAMPLES/); next }
     examples && /^\.nf/ { block = 1; next }
     examples && /^\.fi/ { block = 0; next }
     examples && block' "$page" |
    sed -e "s/\\\\(aq/'/g" -e 's/\\-/-/g' -e 's/\\e/\\/g' >"$tmp/page"
sh "$here/transcript.sh" "$tmp/page" "$page" "$@"

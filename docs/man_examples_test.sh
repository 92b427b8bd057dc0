#!/bin/sh
# Runs the commands of a manual page's EXAMPLES section, in order, in a
# scratch folder, and compares what they print with what the page shows,
# so that the page cannot drift from the programs.
#
# A command is a line of an example block that starts with "$ "; the lines
# after it, up to the next command, are its output. Lines of elapsed time
# are left out of the comparison (the time differs from run to run), and a
# run of blanks counts as one blank (the page shows tabs as blanks).
# Usage: sh man_examples_test.sh PAGE DIR...   (the DIRs hold the programs)
set -eu
page=$1
shift
for dir; do PATH=$dir:$PATH; done
export PATH

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/run"

# the lines between .nf and .fi within EXAMPLES, roff escapes undone
awk '/^\.SH/ { examples = ($0 ~ /^\.SH EXAMPLES/); next }
     examples && /^\.nf/ { block = 1; next }
     examples && /^\.fi/ { block = 0; next }
     examples && block' "$page" |
    sed -e "s/\\\\(aq/'/g" -e 's/\\-/-/g' -e 's/\\e/\\/g' >"$tmp/page"
if ! grep -q '^\$ ' "$tmp/page"; then
    echo "$page: no example command found"
    exit 1
fi

# the same transcript, with the output the commands really print; each one
# writes through a pipe, since a program told to write /dev/stdout would
# otherwise truncate the transcript file
: >"$tmp/real"
while IFS= read -r line; do
    case $line in
    '$ '*)
        printf '%s\n' "$line" >>"$tmp/real"
        (set +e; cd "$tmp/run" && eval "${line#??}") </dev/null 2>&1 | cat >>"$tmp/real"
        ;;
    esac
done <"$tmp/page"

normalise() {
    sed -e '/^elapsed time: /d' -e 's/[[:space:]][[:space:]]*/ /g' -e 's/ $//' "$1"
}
normalise "$tmp/page" >"$tmp/expected"
normalise "$tmp/real" >"$tmp/actual"
if ! diff -u "$tmp/expected" "$tmp/actual"; then
    echo "$page: the examples print something else than the page shows (- page, + programs)"
    exit 1
fi
echo "$page: $(grep -c '^\$ ' "$tmp/page") example commands print what the page shows"

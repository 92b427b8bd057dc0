#!/bin/sh
# Runs the walk-through: every command of examples/walkthrough.md, in order,
# in a scratch folder, with the programs of BUILD_DIR first on PATH and
# XSUITE naming this checkout, as the walk-through asks of its reader. Shows
# each command with its output, and fails when one prints something else
# than the walk-through shows (elapsed times aside).
#
# The commands are the "$ " lines of the fenced blocks whose first line is
# a command; the lines after a command are its output (docs/transcript.sh
# runs and compares them). With a HEADING only the section under that
# heading is taken, up to the next heading of its level or above, so the
# README's copy is checked the same way.
# Usage: sh examples/walkthrough.sh [BUILD_DIR [MARKDOWN [HEADING]]]
#   BUILD_DIR  the build folder (default: build, beside examples/)
#   MARKDOWN   the file to take the commands from (default: the walk-through)
# Exit status: 0 when every command prints what is shown, 1 otherwise,
# 77 when python3, which one command needs, is not installed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
markdown=${2:-$here/walkthrough.md}
heading=${3:-}

for prog in mobrel tarsik velmar; do
    if [ ! -x "$build/$prog/$prog" ]; then
        echo "no $prog in $build/$prog: build first (cmake --build $build)"
        exit 1
    fi
done
if ! command -v python3 >/dev/null 2>&1; then
    echo "python3 is not installed: skipped"
    exit 77
fi
build=$(cd "$build" && pwd)
XSUITE=$(cd "$here/.." && pwd)
export XSUITE

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
awk -v want="$heading" '
    BEGIN { inside = (want == "") }
    /^```/ {
        if (fence) { fence = 0; next }
        fence = 1
        first = 1
        next
    }
    fence {
        if (first) keep = inside && /^\$ /
        first = 0
        if (keep) print
        next
    }
    /^#+ / {
        level = index($0, " ") - 1
        if (inside && level <= start) inside = 0
        if (want != "" && substr($0, level + 2) == want) {
            inside = 1
            start = level
        }
    }' "$markdown" >"$tmp/transcript"
name=$markdown
[ -z "$heading" ] || name="$markdown, section \"$heading\""
sh "$here/../docs/transcript.sh" -v "$tmp/transcript" "$name" \
    "$build/mobrel" "$build/tarsik" "$build/velmar"

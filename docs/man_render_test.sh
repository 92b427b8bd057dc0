#!/bin/sh
# Renders each manual page given with groff and with man, as a terminal
# would show them, and fails on any warning either prints; checks too that
# every page has the sections a reader looks for.
# Usage: sh man_render_test.sh PAGE...
# Exit status: 0 clean, 1 a warning or a missing section, 77 when groff or
# man is not installed (the test is then skipped).
set -u
for tool in groff man; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is not installed: skipped"
        exit 77
    fi
done
# man-db's sandbox can fail inside containers; it guards nothing here
MAN_DISABLE_SECCOMP=1
export MAN_DISABLE_SECCOMP

sections='NAME
SYNOPSIS
DESCRIPTION
TABLE FILES
OUTPUT
DIAGNOSTICS
EXIT STATUS
EXAMPLES
SEE ALSO'

status=0
for page; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    if [ -n "$warnings" ]; then
        printf '%s: groff warns:\n%s\n' "$page" "$warnings"
        status=1
    fi
    for width in 80 60; do
        text=$(MANWIDTH=$width man -l --warnings=w "$page" 2>"${TMPDIR:-/tmp}/man_render.$$")
        warnings=$(cat "${TMPDIR:-/tmp}/man_render.$$")
        rm -f "${TMPDIR:-/tmp}/man_render.$$"
        if [ -n "$warnings" ]; then
            printf '%s: man -l at width %s warns:\n%s\n' "$page" "$width" "$warnings"
            status=1
        fi
    done
    echo "$sections" | while IFS= read -r section; do
        if ! printf '%s\n' "$text" | grep -qx "$section"; then
            printf '%s: no section %s\n' "$page" "$section"
            exit 1
        fi
    done || status=1
done
[ "$status" -eq 0 ] && echo "$# pages render without warnings"
exit "$status"

#!/usr/bin/env bash
# Standard output on a console: with its output on a pseudo-terminal Wine hands
# qv.exe a console, so the listing goes out through WriteConsoleW. Non-ASCII text
# and the "…" of a cut description must arrive as they are. The terminal's own
# bytes are taken off before the comparison: the CR that Wine's console and the
# terminal each put before a line feed, and the escape sequences that hide and
# show the cursor. A wide terminal keeps Wine from wrapping the long lines.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases
cp "$E2E_QV" qv.exe

e2e_add_devices "$c/console.dev"
script -qec "stty cols 200 rows 50; wine qv.exe 2>'$E2E_WORK/console.err'; echo \$? >'$E2E_WORK/console.status'" \
  /dev/null </dev/null >"$E2E_WORK/terminal.bytes"
tr -d '\r' <"$E2E_WORK/terminal.bytes" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' >"$E2E_WORK/console.out"
e2e_expected "$c/console.summary" "$c/wine-before.listing" "$c/console.listing" \
  "$c/wine-after.listing" >"$E2E_WORK/console.expected"
e2e_check_bytes "listing on the console" "$E2E_WORK/console.expected" "$E2E_WORK/console.out"
e2e_check_text "nothing on standard error" "" "$E2E_WORK/console.err"
e2e_check_status "status" console 0

e2e_finish

#!/usr/bin/env bash
# Report paths: a non-ASCII name, a relative path with a backslash, an existing
# longer file replaced whole, and arguments after the path ignored.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases
e2e_expected "$c/wine-header.report" "$c/wine-before.report" "$c/wine-after.report" >"$E2E_WORK/report"

check_written() {
  local label=$1 shown=$2 file=$3
  { e2e_expected "$c/wine.summary"; printf 'written   %s\n' "$shown"; } >"$E2E_WORK/written"
  e2e_check_bytes "$label: standard output" "$E2E_WORK/written" "$E2E_WORK/run.out"
  e2e_check_text "$label: nothing on standard error" "" "$E2E_WORK/run.err"
  e2e_check_status "$label: status" run 0
  e2e_check_bytes "$label: report file" "$E2E_WORK/report" "$file"
}

e2e_run_qv run 'rapport-é😀.txt'
check_written "non-ASCII path" 'rapport-é😀.txt' 'rapport-é😀.txt'

mkdir sub
e2e_run_qv run 'sub\r.txt'
check_written "relative path with a backslash" 'sub\r.txt' sub/r.txt

# Longer than the report, with CR LF lines and no final line feed.
for i in $(seq 1 3000); do printf 'old line %d of a longer file\r\n' "$i"; done >long.txt
printf 'tail' >>long.txt
e2e_run_qv run long.txt
check_written "existing longer file" long.txt long.txt

e2e_run_qv run first.txt second.txt 'third file.txt'
check_written "extra arguments" first.txt first.txt
[[ -e second.txt || -e 'third file.txt' ]] && e2e_fail "an extra argument was written"

e2e_finish

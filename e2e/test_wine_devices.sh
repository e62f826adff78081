#!/usr/bin/env bash
# Wine's own eight devices, untouched: the summary, the listing and the whole report.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases

e2e_run_qv list
e2e_expected "$c/wine.summary" "$c/wine-before.listing" "$c/wine-after.listing" >"$E2E_WORK/list.expected"
e2e_check_bytes "listing" "$E2E_WORK/list.expected" "$E2E_WORK/list.out"
e2e_check_text "listing: nothing on standard error" "" "$E2E_WORK/list.err"
e2e_check_status "listing: status" list 0

e2e_run_qv report wine.txt
e2e_expected "$c/wine.summary" >"$E2E_WORK/report.expected"
printf 'written   wine.txt\n' >>"$E2E_WORK/report.expected"
e2e_check_bytes "report: standard output" "$E2E_WORK/report.expected" "$E2E_WORK/report.out"
e2e_check_text "report: nothing on standard error" "" "$E2E_WORK/report.err"
e2e_check_status "report: status" report 0
e2e_expected "$c/wine-header.report" "$c/wine-before.report" "$c/wine-after.report" >"$E2E_WORK/wine.expected"
e2e_check_bytes "report file" "$E2E_WORK/wine.expected" wine.txt

e2e_finish

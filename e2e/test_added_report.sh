#!/usr/bin/env bash
# Devices added from cases/added.dev: the whole report, byte for byte, their
# sections between Wine's own.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases

e2e_add_devices "$c/added.dev"
e2e_run_qv report added.txt
e2e_expected "$c/added.summary" >"$E2E_WORK/report.expected"
printf 'written   added.txt\n' >>"$E2E_WORK/report.expected"
e2e_check_bytes "standard output" "$E2E_WORK/report.expected" "$E2E_WORK/report.out"
e2e_check_text "nothing on standard error" "" "$E2E_WORK/report.err"
e2e_check_status "status" report 0
e2e_expected "$c/wine-header.report" "$c/wine-before.report" "$c/added.report" \
  "$c/wine-after.report" >"$E2E_WORK/added.expected"
e2e_check_bytes "report file" "$E2E_WORK/added.expected" added.txt

e2e_finish

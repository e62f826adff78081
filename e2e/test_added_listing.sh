#!/usr/bin/env bash
# Devices added from cases/added.dev: the summary and the listing, byte for byte
# (control characters reach the console unchanged; descriptions over 60 characters
# are cut; devices without identifiers are left out).
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases

e2e_add_devices "$c/added.dev"
e2e_run_qv list
e2e_expected "$c/added.summary" "$c/wine-before.listing" "$c/added.listing" \
  "$c/wine-after.listing" >"$E2E_WORK/list.expected"
e2e_check_bytes "listing" "$E2E_WORK/list.expected" "$E2E_WORK/list.out"
e2e_check_text "nothing on standard error" "" "$E2E_WORK/list.err"
e2e_check_status "status" list 0

e2e_finish

#!/usr/bin/env bash
# Report writes that fail: the summary still on standard output, the system's
# message (as Wine words it) and code on standard error, and status 1.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases
e2e_expected "$c/wine.summary" >"$E2E_WORK/summary"

check_failure() {
  local label=$1 path=$2 message=$3
  e2e_run_qv fail "$path"
  e2e_check_bytes "$label: standard output is the summary alone" "$E2E_WORK/summary" "$E2E_WORK/fail.out"
  e2e_check_text "$label: standard error" "Couldn't write $path: $message"$'\n' "$E2E_WORK/fail.err"
  e2e_check_status "$label: status" fail 1
}

check_failure "missing folder" 'missing/report.txt' 'Path not found. (os error 3)'
check_failure "missing folder, backslash" 'missing\report.txt' 'Path not found. (os error 3)'
[[ -e missing ]] && e2e_fail "the missing folder was created"
mkdir folder
check_failure "a folder as the path" folder 'Access denied. (os error 5)'
[[ -d folder ]] || e2e_fail "the folder is gone"
check_failure "the empty argument" '' 'Path not found. (os error 3)'

e2e_finish

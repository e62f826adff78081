#!/usr/bin/env bash
# qvdiff.exe on two reports of qv.exe, with the machine changed in between: a
# device removed (its Enum key deleted), one added, and two driver keys given a
# new DriverVersion and InfPath (Wine's display adapter and one of ours). Then
# identical reports (one under a non-ASCII name), a report saved with CR LF line
# ends, a damaged report, a missing file and a wrong argument count.
source "$(dirname "$0")/lib.sh"
: "${E2E_QVDIFF:?}"
c=$E2E_SOURCE/cases
class='HKLM\System\CurrentControlSet\Control\Class'

# run_qvdiff NAME ARG...: like e2e_run_qv, for qvdiff.exe.
run_qvdiff() {
  local name=$1
  shift
  wine "$E2E_QVDIFF" "$@" >"$E2E_WORK/$name.out" 2>"$E2E_WORK/$name.err"
  echo $? >"$E2E_WORK/$name.status"
}

e2e_add_devices "$c/diff-before.dev"
e2e_run_qv before old.txt
e2e_check_status "first report written" before 0

wine reg delete 'HKLM\System\CurrentControlSet\Enum\ROOT\QVDIFF\0002' /f >/dev/null 2>&1 ||
  e2e_fail "could not delete the Enum key of ROOT\\QVDIFF\\0002"
e2e_add_devices "$c/diff-added.dev"
change_driver() {
  wine reg add "$class\\$1" /v DriverVersion /t REG_SZ /d "$2" /f >/dev/null 2>&1 &&
    wine reg add "$class\\$1" /v InfPath /t REG_SZ /d "$3" /f >/dev/null 2>&1 ||
    e2e_fail "could not change the driver key $1"
}
change_driver '{4D36E968-E325-11CE-BFC1-08002BE10318}\0000' 31.0.101.4502 display.inf
change_driver '{4D36E97D-E325-11CE-BFC1-08002BE10318}\0100' 2.2.0.1 oem13.inf
e2e_run_qv after new.txt
e2e_check_status "second report written" after 0

run_qvdiff changed old.txt new.txt
e2e_expected "$c/qvdiff.diff" >"$E2E_WORK/changed.expected"
e2e_check_bytes "changes: standard output" "$E2E_WORK/changed.expected" "$E2E_WORK/changed.out"
e2e_check_text "changes: nothing on standard error" "" "$E2E_WORK/changed.err"
e2e_check_status "changes: status" changed 1

cp new.txt 'copie é日本.txt'
run_qvdiff same new.txt 'copie é日本.txt'
e2e_check_text "same report: no output" "" "$E2E_WORK/same.out"
e2e_check_text "same report: nothing on standard error" "" "$E2E_WORK/same.err"
e2e_check_status "same report: status" same 0

sed 's/$/\r/' new.txt >crlf.txt
run_qvdiff crlf new.txt crlf.txt
e2e_check_text "CR LF copy: no output" "" "$E2E_WORK/crlf.out"
e2e_check_status "CR LF copy: status" crlf 0

line=$(grep -n '^driver_ver=2023-03-14 2.1.3.15$' old.txt | cut -d: -f1)
sed 's/^driver_ver=2023-03-14 2.1.3.15$/driver_ver=2023-3-14 2.1.3.15/' old.txt >damaged.txt
run_qvdiff damaged old.txt damaged.txt
e2e_check_text "damaged report: no output" "" "$E2E_WORK/damaged.out"
e2e_check_text "damaged report: the message" \
  "damaged.txt, line $line: The \"driver_ver\" value is not a valid driver date and version."$'\n' \
  "$E2E_WORK/damaged.err"
e2e_check_status "damaged report: status" damaged 2

run_qvdiff missing 'manquant é日本.txt' new.txt
e2e_check_text "missing file: the message" \
  "Couldn't read manquant é日本.txt: File not found. (os error 2)"$'\n' "$E2E_WORK/missing.err"
e2e_check_status "missing file: status" missing 2

run_qvdiff usage old.txt
e2e_check_text "one argument: the usage line" \
  "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv."$'\n' "$E2E_WORK/usage.err"
e2e_check_status "one argument: status" usage 2

e2e_finish

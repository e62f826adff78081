#!/usr/bin/env bash
# qvdiff.exe on two reports of qv.exe, with the machine changed in between: a
# device removed (its Enum key deleted), one added, two driver keys given a new
# DriverVersion and InfPath (Wine's display adapter and one of ours), and a third
# device whose id the report writes like two others. Then identical reports (one
# under a non-ASCII name), a report saved with CR LF line ends, reports that are
# damaged, cut short or not UTF-8, what is no file, a missing file, a wrong
# argument count, and every state of standard output.
source "$(dirname "$0")/lib.sh"
: "${E2E_QVDIFF:?}"
c=$E2E_SOURCE/cases

# run_qvdiff NAME ARG...: e2e_run of qvdiff.exe.
run_qvdiff() {
  local name=$1
  shift
  e2e_run "$name" "$E2E_QVDIFF" "$@"
}

e2e_reports_before_and_after old.txt new.txt

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

# refused NAME FILE LINE MESSAGE: qvdiff of new.txt and FILE says MESSAGE about LINE.
refused() {
  run_qvdiff "$1" new.txt "$2"
  e2e_check_text "$1: no output" "" "$E2E_WORK/$1.out"
  e2e_check_text "$1: the message" "$2, line $3: $4"$'\n' "$E2E_WORK/$1.err"
  e2e_check_status "$1: status" "$1" 2
}
lines=$(wc -l <new.txt)
head -c -8 new.txt >cut.txt
refused "cut mid-line" cut.txt "$lines" "The report is cut short: its last line does not end in a line feed."
head -c -1 new.txt >no-final-lf.txt
refused "final line feed missing" no-final-lf.txt "$lines" \
  "The report is cut short: its last line does not end in a line feed."
line=$(grep -n '^description=Third$' new.txt | cut -d: -f1)
sed 's/^description=Third$/description=\xff\xfe/' new.txt >not-utf8.txt
refused "invalid UTF-8" not-utf8.txt "$line" "The line is not valid UTF-8."

run_qvdiff device NUL new.txt
e2e_check_text "NUL as a report: the message" \
  "Couldn't read NUL: It is not a file but a device, a pipe or a folder."$'\n' "$E2E_WORK/device.err"
e2e_check_status "NUL as a report: status" device 2

# A folder is no report either: said as for NUL, not as the "Access denied" that
# Windows gives for opening it.
mkdir -p 'a folder'
run_qvdiff folder old.txt 'a folder'
e2e_check_text "a folder as a report: the message" \
  "Couldn't read a folder: It is not a file but a device, a pipe or a folder."$'\n' "$E2E_WORK/folder.err"
e2e_check_status "a folder as a report: status" folder 2

run_qvdiff missing 'manquant é日本.txt' new.txt
e2e_check_text "missing file: the message" \
  "Couldn't read manquant é日本.txt: File not found. (os error 2)"$'\n' "$E2E_WORK/missing.err"
e2e_check_status "missing file: status" missing 2

run_qvdiff usage old.txt
e2e_check_text "one argument: the usage line" \
  "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv."$'\n' "$E2E_WORK/usage.err"
e2e_check_status "one argument: status" usage 2

# Standard output as qv.exe keeps it, with trouble's status: a full one said once,
# a reader that has left silent, none at all no failure.
wine "$E2E_QVDIFF" old.txt new.txt >/dev/full 2>"$E2E_WORK/full.err"
echo $? >"$E2E_WORK/full.status"
e2e_check_text "full standard output: the message" \
  $'Couldn\'t write standard output: Disk full. (os error 112)\n' "$E2E_WORK/full.err"
e2e_check_status "full standard output: status" full 2
exec {pipe}> >(exit 0)
wait $!
wine "$E2E_QVDIFF" old.txt new.txt >&"$pipe" 2>"$E2E_WORK/left.err"
echo $? >"$E2E_WORK/left.status"
exec {pipe}>&-
e2e_check_text "reader left: no message" "" "$E2E_WORK/left.err"
e2e_check_status "reader left: status" left 2
wine "${E2E_NO_OUTPUT:?}" "$E2E_QVDIFF" old.txt new.txt 2>"$E2E_WORK/none.err"
echo $? >"$E2E_WORK/none.status"
e2e_check_text "no standard output: no message" "" "$E2E_WORK/none.err"
e2e_check_status "no standard output: status" none 1

e2e_finish

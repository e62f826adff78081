#!/usr/bin/env bash
# Standard output that can't be written: the report is still written whole and the
# status is 1, said once on standard error with the system's message, except when
# the reader has left (silent). A start without standard output at all (a service, a
# detached start) is no failure. A standard error that can't be written changes
# nothing but the message.
source "$(dirname "$0")/lib.sh"
: "${E2E_NO_OUTPUT:?}"
cp "$E2E_QV" qv.exe
cp "$E2E_NO_OUTPUT" no_output.exe

wine qv.exe reference.txt >/dev/null 2>&1 || e2e_fail "the reference report was not written"

# check NAME STATUS STDERR: NAME.txt is the reference report, NAME.err holds STDERR
# and the run ended with STATUS (in NAME.status).
check() {
  local name=$1
  e2e_check_bytes "$name: report written whole" reference.txt "$name.txt"
  e2e_check_text "$name: standard error" "$3" "$E2E_WORK/$name.err"
  e2e_check_status "$name: status" "$name" "$2"
}
# ran STATUS NAME: keeps the status of the command just run.
ran() { echo "$1" >"$E2E_WORK/$2.status"; }

# A full disk, in Wine's words.
full=$'Couldn\'t write standard output: Disk full. (os error 112)\n'
wine qv.exe full.txt >/dev/full 2>"$E2E_WORK/full.err"
ran $? full
check full 1 "$full"

wine qv.exe >/dev/full 2>"$E2E_WORK/full-listing.err"
ran $? full-listing
e2e_check_text "listing on a full standard output: standard error" "$full" "$E2E_WORK/full-listing.err"
e2e_check_status "listing on a full standard output: status" full-listing 1

# What a closed descriptor becomes is Wine's business (it gives "Invalid handle.",
# code 6); the rule is one line with the system's message and code.
wine qv.exe closed.txt >&- 2>"$E2E_WORK/closed.err"
ran $? closed
e2e_check_bytes "closed: report written whole" reference.txt closed.txt
e2e_check_status "closed: status" closed 1
if [[ $(wc -l <"$E2E_WORK/closed.err") != 1 ]] ||
  ! grep -Eq "^Couldn't write standard output: .+ \(os error [0-9]+\)$" "$E2E_WORK/closed.err"; then
  e2e_fail "closed: standard error is not one line with a message and code: $(cat -A "$E2E_WORK/closed.err")"
else
  echo "ok: closed: standard error"
fi

# A pipe whose reader has already gone, as when `qv.exe | more` is quit early.
exec {pipe}> >(exit 0)
wait $!
wine qv.exe left.txt >&"$pipe" 2>"$E2E_WORK/left.err"
ran $? left
exec {pipe}>&-
check left 1 ""

wine no_output.exe qv.exe none.txt 2>"$E2E_WORK/none.err"
ran $? none
check none 0 ""
wine no_output.exe qv.exe 2>"$E2E_WORK/none-listing.err"
ran $? none-listing
e2e_check_text "listing without standard output: standard error" "" "$E2E_WORK/none-listing.err"
e2e_check_status "listing without standard output: status" none-listing 0
wine no_output.exe --no-error qv.exe missing/r.txt 2>/dev/null
ran $? none-failed
e2e_check_status "failed write without any output stream: status" none-failed 1

wine qv.exe missing/r.txt >/dev/null 2>/dev/full
ran $? full-error
e2e_check_status "write failure with a full standard error: status" full-error 1

e2e_finish

#!/usr/bin/env bash
# A cmd.exe planted in the program's folder and in the current directory is never
# run: the OS text still comes from the system's interpreter.
source "$(dirname "$0")/lib.sh"
: "${E2E_FAKE_CMD:?}" "${E2E_BARE_CMD:?}"
c=$E2E_SOURCE/cases

mkdir bin
cp "$E2E_QV" bin/qv.exe
cp "$E2E_FAKE_CMD" bin/cmd.exe
cp "$E2E_FAKE_CMD" cmd.exe

# The plants would be found: a program that starts "cmd" by bare name runs the one
# beside itself, and without that one the one in the current directory.
cp "$E2E_BARE_CMD" bin/bare.exe
check_plant_runs() {
  wine bin/bare.exe >"$E2E_WORK/fake.out" 2>/dev/null
  e2e_check_text "$1 answers a bare \"cmd\"" $'\r\nFake [Version 9.9.9]\r\n' "$E2E_WORK/fake.out"
  [[ -e $2 ]] || e2e_fail "$1 left no mark"
  rm -f "$2"
}
check_plant_runs "the cmd.exe beside the program" bin/cmd-ran.txt
mv bin/cmd.exe bin/cmd.away
check_plant_runs "the cmd.exe in the current directory" cmd-ran.txt
mv bin/cmd.away bin/cmd.exe
rm bin/bare.exe

wine bin/qv.exe >"$E2E_WORK/list.out" 2>"$E2E_WORK/list.err"
echo $? >"$E2E_WORK/list.status"
e2e_expected "$c/wine.summary" "$c/wine-before.listing" "$c/wine-after.listing" >"$E2E_WORK/list.expected"
e2e_check_bytes "listing with the OS of the system's cmd" "$E2E_WORK/list.expected" "$E2E_WORK/list.out"
e2e_check_status "listing: status" list 0

wine bin/qv.exe report.txt >/dev/null 2>&1
printf 'os=6.1.7601\n' >"$E2E_WORK/os.expected"
sed -n 3p report.txt >"$E2E_WORK/os.line"
e2e_check_bytes "report: os line" "$E2E_WORK/os.expected" "$E2E_WORK/os.line"

[[ -e bin/cmd-ran.txt ]] && e2e_fail "the cmd.exe beside the program ran"
[[ -e cmd-ran.txt ]] && e2e_fail "the cmd.exe in the current directory ran"
e2e_finish

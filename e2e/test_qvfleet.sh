#!/usr/bin/env bash
# qvfleet.exe on a share of reports that qv.exe wrote, a day apart, with the machine
# changed in between (as for qvdiff), and a file that is no report: the index run,
# a second run that finds everything known, also through other spellings of the
# share (one file, one snapshot), every question, a refused write, the export, the
# page (the same bytes as the native qvfleet's, E2E_NATIVE_QVFLEET), and last-write
# times kept to Windows' 100 ns.
source "$(dirname "$0")/lib.sh"
: "${E2E_QVFLEET:?}"
c=$E2E_SOURCE/cases
host=$(<"$E2E_PRISTINE.host")

# run_qvfleet NAME ARG...: e2e_run of qvfleet.exe.
run_qvfleet() {
  local name=$1
  shift
  e2e_run "$name" "$E2E_QVFLEET" "$@"
}

# check NAME STATUS OUT ERR: the run NAME ended with STATUS and printed OUT and ERR.
check() {
  e2e_check_status "$1: status" "$1" "$2"
  e2e_check_text "$1: standard output" "$3" "$E2E_WORK/$1.out"
  e2e_check_text "$1: standard error" "$4" "$E2E_WORK/$1.err"
}

mkdir -p "share/$host"
old=share/$host/2026-12-06.txt
new=share/$host/2026-12-07.txt
e2e_reports_before_and_after "$old" "$new"
touch -d '2026-12-06 06:00:00 UTC' "$old"
touch -d '2026-12-07 06:00:00 UTC' "$new"
printf 'notes, not a report\n' >share/notes.txt
notes=$(winepath -w "$PWD/share/notes.txt" 2>/dev/null)
refused="$notes, line 1: The first line is not \"qvdev1\"."$'\n'

run_qvfleet index index fleet.db share
check index 1 $'2 indexed, 0 already known, 1 refused\n' "$refused"
run_qvfleet again index fleet.db share "$new"
check again 1 $'0 indexed, 2 already known, 1 refused\n' "$refused"
# Windows names a file in any case and through "..": each spelling is the same file.
run_qvfleet spelled index fleet.db SHARE 'Share\..\share\' "${new^^}"
check spelled 1 $'0 indexed, 2 already known, 1 refused\n' "$refused"

devices=$(grep -c '^\[device\]$' "$new")
no_driver=$((devices - $(grep -c '^driver_ver=' "$new")))
run_qvfleet hosts hosts fleet.db
check hosts 0 "host	taken_at	os	arch	server	devices	no_driver
$host	2026-12-07T06:00:00Z	6.1.7601	amd64	0	$devices	$no_driver
" ""

run_qvfleet changes changes fleet.db
{
  printf 'between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z %s\n' "$host"
  e2e_expected "$c/qvdiff.diff"
} >"$E2E_WORK/changes.expected"
e2e_check_bytes "changes: qvdiff's words" "$E2E_WORK/changes.expected" "$E2E_WORK/changes.out"
e2e_check_status "changes: status" changes 0

run_qvfleet find find fleet.db 'qvdiff\arrives'
check find 0 "host	taken_at	instance_id	description	driver_ver
$host	2026-12-07T06:00:00Z	ROOT\\QVDIFF\\0003	Arrivée 日本 😀	2024-02-29 1.0.0.0
" ""

run_qvfleet drivers drivers fleet.db 'WINE ADAPTER'
check drivers 0 "provider	description	inf	version	date	hosts
	Wine Adapter	display.inf	31.0.101.4502	$(e2e_adapter_date)	1
" ""

run_qvfleet write sql fleet.db "DELETE FROM snapshot"
check write 2 "" $'The index is opened only to read: DELETE is refused.\n'

run_qvfleet export export fleet.db exported
check export 0 "exported 9 tables to exported"$'\n' ""
for file in host report snapshot driver device_state device_id report_device report_driver repeated_device; do
  [[ -s exported/$file.csv ]] || e2e_fail "export: exported/$file.csv is missing or empty"
done
[[ -s exported/schema.sql && -s exported/load.sql ]] || e2e_fail "export: no schema.sql or load.sql"

# The page holds no clock's time: qvfleet.exe writes the same bytes as the native
# qvfleet does for the same index.
title=$'Wine <fleet> & \xc3\xa9t\xc3\xa9'
run_qvfleet page page fleet.db fleet.html --title "$title"
e2e_check_status "page: status" page 0
grep -q '^wrote fleet\.html: 1 host, 2 snapshots, [0-9]* drivers, [0-9]* bytes$' "$E2E_WORK/page.out" ||
  e2e_fail "page: summary line: $(cat "$E2E_WORK/page.out" "$E2E_WORK/page.err")"
if [[ ! -x ${E2E_NATIVE_QVFLEET:-} ]]; then
  e2e_fail "page: the native qvfleet (${E2E_NATIVE_QVFLEET:-}) is missing: build the native preset first"
else
  "$E2E_NATIVE_QVFLEET" page fleet.db native.html --title "$title" >/dev/null
  e2e_check_bytes "page: the same bytes as the native qvfleet" native.html fleet.html
fi
# A typo that names the index, in another spelling, is refused before anything is written.
cp fleet.db index-before.db
run_qvfleet page-index page fleet.db .\\FLEET.DB
check page-index 2 "" $'Couldn\'t write .\\FLEET.DB: that is the index itself.\n'
e2e_check_bytes "page-index: the index is as it was" index-before.db fleet.db

# A report rewritten within the same second, with the same size, is a new snapshot.
later=share/$host/2026-12-08.txt
cp "$new" "$later"
touch -d '2026-12-08 06:00:00.25 UTC' "$later"
run_qvfleet later index fleet.db share
check later 1 $'1 indexed, 2 already known, 1 refused\n' "$refused"
touch -d '2026-12-08 06:00:00.7500001 UTC' "$later"
run_qvfleet rewritten index fleet.db share
check rewritten 1 $'1 indexed, 2 already known, 1 refused\n' "$refused"
run_qvfleet times sql fleet.db "SELECT taken_at, mtime_ns % 1000000000 AS ns FROM snapshot
    WHERE path LIKE '%2026-12-08.txt' ORDER BY snapshot_id"
check times 0 $'taken_at\tns\n2026-12-08T06:00:00Z\t250000000\n2026-12-08T06:00:00Z\t750000100\n' ""

# A path beyond MAX_PATH is walked and read too.
deep=share/$host/$(printf 'folder-%03d/' $(seq 1 30))
mkdir -p "$deep" && cp -p "$new" "$deep/deep.txt"
run_qvfleet deep index fleet.db share
check deep 1 $'1 indexed, 3 already known, 1 refused\n' "$refused"

e2e_finish

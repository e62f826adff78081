#!/usr/bin/env bash
# collect/qv-collect.cmd run by Wine's own cmd, as a scheduled task or a startup script
# runs it: one row per kind of share, each checking what the script prints, its status,
# and every file of the share after it.
source "$(dirname "$0")/lib.sh"
host=$(<"$E2E_PRISTINE.host")
mkdir tools
cp "$E2E_QV" tools/qv.exe
cp "$E2E_SOURCE/../collect/qv-collect.cmd" tools/
# A computer name may be up to 15 characters. Wine takes its own from the host name, so
# this one is set by a script that then calls the collector.
printf '@set COMPUTERNAME=ABCDEFGHIJKLMNO\r\n@call "%%~dp0qv-collect.cmd" %%*\r\n' >tools/long-name.cmd

# cmd reads a batch file by offsets into it, and with LF alone can miss a label.
grep -qv $'\r$' tools/qv-collect.cmd && e2e_fail "qv-collect.cmd has a line without CR LF"

e2e_run_qv direct direct.txt
e2e_check_status "the report qv.exe writes itself" direct 0
digest() { sha256sum | cut -c1-16; }
REPORT=$(digest <direct.txt)
OLD=$(printf 'old\n' | digest)
# qv names the host after COMPUTERNAME too.
LONG=$(sed "2s/.*/host=ABCDEFGHIJKLMNO/" direct.txt | digest)

# files FOLDER: every file and folder under FOLDER in name order, a file with its digest.
files() {
  (cd "$1" && find . -mindepth 1 -print0 | LC_ALL=C sort -z |
    while IFS= read -r -d '' path; do
      if [[ -d $path ]]; then printf '%s/\n' "$path"; else printf '%s %s\n' "$path" "$(digest <"$path")"; fi
    done)
}

# row LABEL SCRIPT SHARE STATUS STDERR FILES: cmd runs tools/SCRIPT on the share, given
# as a Windows path, or as one under this folder when it starts with ./: nothing on
# standard output, STDERR on standard error (cmd ends its lines in CR LF), STATUS, and
# then the share holds FILES, or "-" when it is not looked at. @SHARE@ in STDERR is the
# share as given, less a backslash at its end.
row() {
  local label=$1 script=$2 share=$3 status=$4 error=$5 expected=$6 argument=$3
  [[ $share == ./* ]] && argument=Z:${PWD//\//\\}\\${share#./}
  e2e_run collect cmd /c "Z:${PWD//\//\\}\\tools\\$script" "$argument"
  e2e_check_text "$label: standard output" "" "$E2E_WORK/collect.out"
  e2e_check_text "$label: standard error" "${error//@SHARE@/"${argument%\\}"}" "$E2E_WORK/collect.err"
  e2e_check_status "$label: status" collect "$status"
  if [[ $expected != - ]]; then
    files "${share%\\}" >"$E2E_WORK/files"
    e2e_check_text "$label: the share's files" "$expected" "$E2E_WORK/files"
  fi
}

mkdir share
row "first run" qv-collect.cmd ./share 0 "" "./$host/
./$host/$host.txt $REPORT
"
printf 'old\n' >"share/$host/$host.txt"
row "second run, the report replaced" qv-collect.cmd ./share 0 "" "./$host/
./$host/$host.txt $REPORT
"
# The machine's folder is there with a file of someone else's, left as it is.
mkdir -p "R&D share (1)/$host"
printf 'old\n' >"R&D share (1)/$host/notes.txt"
row "a share path with spaces, & and parentheses, the folder there already" qv-collect.cmd "./R&D share (1)" 0 "" \
  "./$host/
./$host/$host.txt $REPORT
./$host/notes.txt $OLD
"
mkdir long
row "the longest computer name" long-name.cmd ./long 0 "" "./ABCDEFGHIJKLMNO/
./ABCDEFGHIJKLMNO/ABCDEFGHIJKLMNO.txt $LONG
"
row "no share given" qv-collect.cmd "" 2 $'Usage: qv-collect.cmd SHARE (for example \\\\server\\qv)\r\n' -
row "a share that can't be reached" qv-collect.cmd '\\qv-nowhere\qv' 3 \
  $'qv-collect: Couldn\'t reach the share @SHARE@.\r\n' -
row "a missing folder as the share" qv-collect.cmd "./R&D missing (2)" 3 \
  $'qv-collect: Couldn\'t reach the share @SHARE@.\r\n' -
[[ -e "R&D missing (2)" ]] && e2e_fail "a missing folder as the share: it was made"
# The machine's folder can't be made, or the report can't be written: a file stands where
# the folder would be, a folder where the report would be.
mkdir -p blocked "in-the-way/$host/$host.txt"
printf 'old\n' >"blocked/$host"
row "a file where the machine's folder goes" qv-collect.cmd ./blocked 4 \
  $'qv-collect: Couldn\'t make or open the folder @SHARE@\\'"$host"$'.\r\n' "./$host $OLD
"
# The share ends in a backslash, which the script drops: qv.exe names the path with one.
# (A path with spaces would reach cmd with the backslash doubled by Wine's quoting.)
row "a report qv.exe can't write" qv-collect.cmd "./in-the-way\\" 1 \
  $'Couldn\'t write @SHARE@\\'"$host\\$host"$'.txt: Access denied. (os error 5)\n' "./$host/
./$host/$host.txt/
"
rm tools/qv.exe
row "no qv.exe beside the script" qv-collect.cmd ./share 5 \
  $'qv-collect: There is no qv.exe beside this script (Z:'"${PWD//\//\\}"$'\\tools\\qv.exe).\r\n' -

e2e_finish

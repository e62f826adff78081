#!/usr/bin/env bash
# Every kind of report path, one row each: what qv.exe prints, its status, and what
# becomes of the file. A change to how the report is opened or written must keep every
# row; a new kind of path gets a row of its own.
source "$(dirname "$0")/lib.sh"
: "${E2E_PIPE_READER:?}"
c=$E2E_SOURCE/cases
e2e_expected "$c/wine-header.report" "$c/wine-before.report" "$c/wine-after.report" >"$E2E_WORK/report"
e2e_expected "$c/wine.summary" >"$E2E_WORK/summary"
cp "$E2E_QV" qv.exe

# The summary, then the "written" line after a report that was written, with the path's
# control characters as spaces.
expect_output() {
  local status=$1 argument=$2
  cat "$E2E_WORK/summary"
  [[ $status == 0 ]] && printf 'written   %s\n' "${argument//[[:cntrl:]]/ }"
}

# row LABEL ARGUMENT STATUS STDERR LANDS: runs qv.exe ARGUMENT and checks standard
# output (the summary, and the "written" line when STATUS is 0), STDERR and STATUS.
# LANDS is the file that must then hold the report, or "-" when none is looked at.
row() {
  local label=$1 argument=$2 status=$3 error=$4 lands=$5
  e2e_run_qv run "$argument"
  expect_output "$status" "$argument" >"$E2E_WORK/run.expected"
  e2e_check_bytes "$label: standard output" "$E2E_WORK/run.expected" "$E2E_WORK/run.out"
  e2e_check_text "$label: standard error" "$error" "$E2E_WORK/run.err"
  e2e_check_status "$label: status" run "$status"
  [[ $lands == - ]] || e2e_check_bytes "$label: the report" "$E2E_WORK/report" "$lands"
}

# Files on disk.
row "new file" new.txt 0 "" new.txt
row "non-ASCII name" 'rapport-é😀.txt' 0 "" 'rapport-é😀.txt'
mkdir sub
row "relative path with a backslash" 'sub\r.txt' 0 "" sub/r.txt
# Windows drops the dots at the end of a name.
row "trailing dot" 'dot.' 0 "" dot
# Longer than the report, with CR LF lines and no final line feed: nothing of it stays.
for i in $(seq 1 3000); do printf 'old line %d of a longer file\r\n' "$i"; done >long.txt
printf 'tail' >>long.txt
row "existing longer file" long.txt 0 "" long.txt
cp long.txt hidden.txt
wine cmd /c attrib +h +s hidden.txt >/dev/null 2>&1
attributes=$(wine cmd /c attrib hidden.txt 2>/dev/null)
row "hidden and system file" hidden.txt 0 "" hidden.txt
[[ $(wine cmd /c attrib hidden.txt 2>/dev/null) == "$attributes" ]] ||
  e2e_fail "hidden and system file: its attributes changed"
row "extra arguments" first.txt 0 "" first.txt
e2e_run_qv run second.txt third.txt
[[ -e third.txt ]] && e2e_fail "extra arguments: an argument after the path was written"

# A write cut short by a file-size limit, as by a full disk or a quota: status 1, the
# message of any failed write, the old report byte for byte, and no other file left.
cut_row() {
  local label=$1 file=$2
  ls -A >"$E2E_WORK/files.before"
  [[ -e $file ]] && cp "$file" "$E2E_WORK/old.bytes"
  (
    trap '' XFSZ
    exec prlimit --fsize=1026 wine qv.exe "$file" >"$E2E_WORK/cut.out" 2>"$E2E_WORK/cut.err"
  )
  echo $? >"$E2E_WORK/cut.status"
  e2e_check_bytes "$label: standard output" "$E2E_WORK/summary" "$E2E_WORK/cut.out"
  e2e_check_text "$label: standard error" \
    "Couldn't write $file: General failure. (os error 31)"$'\n' "$E2E_WORK/cut.err"
  e2e_check_status "$label: status" cut 1
  ls -A >"$E2E_WORK/files.after"
  e2e_check_bytes "$label: the folder's files" "$E2E_WORK/files.before" "$E2E_WORK/files.after"
  [[ -e $E2E_WORK/old.bytes ]] && e2e_check_bytes "$label: the old report" "$E2E_WORK/old.bytes" "$file"
  rm -f "$E2E_WORK/old.bytes"
}
cut_row "a write cut short, new path" cut.txt
cp new.txt old.txt
cut_row "a write cut short, old report" old.txt

# Links, and folders that keep what is made in them: the files around the report before
# and after, one line each (around), with every file's bytes as a digest.
digest() { sha256sum | cut -c1-16; }
REPORT=$(digest <"$E2E_WORK/report")
OLD=$(printf 'old\n' | digest)
EMPTY=$(digest </dev/null)

# around FOLDER...: every entry of the folders in name order: a link and the path it holds,
# or a file and its digest. A new file beside a report shows as .qv-PID-RANDOM.tmp, and the
# one Wine's ReplaceFileW makes for itself (rf and one to four hex digits) as rfNNNN.tmp.
around() {
  local path
  find "$@" -mindepth 1 -maxdepth 1 -print0 | LC_ALL=C sort -z |
    while IFS= read -r -d '' path; do
      if [[ -L $path ]]; then
        printf '%s -> %s\n' "$path" "$(readlink "$path")"
      else
        printf '%s %s\n' "$path" "$(digest <"$path")"
      fi
    done | sed -E 's/\.qv-[0-9]+-[0-9a-f]{16}\.tmp /.qv-PID-RANDOM.tmp /; s/\/rf[0-9a-f]{1,4}\.tmp /\/rfNNNN.tmp /'
}

# around_row LABEL ARGUMENT STATUS STDERR FOLDERS BEFORE AFTER: row, with the files of
# FOLDERS (one word each) as BEFORE says, then as AFTER says.
around_row() {
  local label=$1 argument=$2 status=$3 error=$4 folders=$5 before=$6 after=$7
  # shellcheck disable=SC2086 # one word each
  around $folders >"$E2E_WORK/around.before"
  e2e_check_text "$label: the files before" "$before" "$E2E_WORK/around.before"
  row "$label" "$argument" "$status" "$error" -
  # shellcheck disable=SC2086
  around $folders >"$E2E_WORK/around.after"
  e2e_check_text "$label: the files after" "$after" "$E2E_WORK/around.after"
}

# A link's file is the report, made or replaced beside it; the link stays a link.
mkdir links elsewhere
printf 'old\n' >elsewhere/pc.txt
ln -s ../elsewhere/pc.txt links/r.txt
ln -s ../elsewhere/new.txt links/dangling.txt
ln -s ../missing/r.txt links/nowhere.txt
around_row "a link to a report in another folder" 'links\r.txt' 0 "" "links elsewhere" \
  "elsewhere/pc.txt $OLD
links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
" "elsewhere/pc.txt $REPORT
links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
"
around_row "a link to a missing file" 'links\dangling.txt' 0 "" "links elsewhere" \
  "elsewhere/pc.txt $REPORT
links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
" "elsewhere/new.txt $REPORT
elsewhere/pc.txt $REPORT
links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
"
# A link into a missing folder is refused in the system's words: Wine's are these.
around_row "a link into a missing folder" 'links\nowhere.txt' 1 \
  $'Couldn\'t write links\\nowhere.txt: File not found. (os error 2)\n' "links" \
  "links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
" "links/dangling.txt -> ../elsewhere/new.txt
links/nowhere.txt -> ../missing/r.txt
links/r.txt -> ../elsewhere/pc.txt
"

# A drop box: an append-only folder takes new files but lets none be renamed or removed.
# The report is written in place; the new file beside it stays, empty, and so does the
# file Wine's ReplaceFileW makes for itself there.
mkdir dropbox
printf 'old\n' >dropbox/r.txt
if ! chattr +a dropbox 2>/dev/null; then
  echo "skipped: append-only folder (chattr +a refused here)"
else
  around_row "append-only folder" 'dropbox\r.txt' 0 "" dropbox "dropbox/r.txt $OLD
" "dropbox/.qv-PID-RANDOM.tmp $EMPTY
dropbox/r.txt $REPORT
dropbox/rfNNNN.tmp $EMPTY
"
  around_row "append-only folder, new path" 'dropbox\new.txt' 0 "" dropbox \
    "dropbox/.qv-PID-RANDOM.tmp $EMPTY
dropbox/r.txt $REPORT
dropbox/rfNNNN.tmp $EMPTY
" "dropbox/.qv-PID-RANDOM.tmp $EMPTY
dropbox/.qv-PID-RANDOM.tmp $EMPTY
dropbox/new.txt $REPORT
dropbox/r.txt $REPORT
dropbox/rfNNNN.tmp $EMPTY
"
  chattr -a dropbox
fi

# Paths that can't be written.
row "missing folder" 'missing/report.txt' 1 $'Couldn\'t write missing/report.txt: Path not found. (os error 3)\n' -
row "missing folder, backslash" 'missing\report.txt' 1 $'Couldn\'t write missing\\report.txt: Path not found. (os error 3)\n' -
[[ -e missing ]] && e2e_fail "missing folder: it was created"
mkdir folder
row "a folder" folder 1 $'Couldn\'t write folder: Access denied. (os error 5)\n' -
[[ -d folder ]] || e2e_fail "a folder: it is gone"
row "the empty argument" '' 1 $'Couldn\'t write : Path not found. (os error 3)\n' -
row "a pipe that does not exist" '\\.\pipe\qv-none' 1 \
  $'Couldn\'t write \\\\.\\pipe\\qv-none: File not found. (os error 2)\n' -
row "a control character in the path" $'\\\\.\\pipe\\qv-none\nx' 1 \
  $'Couldn\'t write \\\\.\\pipe\\qv-none x: File not found. (os error 2)\n' -
printf 'old\n' >read-only.txt
wine cmd /c attrib +r read-only.txt >/dev/null 2>&1
if ((EUID == 0)); then
  echo "skipped: read-only file (Wine run as root writes a read-only file like any other)"
else
  row "read-only file" read-only.txt 1 $'Couldn\'t write read-only.txt: Access denied. (os error 5)\n' -
  e2e_check_text "read-only file: left as it was" $'old\n' read-only.txt
fi

# Up to ten seconds for a pipe reader of ours to say, by the file ready, that its pipe is
# there.
await_ready() { for _ in $(seq 1 200); do [[ -e ready ]] && return; sleep 0.05; done; }

# A report another program has open, here through cmd's redirection for as long as a
# pipe reader of ours waits: refused in the system's words, left as it was, nothing
# new beside it. Then qv.exe itself, writing into the pipe, lets the holder go.
printf 'old\n' >held.txt
cp "$E2E_PIPE_READER" holder.exe
rm -f ready
wine cmd /c 'holder.exe \\.\pipe\qv-hold ready held.bin >>held.txt' 2>"$E2E_WORK/holder.err" &
holder=$!
await_ready
ls -A >"$E2E_WORK/files.before"
row "a report another program has open" held.txt 1 \
  $'Couldn\'t write held.txt: Sharing violation. (os error 32)\n' -
e2e_check_text "a report another program has open: left as it was" $'old\n' held.txt
ls -A >"$E2E_WORK/files.after"
e2e_check_bytes "a report another program has open: the folder's files" \
  "$E2E_WORK/files.before" "$E2E_WORK/files.after"
e2e_run_qv release '\\.\pipe\qv-hold'
wait "$holder" || e2e_fail "a report another program has open: the holder failed: $(cat "$E2E_WORK/holder.err")"

# Devices and pipes: written as they come, never cut.
row "NUL" NUL 0 "" -
row "NUL by its device path" '\\.\NUL' 0 "" -
[[ -e NUL || -e nul ]] && e2e_fail "NUL: a file was made"

# A named pipe whose reader, a program of ours, keeps what arrives.
rm -f ready piped.bin
wine "$E2E_PIPE_READER" '\\.\pipe\qv-report' ready piped.bin 2>"$E2E_WORK/reader.err" &
reader=$!
await_ready
row "a named pipe with a reader" '\\.\pipe\qv-report' 0 "" piped.bin
wait "$reader" || e2e_fail "a named pipe with a reader: the reader failed: $(cat "$E2E_WORK/reader.err")"
# A pipe's name may hold a line feed; the written line shows it as a space.
rm -f ready piped.bin
wine "$E2E_PIPE_READER" $'\\\\.\\pipe\\qv\nreport' ready piped.bin 2>"$E2E_WORK/reader.err" &
reader=$!
await_ready
row "a pipe named with a line feed" $'\\\\.\\pipe\\qv\nreport' 0 "" piped.bin
wait "$reader" || e2e_fail "a pipe named with a line feed: the reader failed: $(cat "$E2E_WORK/reader.err")"

# CON on a console: on a pseudo-terminal Wine hands qv.exe a console, and the report
# arrives there after the summary. The terminal's CRs and escape sequences are taken off.
script -qec "stty cols 200 rows 50; wine qv.exe CON 2>'$E2E_WORK/con.err'; echo \$? >'$E2E_WORK/con.status'" \
  /dev/null </dev/null >"$E2E_WORK/terminal.bytes"
tr -d '\r' <"$E2E_WORK/terminal.bytes" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' >"$E2E_WORK/con.out"
{ cat "$E2E_WORK/summary" "$E2E_WORK/report"; printf 'written   CON\n'; } >"$E2E_WORK/con.expected"
e2e_check_bytes "CON on a console: the summary, the report and the written line" \
  "$E2E_WORK/con.expected" "$E2E_WORK/con.out"
e2e_check_text "CON on a console: standard error" "" "$E2E_WORK/con.err"
e2e_check_status "CON on a console: status" con 0

e2e_finish

#!/usr/bin/env bash
# The fleet index under faults and concurrency, with the native qvfleet on a
# generated share of 400 reports:
#  - an index run killed with SIGKILL at a random moment, at least 20 times, each
#    time resumed: the index passes integrity_check, holds only whole snapshots,
#    and is complete after one more run;
#  - questions asked while a run writes: every one answered;
#  - two runs at once on a new index, 10 times: each ends with 0 or says the index
#    is busy (2); the index stays whole and one more run completes it;
#  - the classes of share an administrator has (the index inside it, links, qv's
#    temporary files, a second spelling, a file rewritten while it is read, what
#    is no file, a foreign database, a full disk, a read-only index...): one
#    table, each row with its status, summary line and count of snapshots.
# Usage: test_faults_posix.sh QVFLEET GENERATOR
set -uo pipefail
qvfleet=${1:?usage: test_faults_posix.sh QVFLEET GENERATOR}
generator=${2:?usage: test_faults_posix.sh QVFLEET GENERATOR}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-faults.XXXXXX")
trap 'kill -9 $(jobs -p) 2>/dev/null; mountpoint -q "$work/full" && umount "$work/full"; rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/check_indexes.sh"
cd "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

python3 "$generator" daily share --hosts 40 --days 10 --devices 250 --seed 7 >/dev/null || exit 1
files=$(find share -type f | wc -l)
echo "share: $files reports, $(du -sh share | cut -f1)"

# whole DB LABEL: the index passes integrity_check and every report has all its devices.
whole() {
  local check
  check=$("$qvfleet" sql "$1" "PRAGMA integrity_check" 2>&1)
  [[ $check == $'integrity_check\nok' ]] || fail "$2: integrity_check says: $check"
  check=$("$qvfleet" sql "$1" "SELECT count(*) AS broken FROM report AS r WHERE devices <>
      (SELECT coalesce(sum(copies), 0) FROM report_device WHERE report_id = r.report_id)
      OR NOT EXISTS (SELECT 1 FROM snapshot WHERE report_id = r.report_id)" 2>&1)
  [[ $check == $'broken\n0' ]] || fail "$2: reports that are not whole: $check"
}
snapshots() { "$qvfleet" sql "$1" "SELECT count(*) FROM snapshot" | tail -n 1; }
still_empty() {
  [[ $("$qvfleet" sql "$1" "SELECT 1" 2>&1) == *": It is not a fleet index: it is empty." ]]
}

# The classes of share, each in a folder of its own: a case function makes the
# share in $PWD and runs qvfleet, the last run giving the row's outcome
# (`last ARG...`); a row is NAME|STATUS|SUMMARY|SNAPSHOTS, where SUMMARY's N is
# the count of snapshots (what a run stopped by trouble says it indexed) and
# SNAPSHOTS "-" is a file that is no index of ours.
python3 "$generator" daily small --hosts 2 --days 1 --devices 5 --seed 3 >/dev/null || exit 1
small_share=$PWD/small
last() {
  timeout 60 nice -n "${last_niced:-0}" "$qvfleet" "$@" >out 2>err
  echo $? >status
}
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
# root reads everything: what a user can't read needs a run as another user.
can_be_nobody() {
  ((EUID == 0)) && command -v setpriv >/dev/null && return 0
  echo "SKIP $row: runs as another user need root and setpriv"
  return 1
}
said() { grep -qxF -- "$1" err || fail "$row: standard error does not say: $1 ($(head -c 600 err))"; }
copy_share() { cp -r "$small_share" share; }

case_index_inside() {
  copy_share
  "$qvfleet" index share/fleet.db share >/dev/null 2>&1
  last index share/fleet.db share
  index=share/fleet.db
  [[ ! -s err ]] || fail "$row: $(cat err)"
}
case_links() {
  copy_share
  local one=(share/*/*.txt)
  ln -s "$PWD/${one[0]}" share/link.txt
  ln "${one[1]}" share/hard.txt
  ln -s "$PWD/share" share/again
  ln -s .. "$(dirname "${one[0]}")/up"
  last index fleet.db share share/again "$(dirname "${one[0]}")"
}
# qv's temporary files: one being written (cut short, held open) and one a
# stopped run left whole, the latter also named; neither is read nor counted.
case_qv_temporary() {
  copy_share
  local one=(share/*/*.txt)
  head -c 20 "${one[0]}" >"$(dirname "${one[0]}")/.qv-4242-0.tmp"
  exec 3>>"$(dirname "${one[0]}")/.qv-4242-0.tmp"
  sed 's/^host=.*/host=LEFT-BEHIND/' "${one[1]}" >share/.qv-77-1f2e3d4c.tmp
  last index fleet.db share share/.qv-77-1f2e3d4c.tmp
  exec 3>&-
  [[ ! -s err ]] || fail "$row: $(cat err)"
  local kept
  kept=$("$qvfleet" sql fleet.db "SELECT count(*) FROM snapshot WHERE path LIKE '%.tmp'
      UNION ALL SELECT count(*) FROM host WHERE name = 'LEFT-BEHIND'" | tail -n +2 | tr '\n' ' ')
  [[ $kept == "0 0 " ]] || fail "$row: the index holds temporary files: $kept"
}
case_second_spelling() {
  copy_share
  ln -s share alias
  "$qvfleet" index fleet.db share >/dev/null 2>&1
  last index fleet.db "./share/../share/" alias "$PWD/share"
}
case_same_size_same_second() {
  copy_share
  local one=(share/*/*.txt)
  touch -d '2026-12-07 06:00:00.100 UTC' "${one[0]}"
  "$qvfleet" index fleet.db share >/dev/null 2>&1
  sed -i 's/^os=./os=X/' "${one[0]}"
  touch -d '2026-12-07 06:00:00.200 UTC' "${one[0]}"
  last index fleet.db share
}
case_rewritten_while_read() {
  mkdir share
  { printf 'qvdev1\nhost=BUSY\n'; head -c 100000000 /dev/zero | tr '\0' x; } >share/busy.txt
  python3 -c 'import os, sys
t = 0
while True:
    t += 1
    os.utime(sys.argv[1], ns=(t, t))' share/busy.txt &
  local toucher=$!
  until [[ $(stat -c %Y share/busy.txt) == 0 ]]; do sleep 0.01; done
  # Behind the toucher, so that a busy machine never lets a whole reading pass untouched.
  last_niced=19 last index fleet.db share
  kill "$toucher"
  wait "$toucher" 2>/dev/null
  said "Couldn't read $PWD/share/busy.txt: It changed while it was read, twice in a row."
}
case_no_files() {
  copy_share
  mkfifo share/fifo fifo
  ln -s "$PWD/share/gone.txt" share/dangling.txt
  ln -s /dev/zero share/zero.txt
  last index fleet.db share missing ./fifo
  said "Couldn't read $PWD/share/fifo: It is not a file but a device, a pipe or a folder."
  said "Couldn't read $PWD/share/dangling.txt: It is a link to a file or folder that does not exist."
  said "Couldn't read $PWD/share/zero.txt: It is not a file but a device, a pipe or a folder."
  said "Couldn't read missing: There is no such file or folder."
  said "Couldn't read ./fifo: It is not a file but a device, a pipe or a folder."  # as typed
}
case_beyond_the_limit() {
  mkdir share
  printf 'qvdev1\nhost=HUGE\n' >share/huge.txt
  truncate -s 300M share/huge.txt
  last index fleet.db share
  said "Couldn't read $PWD/share/huge.txt: It holds more than 268435456 bytes, the most a report may hold."
}
case_unreadable() {
  can_be_nobody || return 1
  copy_share
  local one=(share/*/*.txt)
  mkdir share/locked
  cp "${one[0]}" share/locked/
  chmod 000 share/locked "${one[0]}"
  chmod 777 .
  as_nobody "$qvfleet" index fleet.db share >out 2>err
  echo $? >status
  said "Couldn't read $PWD/${one[0]}: Permission denied. (os error 13)"
  said "Couldn't read $PWD/share/locked: Permission denied. (os error 13)"
}
case_foreign_database() {
  copy_share
  python3 -c 'import sqlite3; c = sqlite3.connect("fleet.db"); c.execute("CREATE TABLE t (x)"); c.commit()'
  cp fleet.db before.db
  last index fleet.db share
  cmp -s fleet.db before.db || fail "$row: the foreign database was changed"
  [[ ! -e fleet.db-wal ]] || fail "$row: a -wal file was left beside the foreign database"
}
case_full_disk() {
  mkdir full
  if ! mount -t tmpfs -o size=4m tmpfs full 2>/dev/null; then
    echo "SKIP $row: a tmpfs can't be mounted here (not root, or no mount rights)"
    return 1
  fi
  last index full/fleet.db ../share
  grep -q 'Database or disk is full' err || fail "$row: no word of the full disk: $(cat err)"
  index=full/fleet.db
}
case_read_only_index() {
  can_be_nobody || return 1
  copy_share
  "$qvfleet" index fleet.db share >/dev/null 2>&1
  chmod 755 . && chmod 644 fleet.db*
  as_nobody "$qvfleet" hosts fleet.db >out 2>err
  echo $? >status
  [[ $(wc -l <out) == 3 ]] || fail "$row: hosts gave $(cat out)"
}

chmod 755 "$work"
rows=(
  "index_inside|0|0 indexed, 2 already known, 0 refused|2"
  "links|0|2 indexed, 0 already known, 0 refused|2"
  "qv_temporary|0|2 indexed, 0 already known, 0 refused|2"
  "second_spelling|0|0 indexed, 2 already known, 0 refused|2"
  "same_size_same_second|0|1 indexed, 1 already known, 0 refused|3"
  "rewritten_while_read|1|0 indexed, 0 already known, 1 refused|0"
  "no_files|1|2 indexed, 0 already known, 5 refused|2"
  "beyond_the_limit|1|0 indexed, 0 already known, 1 refused|0"
  "unreadable|1|1 indexed, 0 already known, 2 refused|1"
  "foreign_database|2|0 indexed, 0 already known, 0 refused|-"
  "full_disk|2|N indexed, 0 already known, 0 refused|N"
  "read_only_index|0||2"
)
for entry in "${rows[@]}"; do
  IFS='|' read -r row want_status want_summary want_snapshots <<<"$entry"
  mkdir "class-$row" && pushd "class-$row" >/dev/null || exit 1
  index=fleet.db
  if "case_$row"; then
    got_snapshots=-
    [[ $want_snapshots == - ]] || got_snapshots=$("$qvfleet" sql "$index" "SELECT count(*) FROM snapshot" 2>&1 | tail -n 1)
    [[ $want_snapshots == N ]] && want_snapshots=$got_snapshots
    want_summary=${want_summary/#N /$got_snapshots }
    [[ $(<status) == "$want_status" ]] || fail "$row: status $(<status), not $want_status: $(head -c 600 err)"
    if [[ -n $want_summary ]]; then
      [[ $(<out) == "$want_summary" ]] || fail "$row: summary '$(<out)', not '$want_summary'"
    fi
    [[ $got_snapshots == "$want_snapshots" ]] || fail "$row: $got_snapshots snapshots, not $want_snapshots"
  fi
  mountpoint -q full && umount full
  popd >/dev/null || exit 1
done
echo "share classes: ${#rows[@]} rows"

# Killed at random moments until 20 kills have landed while a run was writing; a
# run that ended before its kill has completed the index, which is checked and
# started anew.
# The kills fall anywhere within the time a whole run takes on this machine.
start=$(date +%s%N)
"$qvfleet" index timed.db share >/dev/null 2>&1 || fail "a whole run failed"
run_ms=$((($(date +%s%N) - start) / 1000000 + 1))
landed=0
rounds=0
completed=0
while ((landed < 20 && rounds < 80)); do
  rounds=$((rounds + 1))
  "$qvfleet" index killed.db share >/dev/null 2>&1 &
  pid=$!
  sleep "$(((RANDOM * 32768 + RANDOM) % run_ms))e-3"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  status=$?
  if ((status == 128 + 9)); then
    landed=$((landed + 1))
    # A kill before the schema's commit leaves an empty database, which the
    # next run makes an index; any other file must be a whole index.
    [[ -e killed.db ]] && ! still_empty killed.db && whole killed.db "kill $landed"
  else
    ((status == 0)) || fail "round $rounds: a run ended with status $status before its kill"
    [[ $(snapshots killed.db) == "$files" ]] || fail "round $rounds: a finished run left $(snapshots killed.db) snapshots of $files"
    completed=$((completed + 1))
    rm -f killed.db killed.db-wal killed.db-shm
  fi
done
((landed >= 20)) || fail "only $landed kills landed in $rounds rounds"
"$qvfleet" index killed.db share >last.out 2>&1
status=$?
[[ $status == 0 ]] || fail "the run after the kills: status $status: $(cat last.out)"
whole killed.db "after the kills"
[[ $(snapshots killed.db) == "$files" ]] || fail "after the kills: $(snapshots killed.db) snapshots of $files files"
echo "kills: $landed landed while a run was writing, in $rounds rounds ($completed runs finished first); complete after one more run"

# Questions while a run writes. The run is held while each is asked, since it
# may otherwise end before a few were; only once its log is there, so that no
# question waits on a schema being made.
"$qvfleet" index busy.db share >/dev/null 2>&1 &
writer=$!
answered=0
while kill -0 "$writer" 2>/dev/null; do
  if ((answered < 5)) && [[ -e busy.db-wal ]] && kill -STOP "$writer" 2>/dev/null; then
    if "$qvfleet" sql busy.db "SELECT 1" >/dev/null 2>&1; then
      if "$qvfleet" hosts busy.db >hosts.out 2>hosts.err; then
        answered=$((answered + 1))
      else
        fail "hosts while a run writes: $(cat hosts.err)"
      fi
    fi
    kill -CONT "$writer"
  fi
  sleep 0.01
done
wait "$writer" || fail "the run that was asked questions: status $?"
((answered >= 3)) || fail "only $answered questions were asked while the run wrote"
echo "questions while a run writes: $answered answered"

# Two runs at once, each time on a new index, where they meet while one makes it.
small=(share/$(ls share | head -n 1) share/$(ls share | sed -n 2p))
small_files=$(find "${small[@]}" -type f | wc -l)
statuses=()
for round in $(seq 1 10); do
  rm -f twice.db twice.db-wal twice.db-shm
  "$qvfleet" index twice.db "${small[@]}" >one.out 2>one.err &
  first=$!
  "$qvfleet" index twice.db "${small[@]}" >two.out 2>two.err &
  second=$!
  wait "$first"
  one=$?
  wait "$second"
  two=$?
  statuses+=("$one/$two")
  for run in "one $one" "two $two"; do
    read -r name status <<<"$run"
    case $status in
      0) ;;
      2) grep -q 'is busy: another run is writing it.$' "$name.err" ||
           fail "round $round, run $name: status 2 without saying the index is busy: $(cat "$name.err")" ;;
      *) fail "round $round, run $name: status $status: $(cat "$name.err")" ;;
    esac
  done
  whole twice.db "two runs at once, round $round"
  "$qvfleet" index twice.db "${small[@]}" >/dev/null 2>&1 || fail "round $round: the run after: status $?"
  [[ $(snapshots twice.db) == "$small_files" ]] ||
    fail "two runs at once, round $round: $(snapshots twice.db) snapshots of $small_files files"
done
echo "two runs at once, 10 rounds: statuses ${statuses[*]}"

# A hostile report: 100,000 devices, a value of a million bytes, every key of a
# section at once.
mkdir -p huge/HUGE
python3 - >huge/HUGE/1.txt <<'PYTHON' || exit 1
import sys
out = sys.stdout
out.write("qvdev1\nhost=HUGE\nos=10.0\narch=amd64\nserver=0\n")
for i in range(100000):
    out.write(f"[device]\ninstance_id=ROOT\\HUGE\\{i:06d}\ndescription=" + ("d" * (i % 50)) + "\n")
    out.write(f"hwid=HUGE\\{i % 997}\ncid=HUGE\\GENERIC\n")
    if i % 3:
        out.write(f"driver_ver=2024-01-02 1.{i % 7}.0.0\ndriver_desc=Huge\ndriver_provider=P\n")
out.write("[device]\ninstance_id=ROOT\\LONG\\0\ndescription=" + "x" * 1000000 + "\nhwid=LONG\n")
PYTHON
"$qvfleet" index huge.db huge >huge.out 2>&1 || fail "the hostile report: status $?: $(cat huge.out)"
[[ $("$qvfleet" hosts huge.db | tail -n 1 | cut -f6) == 100001 ]] ||
  fail "the hostile report: not every device counted"
"$qvfleet" drivers huge.db >/dev/null && "$qvfleet" find huge.db 'huge\*' >/dev/null ||
  fail "the hostile report: a question failed"
echo "a report of 100,001 devices and a value of a million bytes: indexed"

check_indexes "$work" || failures=$((failures + 1))
((failures == 0))

#!/usr/bin/env bash
# The fleet index under faults and concurrency, with the native qvfleet on a
# generated share of 400 reports:
#  - an index run killed with SIGKILL at a random moment, at least 20 times, each
#    time resumed: the index passes integrity_check, holds only whole snapshots,
#    and is complete after one more run;
#  - questions asked while a run writes: every one answered;
#  - two runs at once on a new index, 10 times: each ends with 0 or says the index
#    is busy (2); the index stays whole and one more run completes it.
# Usage: test_faults_posix.sh QVFLEET GENERATOR
set -uo pipefail
qvfleet=${1:?usage: test_faults_posix.sh QVFLEET GENERATOR}
generator=${2:?usage: test_faults_posix.sh QVFLEET GENERATOR}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-faults.XXXXXX")
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
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

# Killed at random moments until 20 kills have landed while a run was writing; a
# run that ended before its kill has completed the index, which is checked and
# started anew.
landed=0
rounds=0
completed=0
while ((landed < 20 && rounds < 80)); do
  rounds=$((rounds + 1))
  "$qvfleet" index killed.db share >/dev/null 2>&1 &
  pid=$!
  sleep "$((RANDOM % 10)).$((RANDOM % 10))$((RANDOM % 10))e-1"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  status=$?
  if ((status == 128 + 9)); then
    landed=$((landed + 1))
    [[ -e killed.db ]] && whole killed.db "kill $landed"
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

# Questions while a run writes.
"$qvfleet" index busy.db share >/dev/null 2>&1 &
writer=$!
answered=0
while kill -0 "$writer" 2>/dev/null; do
  if [[ -e busy.db ]] && "$qvfleet" sql busy.db "SELECT 1" >/dev/null 2>&1; then
    if "$qvfleet" hosts busy.db >hosts.out 2>hosts.err; then
      answered=$((answered + 1))
    else
      fail "hosts while a run writes: $(cat hosts.err)"
    fi
  fi
  sleep 0.05
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

((failures == 0))

#!/usr/bin/env bash
# Questions on an index that the user can only read: one that another user wrote
# into a folder this user may not write to (as root: the questions run as
# nobody). Every question answers as it does for the index's owner; with the
# log of an unfinished write beside the index, the message says so.
# Usage: test_read_only_posix.sh QVFLEET GENERATOR
set -uo pipefail
qvfleet=$(realpath "${1:?usage: test_read_only_posix.sh QVFLEET GENERATOR}")
generator=$(realpath "${2:?usage: test_read_only_posix.sh QVFLEET GENERATOR}")
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-read-only.XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/check_indexes.sh"
cd "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ((EUID == 0)); then
  chmod 755 "$work"
  as_reader() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
else
  as_reader() { "$@"; }
fi

python3 "$generator" daily share --hosts 6 --days 3 --devices 30 --seed 5 >/dev/null 2>&1 || exit 1
mkdir index out
"$qvfleet" index index/fleet.db share >/dev/null || fail "index: status $?"
[[ $(ls index) == fleet.db ]] || fail "files beside the index after a run: $(ls index)"
chmod 777 out
# The owner's answers, from a copy: the questions below meet the index as the run left it.
cp index/fleet.db owner.db
questions=("hosts" "drivers" "find PCI*" "changes" "sql SELECT count(*) FROM snapshot")
declare -A owner
for question in "${questions[@]}"; do
  read -r command argument <<<"$question"
  owner[$question]=$("$qvfleet" "$command" owner.db ${argument:+"$argument"} 2>&1)
done

chmod 555 index
chmod 444 index/fleet.db
for question in "${questions[@]}"; do
  read -r command argument <<<"$question"
  answer=$(as_reader "$qvfleet" "$command" index/fleet.db ${argument:+"$argument"} 2>&1)
  status=$?
  [[ $status == 0 ]] || fail "$question: status $status: $answer"
  [[ $answer == "${owner[$question]}" ]] || fail "$question: another answer than the owner's: $answer"
done
as_reader "$qvfleet" export index/fleet.db out/export >/dev/null 2>export.err ||
  fail "export: $(cat export.err)"

# A run that would write says why it can't, and leaves the index as it was.
before=$(sha256sum <index/fleet.db)
answer=$(as_reader "$qvfleet" index index/fleet.db share 2>&1 >/dev/null)
status=$?
[[ $status == 2 ]] || fail "index by a reader: status $status"
[[ $answer == "Couldn't open the index index/fleet.db: It can't be written: this user may only read it." ]] ||
  fail "index by a reader: $answer"
[[ $(sha256sum <index/fleet.db) == "$before" ]] || fail "index by a reader changed the index"

# A write that never finished: its log is part of the index, and can't be read here.
chmod 755 index
cp index/fleet.db index/fleet.db-wal
chmod 555 index
answer=$(as_reader "$qvfleet" hosts index/fleet.db 2>&1)
status=$?
[[ $status == 2 ]] || fail "hosts beside a log: status $status"
[[ $answer == *"-wal file"* && $(wc -l <<<"$answer") == 1 ]] ||
  fail "hosts beside a log: the message does not say why: $answer"

check_indexes "$work" || failures=$((failures + 1))
echo "${#questions[@]} questions and export answered on a read-only index; $failures failures"
((failures == 0))

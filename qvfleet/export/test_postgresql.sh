#!/usr/bin/env bash
# The export loaded into a real PostgreSQL server, started for this test as an
# unprivileged user on a Unix socket in a folder of its own and stopped after,
# however the test ends: every table arrives whole, paths that hold whatever a
# file name may hold arrive as the index has them, and the drivers question as
# docs/fleet.md writes it for PostgreSQL gives the rows `qvfleet drivers` gives.
# Usage: test_postgresql.sh QVFLEET GENERATOR SOURCE_DIR
set -uo pipefail
qvfleet=${1:?usage: test_postgresql.sh QVFLEET GENERATOR SOURCE_DIR}
generator=${2:?}
source_dir=${3:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-pg.XXXXXX")
chmod 755 "$work"
cleanup() {
  pg_scratch_stop 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "${BASH_SOURCE[0]}")/../tests/check_indexes.sh"
cd "$work" || exit 1
source "$source_dir/scripts/pg-scratch.sh"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

python3 "$generator" daily share --hosts 30 --days 3 --devices 120 --seed 3 >/dev/null || exit 1
# Copies of one report under names that CSV, psql's \copy (which ends its data at
# a line that is only "\.", quoted or not) and PostgreSQL's UTF-8 text must all
# get through; one holds a byte that is not UTF-8, which the export writes as U+FFFD.
hostile_names=($'line\n\\.\nend.txt' $'crlf\r\n\\.\r\nend.txt' $'\\.' $'\\.\n' $'cr\rname.txt'
  'quote".txt' '""' 'comma,.txt' $'tab\t.txt' 'back\slash.txt' $'caf\xe9.txt' ' ')
first_report=$(find share -type f -name '*.txt' | sort | head -n 1)
for name in "${hostile_names[@]}"; do
  cp -p "$first_report" "share/PC-00001/$name" || exit 1
done
"$qvfleet" index fleet.db share >/dev/null || exit 1
"$qvfleet" export fleet.db export >/dev/null || exit 1
chmod -R a+rX export

pg_scratch_start || exit 1
(cd export && pg_scratch_psql -f schema.sql -f load.sql) || { fail "the export does not load"; exit 1; }

for table in $(sed -n 's/^\\copy \([a-z_]*\) FROM .*/\1/p' export/load.sql); do
  want=$("$qvfleet" sql fleet.db "SELECT count(*) FROM $table" | tail -n 1)
  got=$(pg_scratch_psql -A -t -c "SELECT count(*) FROM $table")
  [[ $got == "$want" ]] || fail "$table: $got rows in PostgreSQL, $want in the index"
done
[[ $(grep -c '^\\copy ' export/load.sql) == 9 ]] || fail "load.sql does not load the 9 tables"

# Every snapshot's values, its path's bytes in hexadecimal; a byte of the index that
# is not UTF-8 (should the index hold one) becomes U+FFFD, as the export writes it.
"$qvfleet" sql fleet.db "SELECT snapshot_id, host_id, report_id, taken_at, lower(hex(path)), size,
  mtime_ns, file_id FROM snapshot ORDER BY snapshot_id" | tail -n +2 | python3 -c '
import sys
for line in sys.stdin:
    fields = line.rstrip("\n").split("\t")
    fields[4] = bytes.fromhex(fields[4]).decode("utf-8", "replace").encode().hex()
    print("\t".join(fields))' >want.txt
pg_scratch_psql -A -t -F $'\t' -c "SELECT snapshot_id, host_id, report_id, taken_at,
  encode(convert_to(path, 'UTF8'), 'hex'), size, mtime_ns, file_id FROM snapshot ORDER BY snapshot_id" >got.txt
if cmp -s want.txt got.txt; then
  echo "ok: snapshot: $(wc -l <got.txt) rows alike, ${#hostile_names[@]} of them with hostile paths"
else
  fail "snapshot: PostgreSQL's rows differ from the index's (the index's, then PostgreSQL's)"
  diff want.txt got.txt | head -20
fi
for name in "${hostile_names[@]}"; do
  hex=$(printf '%s' "$(pwd -P)/share/PC-00001/$name" | python3 -c '
import sys
print(sys.stdin.buffer.read().decode("utf-8", "replace").encode().hex())')
  grep -q $'\t'"$hex"$'\t' got.txt || fail "no snapshot in PostgreSQL has the path $(printf '%q' "$name")"
done

# The query as the document writes it, between its marker and the end of its block.
query=$(awk '/<!-- query: drivers for PostgreSQL -->/ { found = 1; next }
             found && /^```sql$/ { inside = 1; next }
             inside && /^```$/ { exit }
             inside { print }' "$source_dir/docs/fleet.md")
[[ -n $query ]] || { fail "docs/fleet.md has no drivers query for PostgreSQL"; exit 1; }
for text in "" intel "ven_8086" "nothing like it"; do
  if [[ -z $text ]]; then
    argument=NULL
    "$qvfleet" drivers fleet.db >want.txt
  else
    argument="'$text'"
    "$qvfleet" drivers fleet.db "$text" >want.txt
  fi
  pg_scratch_psql -A -F $'\t' -P footer=off \
    -c "PREPARE drivers(text) AS $query" -c "EXECUTE drivers($argument)" >got.txt ||
    fail "drivers ${text:-(all)}: PostgreSQL refused the query"
  if cmp -s want.txt got.txt; then
    echo "ok: drivers ${text:-(all)}: $(($(wc -l <want.txt) - 1)) rows alike"
  else
    fail "drivers ${text:-(all)}: PostgreSQL's rows differ (qvfleet's, then PostgreSQL's)"
    diff want.txt got.txt | head -20
  fi
done

check_indexes "$work" || failures=$((failures + 1))
((failures == 0))

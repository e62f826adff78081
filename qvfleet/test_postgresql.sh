#!/usr/bin/env bash
# The export loaded into a real PostgreSQL server, started for this test as an
# unprivileged user on a Unix socket in a folder of its own and stopped after,
# however the test ends: every table arrives whole, and the drivers question as
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
cd "$work" || exit 1
source "$source_dir/scripts/pg-scratch.sh"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

python3 "$generator" daily share --hosts 30 --days 3 --devices 120 --seed 3 >/dev/null || exit 1
"$qvfleet" index fleet.db share >/dev/null || exit 1
"$qvfleet" export fleet.db export >/dev/null || exit 1
chmod -R a+rX export

pg_scratch_start || exit 1
(cd export && pg_scratch_psql -f schema.sql -f load.sql) || { fail "the export does not load"; exit 1; }

for table in host report snapshot driver device_state device_id report_device report_driver; do
  want=$("$qvfleet" sql fleet.db "SELECT count(*) FROM $table" | tail -n 1)
  got=$(pg_scratch_psql -A -t -c "SELECT count(*) FROM $table")
  [[ $got == "$want" ]] || fail "$table: $got rows in PostgreSQL, $want in the index"
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

((failures == 0))

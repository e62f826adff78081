#!/usr/bin/env bash
# `qvfleet export` where writing fails and while another run indexes: a failure
# is status 2 and one line naming the file and the system's reason, and leaves
# no load.sql, so that a folder with load.sql always holds a whole export; an
# export made while `qvfleet index` commits is of one moment (every id a table
# refers to is in the table it refers to).
# Usage: test_export_posix.sh QVFLEET GENERATOR
set -uo pipefail
qvfleet=$(realpath "${1:?usage: test_export_posix.sh QVFLEET GENERATOR}") || exit 1
generator=$(realpath "${2:?}") || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-export.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
source "$(dirname "${BASH_SOURCE[0]}")/../tests/check_indexes.sh"
cd "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

python3 "$generator" daily share --hosts 20 --days 2 --devices 100 --seed 4 >/dev/null 2>&1 || exit 1
"$qvfleet" index fleet.db share >/dev/null || exit 1
"$qvfleet" export fleet.db whole >/dev/null || exit 1

# An export that fails: its words, then what the folder must not hold after it.
expect_failure() {
  local what=$1 folder=$2 pattern=$3 status before=$failures
  shift 3
  "$@" 2>err.txt >/dev/null
  status=$?
  [[ $status == 2 ]] || fail "$what: status $status, not 2"
  [[ $(wc -l <err.txt) == 1 ]] || fail "$what: the message is not one line: $(cat -A err.txt)"
  [[ $(cat err.txt) =~ ^$pattern$ ]] || fail "$what: the message is: $(cat err.txt)"
  [[ ! -e $folder/load.sql ]] || fail "$what: load.sql is left in $folder"
  [[ -z $(find "$folder" -maxdepth 1 -name '*.tmp' 2>/dev/null) ]] || fail "$what: temporary files are left"
  ((failures > before)) || echo "ok: $what: $(cat err.txt)"
}
export_fails() { expect_failure "$1" "$2" "Couldn't export the index: $3" "${@:4}"; }

touch plain
export_fails "the folder is a file" plain \
  "Couldn't make the folder plain/x: Not a directory\\. \\(os error 20\\)" "$qvfleet" export fleet.db plain/x
export_fails "a newline in the folder's name" plain \
  "Couldn't make the folder plain/a b: Not a directory\\. \\(os error 20\\)" \
  "$qvfleet" export fleet.db $'plain/a\nb'

# A full disk: the table files outgrow the limit, the index's own files do not.
# A whole export is there first; the failed one leaves no load.sql beside its rest.
cp -r whole full
(
  trap '' XFSZ
  export_fails "a full disk" full \
    "Couldn't write full/[a-z_]+\\.csv: File too large\\. \\(os error 27\\)" \
    prlimit --fsize=$((64 * 1024)) "$qvfleet" export fleet.db full
)
[[ $(ls full | wc -l) -gt 0 ]] || fail "a full disk: the old files are gone too"

# A folder the user may not write in; root is let in everywhere, so the user is nobody.
mkdir denied owned
cp fleet.db owned/
as_user=()
if [[ $(id -u) == 0 ]]; then
  chown -R 65534:65534 owned
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod 555 denied
fi
export_fails "a denied folder" denied \
  "Couldn't write denied/host\\.csv: Permission denied\\. \\(os error 13\\)" \
  "${as_user[@]}" "$qvfleet" export owned/fleet.db denied
export_fails "a denied parent folder" denied \
  "Couldn't make the folder denied/sub: Permission denied\\. \\(os error 13\\)" \
  "${as_user[@]}" "$qvfleet" export owned/fleet.db denied/sub

# Exports while another run commits a batch every 200 reports, as many as fit in
# its time, checked after it: each must be of one moment.
python3 "$generator" daily growing --hosts 150 --days 12 --devices 40 --seed 6 >/dev/null 2>&1 || exit 1
"$qvfleet" index busy.db growing/PC-00001 >/dev/null || exit 1
"$qvfleet" index busy.db growing >/dev/null &
indexer=$!
exports=0
while kill -0 "$indexer" 2>/dev/null; do
  exports=$((exports + 1))
  "$qvfleet" export busy.db "moment-$exports" >/dev/null 2>export-err.txt || {
    fail "an export while indexing failed: $(cat export-err.txt)"
    break
  }
done
wait "$indexer" || fail "the index run beside the exports failed"
python3 - moment-* <<'EOF' || fail "an export made while indexing is not of one moment"
import csv, sys
references = [("snapshot", "host_id", "host"), ("snapshot", "report_id", "report"),
              ("report", "host_id", "host"), ("report_device", "report_id", "report"),
              ("report_device", "state_id", "device_state"), ("report_driver", "report_id", "report"),
              ("report_driver", "driver_id", "driver"), ("device_id", "state_id", "device_state"),
              ("device_state", "driver_id", "driver"), ("repeated_device", "report_id", "report"),
              ("report", "report_id", "snapshot")]
ids = {"host": "host_id", "report": "report_id", "driver": "driver_id",
       "device_state": "state_id", "snapshot": "report_id"}
failed = False
for folder in sys.argv[1:]:
    def column(table, name):
        with open(f"{folder}/{table}.csv", newline="", encoding="utf-8") as f:
            return {row[name] for row in csv.DictReader(f) if row[name] != ""}
    bad = [f"{table}.{name}" for table, name, parent in references
           if not column(table, name) <= column(parent, ids[parent])]
    if bad:
        print(f"{folder}: ids missing from the tables they refer to:", ", ".join(bad))
        failed = True
sys.exit(1 if failed else 0)
EOF
((exports >= 3)) || echo "note: only $exports exports ran while indexing"
echo "ok: $exports exports while indexing"

check_indexes "$work" || failures=$((failures + 1))
((failures == 0))

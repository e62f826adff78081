#!/usr/bin/env bash
# Where `qvfleet page` and `qvfleet export` write: one table of output paths, each
# row with its status, its message and the bytes of every file around it before
# and after. A refused path leaves every file as it was; a written one changes
# only the files the command makes, and no link but the ones it was given is
# followed.
# Usage: test_output_paths_posix.sh QVFLEET GENERATOR SYNC_FAULT_LIBRARY
set -uo pipefail
qvfleet=$(realpath "${1:?usage: test_output_paths_posix.sh QVFLEET GENERATOR SYNC_FAULT_LIBRARY}") || exit 1
generator=$(realpath "${2:?}") || exit 1
sync_fault=$(realpath "${3:?}") || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-outputs.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
source "$(dirname "${BASH_SOURCE[0]}")/check_indexes.sh"
cd "$work" || exit 1
# A write past prlimit's size fails with EFBIG instead of ending the program.
trap '' XFSZ
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

python3 "$generator" daily share --hosts 6 --days 2 --devices 60 --seed 4 >/dev/null 2>&1 || exit 1
"$qvfleet" index fleet.db share >/dev/null || exit 1
"$qvfleet" index other.db share/PC-00001 >/dev/null || exit 1
mkdir pages
"$qvfleet" page fleet.db pages/old.html >/dev/null || exit 1
page_bytes=$(stat -c %s pages/old.html)

# Every file and link under the folder with its bytes' digest or its target;
# but SQLite's memory of the index, which each reader may write.
snapshot() {
  find . -mindepth 1 ! -name '*-shm' -printf '%P %y %l\n' | sort | while read -r name type target; do
    if [[ $type == f ]]; then
      echo "$name f $(sha256sum <"$name" | cut -c1-16)"
    else
      echo "$name $type $target"
    fi
  done
}

# row NAME STATUS MESSAGE CHANGED COMMAND...: MESSAGE is the whole of standard
# error ("" for none); CHANGED the files whose bytes may change, separated by
# spaces. The row sets its stage up beforehand and cleans it after.
row() {
  local name=$1 status=$2 message=$3 changed=$4 before after got
  shift 4
  before=$(snapshot)
  "$@" >out.txt 2>err.txt
  got=$?
  after=$(snapshot)
  local before_failures=$failures
  [[ $got == "$status" ]] || fail "$name: status $got, not $status ($(cat err.txt))"
  [[ $(cat err.txt) == "$message" ]] || fail "$name: the message is: $(cat err.txt)"
  local unchanged_before unchanged_after
  unchanged_before=$(grep -v -E "^(out|err)\\.txt |^(${changed// /|}) " <<<"$before")
  unchanged_after=$(grep -v -E "^(out|err)\\.txt |^(${changed// /|}) " <<<"$after")
  if [[ $unchanged_before != "$unchanged_after" ]]; then
    fail "$name: files changed: $(diff <(echo "$unchanged_before") <(echo "$unchanged_after") | tr '\n' ' ')"
  fi
  ((failures > before_failures)) || echo "ok: $name"
}
page_of() { [[ $(head -c 15 "$1") == "<!DOCTYPE html>" ]]; }
refused() { echo "Couldn't write $1: $2"; }
not_exported() { echo "Couldn't export the index: Couldn't write $1: $2"; }
none=NONE

# The page.
row "page: the index" 2 "$(refused fleet.db "that is the index itself.")" $none \
  "$qvfleet" page fleet.db fleet.db
row "page: the index spelled again" 2 "$(refused ./share/../fleet.db "that is the index itself.")" \
  $none "$qvfleet" page fleet.db ./share/../fleet.db
row "page: the index's write-ahead log" 2 "$(refused fleet.db-wal "that is the index itself.")" \
  $none "$qvfleet" page fleet.db fleet.db-wal
ln fleet.db hard.html
row "page: a hard link to the index" 2 "$(refused hard.html "that is the index itself.")" $none \
  "$qvfleet" page fleet.db hard.html
rm hard.html
ln -s fleet.db alias.html
row "page: a link to the index" 2 "$(refused alias.html "that is the index itself.")" $none \
  "$qvfleet" page fleet.db alias.html
rm alias.html
row "page: another SQLite file" 2 "$(refused other.db "that is an SQLite database.")" $none \
  "$qvfleet" page fleet.db other.db
echo "notes of the night shift" >notes.html
row "page: a foreign file" 2 "$(refused notes.html "that is not a page that qvfleet made.")" \
  $none "$qvfleet" page fleet.db notes.html
ln -s notes.html to-notes.html
row "page: a link to a foreign file" 2 \
  "$(refused to-notes.html "that is not a page that qvfleet made.")" $none \
  "$qvfleet" page fleet.db to-notes.html
rm notes.html to-notes.html
mkdir folder.html
row "page: a folder" 2 "$(refused folder.html "Is a directory. (os error 21)")" $none \
  "$qvfleet" page fleet.db folder.html
rmdir folder.html
ln -s pages/old.html link.html
row "page: a link at the output to yesterday's page" 0 "" "pages/old.html" \
  "$qvfleet" page fleet.db link.html
[[ -L link.html && $(readlink link.html) == pages/old.html ]] || fail "the link is no longer the link"
page_of pages/old.html || fail "the link's page is not a page"
rm link.html
ln -s pages/new.html dangling.html
row "page: a link at the output to a missing file" 0 "" "pages/new.html" \
  "$qvfleet" page fleet.db dangling.html
[[ -L dangling.html ]] && page_of pages/new.html || fail "the missing file the link names is not made"
rm dangling.html pages/new.html
# The names a page used beside it before; the ones it uses now are drawn at random.
ln -s ../fleet.db pages/old.html.tmp
ln -s ../other.db pages/.old.html.tmp
row "page: links at the names beside it" 0 "" "pages/old.html" "$qvfleet" page fleet.db pages/old.html
rm pages/old.html.tmp pages/.old.html.tmp
if ((EUID == 0)) && command -v setpriv >/dev/null; then
  chmod 555 pages
  row "page: a read-only folder" 2 "$(refused pages/old.html "Permission denied. (os error 13)")" \
    $none setpriv --reuid=65534 --regid=65534 --clear-groups "$qvfleet" page fleet.db pages/old.html
  chmod 755 pages
else
  echo "SKIP page: a read-only folder: needs root and setpriv to run as a user the folder refuses"
fi
# The index's shared memory (32 KiB) must still fit.
((page_bytes > 64 * 1024)) || fail "the page is too small to fill the disk before the index does"
row "page: a full disk" 2 "$(refused pages/old.html "File too large. (os error 27)")" $none \
  prlimit --fsize=$((page_bytes - 1)) "$qvfleet" page fleet.db pages/old.html
row "page: a flush that fails" 2 "$(refused pages/old.html "Input/output error. (os error 5)")" \
  $none env LD_PRELOAD="$sync_fault" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$qvfleet" page fleet.db pages/old.html
row "page: yesterday's page" 0 "" "pages/old.html" "$qvfleet" page fleet.db pages/old.html

# The export: every file of it is checked before any is written.
"$qvfleet" export fleet.db out >/dev/null || exit 1
exported="out/[a-z_]+\\.(csv|sql)"
ln -s ../fleet.db out/host.csv.new && mv -T out/host.csv.new out/host.csv
row "export: a link to the index at one of its files" 2 \
  "$(not_exported out/host.csv "that is the index itself.")" $none "$qvfleet" export fleet.db out
rm out/host.csv
ln fleet.db out/load.sql.new && mv -T out/load.sql.new out/load.sql
row "export: the index at one of its files" 2 \
  "$(not_exported out/load.sql "that is the index itself.")" $none "$qvfleet" export fleet.db out
rm out/load.sql
cp other.db out/device_state.csv
row "export: another SQLite file at one of its files" 2 \
  "$(not_exported out/device_state.csv "that is an SQLite database.")" $none \
  "$qvfleet" export fleet.db out
echo "notes" >out/device_state.csv
row "export: a foreign file at one of its files" 0 "" "$exported" "$qvfleet" export fleet.db out
# A link at one of its files is no path anyone gave: it is replaced, its file kept.
echo "kept" >foreign.csv
ln -s ../foreign.csv out/host.csv.new && mv -T out/host.csv.new out/host.csv
row "export: a link at one of its files" 0 "" "$exported" "$qvfleet" export fleet.db out
[[ -f out/host.csv && ! -L out/host.csv && $(cat foreign.csv) == kept ]] ||
  fail "the link at host.csv was followed, or left"
rm foreign.csv
ln -s ../fleet.db out/host.csv.tmp
ln -s ../other.db out/device_state.csv.tmp
row "export: links at the names beside its files" 0 "" "$exported" "$qvfleet" export fleet.db out
rm out/host.csv.tmp out/device_state.csv.tmp
rm out/report.csv && mkdir out/report.csv
row "export: a folder at one of its files" 2 "$(not_exported out/report.csv "Is a directory. (os error 21)")" \
  "out/load.sql|out/host.csv" "$qvfleet" export fleet.db out
rmdir out/report.csv
"$qvfleet" export fleet.db out >/dev/null || fail "the export after the folder is gone"
row "export: a flush that fails" 2 "$(not_exported out/host.csv "Input/output error. (os error 5)")" \
  "out/load.sql" env LD_PRELOAD="$sync_fault" ASAN_OPTIONS=verify_asan_link_order=0 \
  "$qvfleet" export fleet.db out
[[ ! -e out/load.sql ]] || fail "a failed export leaves load.sql"

leftovers=$(find . -name '*.tmp')
[[ -z $leftovers ]] || fail "new files are left: $leftovers"

check_indexes "$work" || failures=$((failures + 1))
if ((failures > 0)); then
  echo "$failures failed"
  exit 1
fi
echo "every output path as it should be"

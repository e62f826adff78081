#!/usr/bin/env bash
# Fails unless a release archive holds exactly the files, in the same order, that
# docs/releasing.md and the README's "Checking a download" list, and unless the
# changelog's newest section is the archive's version. scripts/package.sh runs it on
# every archive it makes.
#
#   scripts/check-archive-list.sh dist/qv-<version>-windows-x86_64.zip
set -uo pipefail
archive=$(realpath "${1:?usage: scripts/check-archive-list.sh ARCHIVE}") || exit 1
cd "$(dirname "$0")/.." || exit 1

# A document's list: the fenced block on the lines right after "<!-- archive files -->".
listed() {
  awk '/^<!-- archive files -->$/ { marked = 1; next }
       marked && !inside { if (/^```/) { inside = 1; next } exit }
       inside && /^```/ { exit }
       inside { print }' "$1"
}

held=$(python3 -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist(), sep="\n")' \
  "$archive") || { echo "can't read $archive" >&2; exit 1; }
failed=0
for document in docs/releasing.md README.md; do
  list=$(listed "$document")
  if [[ -z $list ]]; then
    echo "$document: no list of the archive's files (a fenced block after <!-- archive files -->)" >&2
    failed=1
  elif [[ $list != "$held" ]]; then
    echo "$document does not list the files of ${archive##*/} as it holds them:" >&2
    diff -U 1000 --label "$document" --label "${archive##*/}" <(echo "$list") <(echo "$held") >&2
    failed=1
  fi
done

version=${archive##*/qv-}
version=${version%-windows-x86_64.zip}
newest=$(sed -n 's/^## \([0-9][0-9.]*\) .*/\1/p' CHANGELOG.md | head -1)
if [[ $newest != "$version" ]]; then
  echo "CHANGELOG.md: the newest section is ${newest:-missing}, but the archive's version is $version" >&2
  failed=1
fi
exit $failed

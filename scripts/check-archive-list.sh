#!/usr/bin/env bash
# Fails unless a release archive holds exactly the files, in the same order, that
# docs/releasing.md and the README's "Checking a download" list for it, and unless the
# changelog's newest section is the archive's version. scripts/package.sh runs it on
# every archive it makes.
#
#   scripts/check-archive-list.sh dist/qv-<version>-windows-x86_64.zip
#   scripts/check-archive-list.sh dist/qv-<version>-linux-x86_64.tar.gz
set -uo pipefail
archive=$(realpath "${1:?usage: scripts/check-archive-list.sh ARCHIVE}") || exit 1
cd "$(dirname "$0")/.." || exit 1

# What follows the version in the archive's name, "windows-x86_64.zip" say.
kind=${archive##*/qv-}
version=${kind%%-*}
kind=${kind#*-}

# A document's list for this kind of archive: the fenced block on the lines right
# after "<!-- archive files: KIND -->", one name or several, split by spaces, a line.
listed() {
  awk -v marker="<!-- archive files: $kind -->" '
       $0 == marker { marked = 1; next }
       marked && !inside { if (/^```/) { inside = 1; next } exit }
       inside && /^```/ { exit }
       inside { for (i = 1; i <= NF; i++) print $i }' "$1"
}

held=$(python3 - "$archive" <<'EOF'
import sys
import tarfile
import zipfile

name = sys.argv[1]
if name.endswith(".zip"):
    names = zipfile.ZipFile(name).namelist()
else:
    names = tarfile.open(name).getnames()
print(*names, sep="\n")
EOF
) || { echo "can't read $archive" >&2; exit 1; }
failed=0
for document in docs/releasing.md README.md; do
  list=$(listed "$document")
  if [[ -z $list ]]; then
    echo "$document: no list of the files of ${archive##*/} (a fenced block after <!-- archive files: $kind -->)" >&2
    failed=1
  elif [[ $list != "$held" ]]; then
    echo "$document does not list the files of ${archive##*/} as it holds them:" >&2
    diff -U 1000 --label "$document" --label "${archive##*/}" <(echo "$list") <(echo "$held") >&2
    failed=1
  fi
done

newest=$(sed -n 's/^## \([0-9][0-9.]*\) .*/\1/p' CHANGELOG.md | head -1)
if [[ $newest != "$version" ]]; then
  echo "CHANGELOG.md: the newest section is ${newest:-missing}, but the archive's version is $version" >&2
  failed=1
fi
exit $failed

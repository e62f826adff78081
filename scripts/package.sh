#!/usr/bin/env bash
# Builds the Windows release and packs it as dist/qv-<version>-windows-x86_64.zip: the
# programs, the README, the changelog, the user documents and SHA256SUMS, with fixed
# order, times and permissions, so that every build of the same commit gives the same
# bytes. The archive must hold exactly the files docs/releasing.md and the README list
# (scripts/check-archive-list.sh).
#
#   scripts/package.sh          release build in build/package, then the archive;
#                               prints the archive's path and SHA-256
#   scripts/package.sh --check  packs twice, from two copies of the tracked files in two
#                               different folders; fails unless every program and the
#                               archive are byte-identical
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
qv_install "${QV_PACKAGES_BUILD[@]}"

# The programs shipped: CMake targets, each <name>.exe in the archive.
programs=(qv qvdiff qvfleet)
# The documents shipped beside them, at the same paths as in the source tree.
documents=(README.md CHANGELOG.md docs/report-format.md docs/qvdiff.md docs/fleet.md)

build=build/package
jobs=$(nproc)

package() {
  mkdir -p build
  rm -rf "${build:?}/bin"
  # SQLite's amalgamation, made from Debian's source package; --check hands both
  # copies the one it made, whose folder the build maps away.
  local sqlite=${QV_SQLITE_SOURCE_DIR:-}
  if [[ -z $sqlite ]]; then
    scripts/sqlite-source.sh >&2 || return 1
    sqlite=$(sed -n 's/^QV_SQLITE_DEBIAN_VERSION=//p' scripts/sqlite-source.sh)
    sqlite=$PWD/build/sqlite/$sqlite
  fi
  cmake --preset windows -B "$build" -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF \
    -DQV_SQLITE_SOURCE_DIR="$sqlite" \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$PWD/$build/bin" >"$build.log" 2>&1 ||
    { cat "$build.log"; return 1; }
  cmake --build "$build" -j"$jobs" --target "${programs[@]}" >>"$build.log" 2>&1 ||
    { cat "$build.log"; return 1; }
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [[ -n $version ]] || { echo "no project version in $build/CMakeCache.txt" >&2; return 1; }

  # Everything the archive holds, staged under the names it holds them by.
  local stage=$build/stage program
  rm -rf "$stage"
  mkdir -p "$stage" dist
  local files=()
  for program in "${programs[@]}"; do
    # A plain program, never a link: a copy that keeps links would hand one on.
    [[ -f $build/bin/$program.exe && ! -L $build/bin/$program.exe ]] ||
      { echo "$build/bin/$program.exe is not a plain file" >&2; return 1; }
    cp "$build/bin/$program.exe" "$stage/"
    files+=("$program.exe")
  done
  for document in "${documents[@]}"; do
    mkdir -p "$stage/$(dirname "$document")"
    cp "$document" "$stage/$document"
    files+=("$document")
  done
  (cd "$stage" && sha256sum "${files[@]}") >"$stage/SHA256SUMS"
  files+=(SHA256SUMS)

  local archive=dist/qv-$version-windows-x86_64.zip
  python3 - "$archive" "$stage" "${files[@]}" <<'EOF'
import sys
import zipfile

archive, stage, names = sys.argv[1], sys.argv[2], sys.argv[3:]
with zipfile.ZipFile(archive, "w") as out:
    for name in names:
        with open(f"{stage}/{name}", "rb") as f:
            data = f.read()
        # The earliest time a zip can hold, a regular file readable by everyone, in
        # the order given: nothing that depends on the machine or the moment.
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        out.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
EOF
  scripts/check-archive-list.sh "$archive" || return 1
  echo "$archive"
  sha256sum "$archive" | cut -d' ' -f1
}

check() {
  git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    { echo "--check copies the tracked files: run it in a git checkout" >&2; return 1; }
  scripts/sqlite-source.sh >&2 || return 1
  export QV_SQLITE_SOURCE_DIR
  QV_SQLITE_SOURCE_DIR=$PWD/build/sqlite/$(sed -n 's/^QV_SQLITE_DEBIAN_VERSION=//p' scripts/sqlite-source.sh)
  local root
  root=$(mktemp -d "${TMPDIR:-/tmp}/qv-package-check.XXXXXX")
  # shellcheck disable=SC2064
  trap "rm -rf '$root'" EXIT
  # Two folders whose paths differ in length too.
  local copies=("$root/a" "$root/second-copy") copy
  for copy in "${copies[@]}"; do
    mkdir -p "$copy"
    # The tracked files as they stand in the work tree, so that a change is checked
    # before it is committed; nothing else (no build folders).
    git ls-files -z | tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$copy"
    echo "=== package in $copy"
    (cd "$copy" && bash scripts/package.sh) || return 1
  done

  local a=${copies[0]} b=${copies[1]} failed=0 file
  local compared=()
  for file in "${programs[@]/%/.exe}"; do compared+=("build/package/bin/$file"); done
  for file in "$a"/dist/*.zip; do compared+=("dist/${file##*/}"); done
  for file in "${compared[@]}"; do
    if cmp -s "$a/$file" "$b/$file"; then
      echo "identical: ${file##*/} $(sha256sum "$a/$file" | cut -d' ' -f1)"
    else
      echo "DIFFERENT: ${file##*/} (offset, then the octal bytes of each build)"
      cmp -l "$a/$file" "$b/$file" | head -20 || true
      failed=1
    fi
  done
  return $failed
}

case ${1:-} in
  "") package ;;
  --check) check ;;
  *)
    echo "usage: scripts/package.sh [--check]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Builds the release and packs it in two archives, each holding the programs, the
# README, the changelog, the documents and SHA256SUMS, with fixed order, times, owners
# and permissions, so that every build of the same commit gives the same bytes:
#   dist/qv-<version>-windows-x86_64.zip      qv.exe, qvdiff.exe and qvfleet.exe
#   dist/qv-<version>-linux-x86_64.tar.gz     qvdiff and qvfleet for Linux
# Each archive must hold exactly the files docs/releasing.md and the README list
# (scripts/check-archive-list.sh), and every link of its documents must lead to a file
# it holds (scripts/check-archive-links.py).
#
#   scripts/package.sh          release builds in build/package and build/package-linux,
#                               then the archives; prints each archive's path and SHA-256
#   scripts/package.sh --check  packs twice, from two copies of the tracked files in two
#                               different folders; fails unless every program and both
#                               archives are byte-identical, and unless the Linux
#                               programs unpacked from the archive print its version
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
qv_install "${QV_PACKAGES_BUILD[@]}"

# The programs shipped: CMake targets, each <name>.exe in the zip; the Linux ones as
# <name> in the tar.
programs=(qv qvdiff qvfleet)
linux_programs=(qvdiff qvfleet)
# Shipped beside the Windows programs, byte for byte (CR LF kept): the collection script
# runs the qv.exe of its own folder.
windows_beside=(collect/qv-collect.cmd)
# The documents shipped beside them, at the same paths as in the source tree: those
# the user reads, and the ones their links lead to.
documents=(README.md CHANGELOG.md docs/report-format.md docs/qvdiff.md docs/fleet.md
  docs/fleet-page.png docs/fleet-page-driver.png docs/fleet-page-host.png docs/releasing.md
  docs/developing.md docs/performance.md)

build=build/package
linux_build=build/package-linux
jobs=$(nproc)

# Configures a preset as released, without tests, and builds the given programs into
# FOLDER/bin; the tools' output goes to FOLDER.log, shown when they fail.
#   build_programs PRESET FOLDER SQLITE-FOLDER TARGET...
build_programs() {
  local preset=$1 folder=$2 sqlite=$3
  shift 3
  rm -rf "${folder:?}/bin"
  cmake --preset "$preset" -B "$folder" -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF \
    -DQV_SQLITE_SOURCE_DIR="$sqlite" \
    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$PWD/$folder/bin" >"$folder.log" 2>&1 ||
    { cat "$folder.log"; return 1; }
  cmake --build "$folder" -j"$jobs" --target "$@" >>"$folder.log" 2>&1 ||
    { cat "$folder.log"; return 1; }
}

# Copies the programs of BIN, the files BESIDE them (paths separated by spaces, each
# put at the archive's top) and the documents into a fresh STAGE, under the names the
# archive holds them by, and their sums into STAGE/SHA256SUMS. Sets `files`, in order.
#   stage_files STAGE BIN SUFFIX BESIDE PROGRAM...
stage_files() {
  local stage=$1 bin=$2 suffix=$3 beside=$4 program document
  shift 4
  rm -rf "${stage:?}"
  mkdir -p "$stage"
  files=()
  for program in "$@"; do
    # A plain program, never a link: a copy that keeps links would hand one on.
    [[ -f $bin/$program$suffix && ! -L $bin/$program$suffix ]] ||
      { echo "$bin/$program$suffix is not a plain file" >&2; return 1; }
    cp "$bin/$program$suffix" "$stage/"
    files+=("$program$suffix")
  done
  for document in $beside; do
    cp "$document" "$stage/"
    files+=("$(basename "$document")")
  done
  for document in "${documents[@]}"; do
    mkdir -p "$stage/$(dirname "$document")"
    cp "$document" "$stage/$document"
    files+=("$document")
  done
  (cd "$stage" && sha256sum "${files[@]}") >"$stage/SHA256SUMS"
  files+=(SHA256SUMS)
}

# Fails unless the Linux programs in the tar run from a clean folder, with nothing of
# the environment, and print the version; and unless they need no shared library but
# glibc's, OpenSSL's libcrypto and zlib's, and no glibc newer than the one
# docs/releasing.md names.
check_linux_programs() {
  local archive=$1 version=$2 folder program needed glibc failed=0
  folder=$(mktemp -d "${TMPDIR:-/tmp}/qv-linux-archive.XXXXXX")
  tar -xzf "$archive" -C "$folder" || { rm -rf "$folder"; return 1; }
  for program in "${linux_programs[@]}"; do
    if [[ $(cd "$folder" && env -i "./$program" --version) != "$program $version" ]]; then
      echo "${archive##*/}: $program --version does not print \"$program $version\"" >&2
      failed=1
    fi
    needed=$(readelf -d "$folder/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
      grep -Ev '^(libc\.so\.6|libm\.so\.6|libcrypto\.so\.3|libz\.so\.1|ld-linux-x86-64\.so\.2)$')
    if [[ -n $needed ]]; then
      echo "${archive##*/}: $program needs $(echo "$needed" | tr '\n' ' ')beyond glibc, libcrypto and zlib" >&2
      failed=1
    fi
    glibc=$(objdump -T "$folder/$program" | grep -o 'GLIBC_[0-9.]*' | sort -V | tail -1)
    if [[ $(printf '%s\n' "$glibc" GLIBC_2.36 | sort -V | tail -1) != GLIBC_2.36 ]]; then
      echo "${archive##*/}: $program needs $glibc, newer than the documented glibc 2.36" >&2
      failed=1
    fi
  done
  rm -rf "$folder"
  return $failed
}

package() {
  mkdir -p build dist
  # SQLite's amalgamation, made from Debian's source package; --check hands both
  # copies the one it made, whose folder the build maps away.
  local sqlite=${QV_SQLITE_SOURCE_DIR:-}
  if [[ -z $sqlite ]]; then
    scripts/sqlite-source.sh >&2 || return 1
    sqlite=$(sed -n 's/^QV_SQLITE_DEBIAN_VERSION=//p' scripts/sqlite-source.sh)
    sqlite=$PWD/build/sqlite/$sqlite
  fi
  build_programs windows "$build" "$sqlite" "${programs[@]}" || return 1
  build_programs linux-release "$linux_build" "$sqlite" "${linux_programs[@]}" || return 1
  local version
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  [[ -n $version ]] || { echo "no project version in $build/CMakeCache.txt" >&2; return 1; }

  local files=()
  stage_files "$build/stage" "$build/bin" .exe "${windows_beside[*]}" "${programs[@]}" || return 1
  local archive=dist/qv-$version-windows-x86_64.zip
  python3 - "$archive" "$build/stage" "${files[@]}" <<'EOF'
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
  local archives=("$archive")

  stage_files "$linux_build/stage" "$linux_build/bin" "" "" "${linux_programs[@]}" || return 1
  archive=dist/qv-$version-linux-x86_64.tar.gz
  python3 - "$archive" "$linux_build/stage" "${#linux_programs[@]}" "${files[@]}" <<'EOF'
import gzip
import sys
import tarfile

archive, stage, program_count, names = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
# gzip as `gzip -n` writes it: no name and no time in its header.
with open(archive, "wb") as raw, gzip.GzipFile("", "wb", 9, raw, mtime=0) as packed:
    with tarfile.open(fileobj=packed, mode="w", format=tarfile.GNU_FORMAT) as out:
        for i, name in enumerate(names):
            # The zip's time, owned by root, the programs executable, in the order
            # given: nothing that depends on the machine, the user or the moment.
            info = tarfile.TarInfo(name)
            info.mtime = 315532800
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            info.mode = 0o755 if i < program_count else 0o644
            with open(f"{stage}/{name}", "rb") as f:
                info.size = len(f.read())
                f.seek(0)
                out.addfile(info, f)
EOF
  check_linux_programs "$archive" "$version" || return 1
  archives+=("$archive")

  for archive in "${archives[@]}"; do
    scripts/check-archive-list.sh "$archive" || return 1
    python3 scripts/check-archive-links.py "$archive" || return 1
  done
  for archive in "${archives[@]}"; do
    echo "$archive"
    sha256sum "$archive" | cut -d' ' -f1
  done
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
  for file in "${programs[@]/%/.exe}"; do compared+=("$build/bin/$file"); done
  for file in "${linux_programs[@]}"; do compared+=("$linux_build/bin/$file"); done
  for file in "$a"/dist/*.zip "$a"/dist/*.tar.gz; do compared+=("dist/${file##*/}"); done
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

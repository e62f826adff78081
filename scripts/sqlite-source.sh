#!/usr/bin/env bash
# SQLite for every build, native and Windows: Debian's own sqlite3 source package, one
# pinned version checked by SHA-256, unpacked with Debian's patches applied and made into
# the amalgamation (sqlite3.c, sqlite3.h) that cmake/sqlite.cmake compiles with the same
# options for each. Run it before configuring any preset.
#
#   scripts/sqlite-source.sh [DEST]     DEST defaults to build/sqlite/<Debian version>
#
# A second run finds everything in place and does nothing. The source package's files
# are kept in DEST: with them there (or copied there by hand), no network is needed.
# The download uses apt with a deb-src list and package lists of its own, made from the
# machine's apt sources; the system's apt setup is left as it is.
set -euo pipefail

QV_SQLITE_DEBIAN_VERSION=3.40.1-2+deb12u2
# The Debian release whose archive serves that version.
QV_SQLITE_SUITE=bookworm

# The source package as the archive serves it.
QV_SQLITE_DOWNLOADS=(
  "sqlite3_3.40.1-2+deb12u2.dsc ee3459ae9d00939741c7708fc1b8ce1bde12d8c3fb1dfa005bbbc8651d884e23"
  "sqlite3_3.40.1.orig.tar.xz aaa776260ab4dc976db34aa7891819484c8676b5b2783123ebc6301e2ca5d655"
  "sqlite3_3.40.1.orig-www.tar.xz a5e95a18d1b59729278860559ded78751b9163ffb5bb906c5cd24c015f71d5fd"
  "sqlite3_3.40.1-2+deb12u2.debian.tar.xz 0843bc12e4364076477935ce313a6d0796fd899a989ff18ebb6545540e10e4ca"
)
# The amalgamation made from it: the same bytes on every Debian 12 machine.
QV_SQLITE_AMALGAMATION=(
  "sqlite3.c 9103996659b43b18d2fddac6c86ccf74b00afed17ada2275433be2fd01607f4a"
  "sqlite3.h 9222d6a9e53903389cc09b103b55f786074b5cc8cb0f52a494d54eddf27559ef"
)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dest=${1:-$root/build/sqlite/$QV_SQLITE_DEBIAN_VERSION}
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

qv_sqlite_fail() {
  echo "sqlite-source: $*" >&2
  exit 1
}

# "ok" when FILE has the SHA-256 HASH, "missing" when there is no FILE, else "differs".
qv_sqlite_state() {
  local file=$1 hash=$2
  [ -f "$file" ] || { echo missing; return; }
  [ "$(sha256sum "$file" | cut -d' ' -f1)" = "$hash" ] && echo ok || echo differs
}

qv_sqlite_amalgamation_ready() {
  local entry
  for entry in "${QV_SQLITE_AMALGAMATION[@]}"; do
    [ "$(qv_sqlite_state "$dest/${entry%% *}" "${entry##* }")" = ok ] || return 1
  done
}

if qv_sqlite_amalgamation_ready; then
  echo "sqlite-source: SQLite $QV_SQLITE_DEBIAN_VERSION is ready in $dest"
  exit 0
fi

# One run at a time per DEST; a run that waited finds the work done.
exec 9>"$dest/.lock"
flock 9
if qv_sqlite_amalgamation_ready; then
  echo "sqlite-source: SQLite $QV_SQLITE_DEBIAN_VERSION is ready in $dest"
  exit 0
fi

source "$root/scripts/setup.sh"
# apt-get and dpkg-source (dpkg-dev, patch, xz-utils) fetch and unpack; configure builds
# small C tools (gcc, make) and tclsh writes the amalgamation.
qv_install dpkg-dev patch xz-utils gcc libc6-dev make tcl

work=$(mktemp -d "$dest/.work.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt downloads as the unprivileged _apt user, who needs to reach the download folder.
chmod 755 "$work"

# --- The source package: verified files in DEST, downloaded only when missing. --------

missing=()
for entry in "${QV_SQLITE_DOWNLOADS[@]}"; do
  file=${entry%% *} hash=${entry##* }
  case $(qv_sqlite_state "$dest/$file" "$hash") in
    ok) ;;
    missing) missing+=("$file") ;;
    *) qv_sqlite_fail "$dest/$file does not have the pinned SHA-256 $hash; delete it and run again" ;;
  esac
done

# Writes deb-src entries for every Debian entry of the machine's apt sources that serves
# the pinned suite (or its -updates and -security suites): one-line .list files and
# deb822 .sources files alike, keeping their URIs, keys and options.
qv_sqlite_apt_sources() {
  local list=$1 parts=$2 suites="^$QV_SQLITE_SUITE(-updates|-security)?\$" file
  : >"$list"
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    awk -v suites="$suites" '
      $1 == "deb" {
        line = $0
        opts = ""
        if (match(line, /\[[^\]]*\]/)) {
          opts = substr(line, RSTART, RLENGTH) " "
          line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH)
        }
        n = split(line, f, /[ \t]+/)
        if (n < 4 || f[3] !~ suites) next
        out = "deb-src " opts f[2] " " f[3]
        for (i = 4; i <= n; i++) out = out " " f[i]
        print out
      }' "$file" >>"$list"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v suites="$suites" '
      BEGIN { RS = ""; FS = "\n" }
      {
        types = ""; kept = ""; enabled = "yes"; rest = ""
        for (i = 1; i <= NF; i++) {
          line = $i
          if (line ~ /^#/) continue
          value = line
          sub(/^[^:]*:[ \t]*/, "", value)
          if (line ~ /^[Tt]ypes:/) { types = value; continue }
          if (line ~ /^[Ee]nabled:/) { enabled = tolower(value); continue }
          if (line ~ /^[Ss]uites:/) {
            n = split(value, s, /[ \t]+/)
            for (j = 1; j <= n; j++) if (s[j] ~ suites) kept = kept " " s[j]
            continue
          }
          rest = rest line "\n"
        }
        if ((" " types " ") !~ /[ \t]deb[ \t]/ || enabled == "no" || kept == "") next
        printf "Types: deb-src\nSuites:%s\n%s\n", kept, rest
      }' "$file" >"$parts/$(basename "$file")"
    [ -s "$parts/$(basename "$file")" ] || rm "$parts/$(basename "$file")"
  done
  cat "$list" "$parts"/*.sources 2>/dev/null | grep -q . ||
    qv_sqlite_fail "the machine's apt sources name no Debian $QV_SQLITE_SUITE archive to fetch sqlite3 from"
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "sqlite-source: fetching Debian's sqlite3 $QV_SQLITE_DEBIAN_VERSION source package"
  mkdir -p "$work/apt/sources.list.d" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" \
    "$work/download"
  qv_sqlite_apt_sources "$work/apt/sources.list" "$work/apt/sources.list.d"
  apt=(
    -o "Dir::Etc::sourcelist=$work/apt/sources.list"
    -o "Dir::Etc::sourceparts=$work/apt/sources.list.d"
    -o "Dir::State::Lists=$work/apt/lists"
    -o "Dir::Cache=$work/apt/cache"
  )
  [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1 && chown _apt "$work/download"
  apt-get "${apt[@]}" -q update >"$work/apt-update.log" 2>&1 || {
    cat "$work/apt-update.log" >&2
    qv_sqlite_fail "apt-get update of the private deb-src lists failed"
  }
  # apt-get update only warns when it reaches no archive.
  compgen -G "$work/apt/lists/*_Sources*" >/dev/null || {
    cat "$work/apt-update.log" >&2
    qv_sqlite_fail "no package list came from Debian's archive (no network?); with the" \
      "source package's files copied into $dest, no network is needed"
  }
  (cd "$work/download" && apt-get "${apt[@]}" -q source --download-only \
    "sqlite3=$QV_SQLITE_DEBIAN_VERSION") >"$work/apt-source.log" 2>&1 || {
    cat "$work/apt-update.log" "$work/apt-source.log" >&2
    served=$(apt-cache "${apt[@]}" showsrc sqlite3 2>/dev/null | sed -n 's/^Version: //p' |
      sort -u | paste -sd' ')
    qv_sqlite_fail "Debian's archive did not serve sqlite3 $QV_SQLITE_DEBIAN_VERSION (it serves: ${served:-nothing})." \
      "Debian keeps only the newest version of each suite: pin the one served now" \
      "(QV_SQLITE_DEBIAN_VERSION and the SHA-256 lists in scripts/sqlite-source.sh), or copy" \
      "the pinned files into $dest."
  }
  for entry in "${QV_SQLITE_DOWNLOADS[@]}"; do
    file=${entry%% *} hash=${entry##* }
    [ -f "$dest/$file" ] && continue
    case $(qv_sqlite_state "$work/download/$file" "$hash") in
      ok) mv "$work/download/$file" "$dest/$file" ;;
      missing) qv_sqlite_fail "apt-get source did not fetch $file" ;;
      *) qv_sqlite_fail "downloaded $file does not have the pinned SHA-256 $hash ($(sha256sum \
        "$work/download/$file" | cut -d' ' -f1)); not using it" ;;
    esac
  done
fi

# --- The amalgamation. ------------------------------------------------------------------

echo "sqlite-source: making the amalgamation of SQLite $QV_SQLITE_DEBIAN_VERSION"
# The files were checked against their pins above; the .dsc's signature key is not on
# the machine, so dpkg-source's own check would only warn.
dpkg-source --no-check -x "$dest/${QV_SQLITE_DOWNLOADS[0]%% *}" "$work/src" >"$work/unpack.log" 2>&1 || {
  cat "$work/unpack.log" >&2
  qv_sqlite_fail "dpkg-source could not unpack the source package"
}
mkdir "$work/build"
# Debian regenerates configure with autoreconf; the shipped one serves as well, given
# Debian's default of no #line directives (the amalgamation then names no build folder).
(
  cd "$work/build"
  export LC_ALL=C
  ../src/configure --disable-tcl --disable-readline --disable-editline --disable-shared &&
    make -j"$(nproc)" sqlite3.c sqlite3.h AMALGAMATION_LINE_MACROS=--linemacros=0
) >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  qv_sqlite_fail "making sqlite3.c failed (the output's end is above)"
}
for entry in "${QV_SQLITE_AMALGAMATION[@]}"; do
  file=${entry%% *} hash=${entry##* }
  [ "$(qv_sqlite_state "$work/build/$file" "$hash")" = ok ] ||
    qv_sqlite_fail "the new $file does not have the pinned SHA-256 $hash" \
      "($(sha256sum "$work/build/$file" | cut -d' ' -f1))"
done
# sqlite3.h last: the pair is complete once both have their pinned hashes.
mv "$work/build/sqlite3.c" "$dest/sqlite3.c"
mv "$work/build/sqlite3.h" "$dest/sqlite3.h"
echo "sqlite-source: SQLite $QV_SQLITE_DEBIAN_VERSION is ready in $dest"

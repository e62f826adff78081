#!/usr/bin/env bash
# Checks a Linux archive where a user would first run it: a fresh Debian 12 (bookworm,
# minbase) given only the run-time packages the archive's README names. Unpacks the
# archive there and, in a chroot, checks its sums, runs `--version` of both programs
# and a smoke of each: index two reports, list the hosts, make the page, compare.
# One line per step; the status is 1 when any step fails.
#
#   scripts/check-linux-archive.sh dist/qv-<version>-linux-x86_64.tar.gz
#
# Run by hand before a release (docs/releasing.md), as root and with Debian's mirror
# reachable; scripts/test.sh does not run it. The made root is kept in
# /tmp/qv-check-linux-archive/bookworm, so a second run takes seconds, but every run
# works in a fresh copy of it: nothing a run installs reaches the next.
set -uo pipefail
usage="usage: scripts/check-linux-archive.sh dist/qv-<version>-linux-x86_64.tar.gz"
archive=$(realpath "${1:?$usage}") || exit 2
[[ -f $archive && $archive == */qv-*-linux-x86_64.tar.gz ]] || { echo "$usage" >&2; exit 2; }
[[ $(id -u) == 0 ]] || { echo "check-linux-archive.sh: needs root, for debootstrap and chroot" >&2; exit 2; }
cd "$(dirname "$0")/.." || exit 2

version=${archive##*/qv-}
version=${version%-linux-x86_64.tar.gz}
# Two reports of one host, a day apart, from the tests.
reports=(qvfleet/store/testdata/v1/share/PC-1/2026-12-06.txt
  qvfleet/store/testdata/v1/share/PC-1/2026-12-07.txt)
cache=/tmp/qv-check-linux-archive/bookworm

failed=0
ok() { echo "ok    $*"; }
fail() {
  echo "FAIL  $*"
  failed=1
}

work=$(mktemp -d /tmp/qv-check-linux-archive.XXXXXX) || exit 2
root=$work/root
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  umount "$root/proc" 2>/dev/null
  # Never past the copy's own file system, whatever is still mounted in it.
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

# Runs a shell command in the chroot, with an empty environment but PATH, in /check.
in_root() {
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    chroot "$root" /bin/sh -c "cd /check && $1"
}

# The cached minbase root, made once; a half-made one never takes the cache's name.
make_cache() {
  [[ -f $cache/etc/debian_version ]] && { echo "cached"; return 0; }
  if ! command -v debootstrap >/dev/null; then
    { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
      --no-install-recommends debootstrap; } >"$work/debootstrap-install.log" 2>&1 ||
      { tail -5 "$work/debootstrap-install.log"; return 1; }
  fi
  mkdir -p "${cache%/*}" && rm -rf --one-file-system "$cache.new" || return 1
  local start=$SECONDS
  debootstrap --variant=minbase bookworm "$cache.new" >"$work/debootstrap.log" 2>&1 ||
    { tail -5 "$work/debootstrap.log"; return 1; }
  mv "$cache.new" "$cache" && echo "made by debootstrap in $((SECONDS - start)) s"
}

if how=$(make_cache); then
  ok "root: Debian $(cat "$cache/etc/debian_version") minbase, $how"
else
  fail "root: debootstrap --variant=minbase bookworm failed: $how"
  exit 1
fi
if ! { cp -a "$cache" "$root" && mkdir "$root/check" && mount -t proc proc "$root/proc"; }; then
  fail "copy: can't make a fresh copy of $cache in $work"
  exit 1
fi
ok "copy: a fresh copy in $root"

# The packages the archive's README says the programs need, "(Debian 12: `libc6`,
# `libssl3` and ...", installed alone: one the programs need that the README leaves out
# fails the steps below.
# shellcheck disable=SC2016  # the backquotes are the README's
mapfile -t packages < <(tar -xzf "$archive" -O README.md 2>/dev/null | tr '\n' ' ' |
  grep -o 'Debian 12: [^);]*' | head -1 | grep -o '`[a-z0-9.+-]*`' | tr -d '`')
already=$(in_root "dpkg-query -W -f '\${Package}\n' ${packages[*]} 2>/dev/null" | paste -sd' ')
if ((${#packages[@]} == 0)); then
  fail "packages: the archive's README names no package, as \"(Debian 12: \`libssl3\`)\""
elif in_root "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    --no-install-recommends ${packages[*]}" >"$work/apt.log" 2>&1; then
  ok "packages: ${packages[*]}, as the README names them (in minbase already: ${already:-none})"
else
  fail "packages: apt-get install ${packages[*]}: $(tail -1 "$work/apt.log")"
fi

cp "$archive" "${reports[@]}" "$root/check/" || { fail "unpack: can't copy into the root"; exit 1; }
# The index takes a report's time from its file: a day apart, in the order written.
touch -d 2026-12-06T06:00:00Z "$root/check/2026-12-06.txt"
touch -d 2026-12-07T06:00:00Z "$root/check/2026-12-07.txt"
tarball=${archive##*/}
if out=$(in_root "tar -xzf '$tarball' && sha256sum --quiet -c SHA256SUMS" 2>&1); then
  ok "unpack: $tarball unpacked by Debian's tar, every file as SHA256SUMS says"
else
  fail "unpack: ${out//$'\n'/ / }"
fi

# Checks one command's status and its output (standard output and error together)
# against a pattern.
#   step NAME STATUS PATTERN COMMAND
step() {
  local name=$1 want=$2 pattern=$3 command=$4 out status
  out=$(in_root "$command" 2>&1)
  status=$?
  if [[ $status == "$want" && $out =~ $pattern ]]; then
    out=${out//$'\t'/ }
    out=${out//$'\n'/ | }
    ok "$name: $command -> status $status${out:+, }${out:0:120}"
  else
    pattern=${pattern//$'\t'/\\t}
    fail "$name: $command: status $status, output: ${out//$'\n'/ / } (wanted status $want and /${pattern//$'\n'/\\n}/)"
  fi
}

for program in qvdiff qvfleet; do
  # ldd names what the program needs and marks what the root lacks.
  if ! libraries=$(in_root "ldd ./$program" 2>&1) || [[ $libraries == *"not found"* ]]; then
    fail "libraries: ldd ./$program: ${libraries//$'\n'/ / }"
  else
    ok "libraries: $program needs $(sed -n 's/^\t\([^ ]*\) .*/\1/p' <<<"$libraries" | paste -sd' ')"
  fi
  step "version" 0 "^$program $version\$" "./$program --version"
done
step "index" 0 '^2 indexed, 0 already known, 0 refused$' \
  "./qvfleet index fleet.db 2026-12-06.txt 2026-12-07.txt"
step "hosts" 0 $'^host\ttaken_at\t.*\nPC-1\t2026-12-07T06:00:00Z\t' "./qvfleet hosts fleet.db"
step "page" 0 '^wrote fleet.html: 1 host, 2 snapshots, ' \
  "./qvfleet page fleet.db fleet.html && head -c 15 fleet.html | grep -qx '<!DOCTYPE html>'"
step "qvdiff same" 0 '^$' "./qvdiff 2026-12-07.txt 2026-12-07.txt"
step "qvdiff older" 1 '^removed   USB\\X\\1' "./qvdiff 2026-12-06.txt 2026-12-07.txt"

if ((failed)); then echo "FAILED: $tarball on Debian 12 minbase"; else echo "passed: $tarball on Debian 12 minbase"; fi
exit $failed

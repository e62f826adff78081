#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, and only what is missing.
# Sourced by run.sh and test.sh; safe to run on its own.
set -euo pipefail

# scripts/run.sh needs only these: qv.exe cross-built, and Wine to run it.
QV_PACKAGES_RUN=(cmake make g++-mingw-w64-x86-64 wine wine64)
# SQLite is no package here: scripts/sqlite-source.sh makes it from Debian's source package
# and installs what that needs. qvfleet packs its page with Debian's zlib, the native one
# and the MinGW one that qvfleet.exe links in.
QV_PACKAGES_BUILD=("${QV_PACKAGES_RUN[@]}" g++ googletest libgtest-dev libbenchmark-dev python3 bsdutils libssl-dev
  zlib1g-dev libz-mingw-w64-dev)
# The fleet index's export is loaded into a real PostgreSQL server by the tests.
QV_PACKAGES_POSTGRES=(postgresql-15 postgresql-client-15)
QV_PACKAGES_FUZZ=(clang-19 libclang-rt-19-dev)
# The fleet page is tested in a real Chromium, driven by Debian's own Python and selenium.
QV_PACKAGES_BROWSER=(chromium chromium-driver python3-selenium)

qv_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || echo "$pkg"
  done
}

qv_install() {
  local missing
  missing=$(qv_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "installing: $missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # A fresh machine has no package lists yet; refresh them once per run.
  if [ -z "${QV_APT_UPDATED:-}" ]; then
    $sudo apt-get update -q
    export QV_APT_UPDATED=1
  fi
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
}

source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  qv_install "${QV_PACKAGES_BUILD[@]}" "${QV_PACKAGES_FUZZ[@]}"
fi

#!/usr/bin/env bash
# Builds qv.exe and runs it under Wine: scripts/run.sh [report-path]
# The first run installs what is missing and creates a Wine prefix under build/;
# later runs only rebuild what changed and start at once.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/setup.sh"
qv_install "${QV_PACKAGES_BUILD[@]}" >&2

build="$root/build/windows"
if [ ! -f "$build/CMakeCache.txt" ]; then
  # Every preset compiles SQLite from Debian's source package (for qvfleet).
  "$root/scripts/sqlite-source.sh" >&2
  cmake --preset windows -S "$root" >&2
fi
if ! cmake --build "$build" -j"$(nproc)" --target qv >"$build/run-build.log" 2>&1; then
  cat "$build/run-build.log" >&2
  exit 1
fi

export WINEPREFIX="$root/build/wineprefix-run"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix $WINEPREFIX (once)" >&2
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec wine "$build/app/qv.exe" "$@"

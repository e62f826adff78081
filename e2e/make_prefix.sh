#!/usr/bin/env bash
# Makes the pristine Wine prefix that every e2e test copies: a fresh `wineboot -i`
# with Wine's own devices and nothing else. Usage: make_prefix.sh DIR
set -euo pipefail

dir=${1:?usage: make_prefix.sh DIR}
source "$(dirname "$0")/../scripts/wine-env.sh"
export WINEPREFIX=$dir

if [[ -d $dir ]]; then
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$dir"
fi
mkdir -p "$(dirname "$dir")"
wine wineboot -i >/dev/null 2>&1
# The computer name Wine gives its processes comes from the host name; the tests
# that run qv.exe directly expect it in the summary.
wine cmd /c 'echo %COMPUTERNAME%' 2>/dev/null | tr -d '\r\n' >"$dir.host"
wineserver -k 2>/dev/null || true
wineserver -w
test -s "$dir/system.reg"
test -s "$dir.host"

#!/usr/bin/env bash
# Builds qv.exe and runs it under Wine: scripts/run.sh [report-path]
# The first run installs what is missing, builds qv.exe alone (the windows-qv preset: no
# SQLite, no tests) and creates a Wine prefix under build/; later runs only rebuild what
# changed and start at once. Each step is one line on standard error; the tools' own
# output goes to build/run.log, shown only when a step fails. Then qv.exe's output and
# status are its own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/setup.sh"
mkdir -p "$root/build"
log="$root/build/run.log"
: >"$log"

# step MESSAGE COMMAND...: MESSAGE (when not empty) on standard error, then COMMAND with
# its output in the log; when it fails, the log and status 1.
step() {
  local message=$1
  shift
  [ -z "$message" ] || echo "run.sh: $message" >&2
  if ! "$@" >>"$log" 2>&1; then
    echo "run.sh: failed; the output of $*:" >&2
    cat "$log" >&2
    exit 1
  fi
}

missing=$(qv_missing_packages "${QV_PACKAGES_RUN[@]}")
[ -z "$missing" ] || step "installing ${missing//$'\n'/ }, a few minutes" qv_install "${QV_PACKAGES_RUN[@]}"

build="$root/build/windows-qv"
[ -f "$build/CMakeCache.txt" ] || step "configuring build/windows-qv (once)" cmake --preset windows-qv -S "$root"
building=""
[ -f "$build/app/qv.exe" ] || building="building qv.exe, about a minute the first time"
step "$building" cmake --build "$build" --target qv -j"$(nproc)"

export WINEPREFIX="$root/build/wineprefix-run"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  step "creating the Wine prefix build/wineprefix-run (once, about 20 seconds)" wine wineboot -i
  step "" wineserver -w
fi
exec wine "$build/app/qv.exe" "$@"

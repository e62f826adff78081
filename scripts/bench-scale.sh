#!/usr/bin/env bash
# Scale benchmark under Wine (not part of CI): qv.exe against the floor, a program
# of ours that makes only the platform calls of one scan (e2e/floor_win.cpp).
#
# For each size N it adds N devices, each with a driver key of seven values, to a
# copy of a fresh prefix, then runs floor, qv listing and qv report in turn, ROUNDS
# times, and prints the medians, the ratio to the floor and the time per device.
# A run with Wine's eight devices alone gives the fixed cost of a start (process,
# "cmd /d /c ver"), which the "per device" figures leave out. The floor is also timed
# making and stepping through the device set alone ("enumerate"), to show how much
# of the growth with N is the platform's own.
#
# Usage: scripts/bench-scale.sh [BUILD_DIR]   (default build/windows)
#   SIZES="1000 5000" ROUNDS=7 to change the sizes and the number of rounds.
#   PIN_CPU=0: the CPU that wineserver and every timed process are bound to (empty:
#   not bound). On a small virtual machine a wake-up from one CPU to the other can
#   cost ten times a registry call, and how much varies from minute to minute; on one
#   CPU the figures are steady and the platform's share is at its smallest.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
sizes=${SIZES:-1000 5000}
rounds=${ROUNDS:-7}
qv=$build/app/qv.exe
floor=$build/e2e/e2e_floor.exe
devices=$build/e2e/e2e_devices.exe
for program in "$qv" "$floor" "$devices"; do
  [[ -f $program ]] || { echo "missing $program: build qv e2e_floor e2e_devices first" >&2; exit 1; }
done

source "$(dirname "$0")/wine-env.sh"
pin=()
if [[ -n ${PIN_CPU-0} ]] && command -v taskset >/dev/null; then pin=(taskset -c "${PIN_CPU-0}"); fi
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-bench.XXXXXX")
cleanup() {
  if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "making a fresh prefix..." >&2
export WINEPREFIX=$work/pristine
wine wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w
unset WINEPREFIX

class='{C0DE0E2E-0000-4000-8000-00000000BE4C}'
describe() {
  local n=$1 i
  printf 'class %s\n' "$class"
  for ((i = 0; i < n; i++)); do
    printf 'device ROOT\\QVBENCH\\%06d\n' "$i"
    printf 'hwid QVBENCH\\DEV_%06d\\<0>QVBENCH\\GENERIC\\<0 0>\n' "$i"
    printf 'cid QVBENCH\\CC_01\\<0 0>\n'
    printf 'friendly Bench Device %d\\<0>\n' "$i"
    printf 'driver-key %s\\%04d\n' "$class" "$i"
    printf 'driver DriverDate sz 6-21-2006\\<0>\n'
    printf 'driver DriverVersion sz 10.0.19041.%d\\<0>\n' "$i"
    printf 'driver DriverDesc sz Bench Driver\\<0>\n'
    printf 'driver ProviderName sz Bench Provider\\<0>\n'
    printf 'driver InfPath sz oem1.inf\\<0>\n'
    printf 'driver InfSectionExt sz .NTAMD64\\<0>\n'
    printf 'driver MatchingDeviceId sz qvbench\\dev_%06d\\<0>\n' "$i"
  done
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# time_ms COMMAND...: wall time of one run, in milliseconds.
time_ms() {
  local start
  start=$(now_ms)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  echo $(($(now_ms) - start))
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A result
measure() {
  local n=$1 r keeper run f=() l=() w=() e=()
  export WINEPREFIX=$work/p$n
  cp -a "$work/pristine" "$WINEPREFIX"
  "${pin[@]}" wineserver -p
  # A process that lives through the measurement keeps Wine's system processes
  # (services, plugplay) running, so no timed run pays for starting them again.
  mkfifo "$work/hold$n"
  "${pin[@]}" wine cmd <"$work/hold$n" >/dev/null 2>&1 &
  keeper=$!
  exec 9>"$work/hold$n"
  mkdir -p "$work/run$n"
  cd "$work/run$n"
  if ((n > 0)); then
    describe "$n" >devices.txt
    echo "adding $n devices..." >&2
    "${pin[@]}" wine "$devices" devices.txt
  fi
  # One of each first, so that every timed run finds the same warm caches.
  run=("${pin[@]}" wine)
  "${run[@]}" "$floor" && "${run[@]}" "$qv" >/dev/null && "${run[@]}" "$qv" report.txt >/dev/null
  "${run[@]}" "$floor" enumerate
  for ((r = 0; r < rounds; r++)); do
    f+=("$(time_ms "${run[@]}" "$floor")")
    l+=("$(time_ms "${run[@]}" "$qv")")
    w+=("$(time_ms "${run[@]}" "$qv" report.txt)")
    e+=("$(time_ms "${run[@]}" "$floor" enumerate)")
  done
  result[$n:floor]=$(median "${f[@]}")
  result[$n:list]=$(median "${l[@]}")
  result[$n:report]=$(median "${w[@]}")
  result[$n:enumerate]=$(median "${e[@]}")
  echo "N=$n floor ${f[*]} | listing ${l[*]} | report ${w[*]} | enumerate ${e[*]} (ms)" >&2
  exec 9>&-
  wineserver -k 2>/dev/null || true  # ends the keeper too
  wineserver -w
  wait "$keeper" || true
  cd "$work"
  rm -rf "$WINEPREFIX"
}

measure 0
for n in $sizes; do measure "$n"; done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
per_device() { awk -v t="$1" -v t0="$2" -v n="$3" 'BEGIN { printf "%.4f", (t - t0) / n }'; }

echo
echo "Medians of $rounds rounds, wall ms per run (each run starts a Wine process and cmd /d /c ver)${pin:+, on CPU ${PIN_CPU-0}}."
echo "N=0 is Wine's eight devices alone; per device = (time - time at N=0) / N."
printf '%-6s %-8s %9s %9s %7s %14s %14s\n' N mode qv_ms floor_ms ratio qv_ms/device floor_ms/device
printf '%-6s %-8s %9s %9s\n' 0 listing "${result[0:list]}" "${result[0:floor]}"
printf '%-6s %-8s %9s %9s\n' 0 report "${result[0:report]}" "${result[0:floor]}"
for n in $sizes; do
  for mode in list report; do
    label=$([[ $mode == list ]] && echo listing || echo report)
    printf '%-6s %-8s %9s %9s %7s %14s %14s\n' "$n" "$label" "${result[$n:$mode]}" \
      "${result[$n:floor]}" "$(ratio "${result[$n:$mode]}" "${result[$n:floor]}")" \
      "$(per_device "${result[$n:$mode]}" "${result[0:$mode]}" "$n")" \
      "$(per_device "${result[$n:floor]}" "${result[0:floor]}" "$n")"
  done
done

set -- $sizes
if (($# >= 2)); then
  small=$1 large=$2
  echo
  echo "Growth from N=$small to N=$large (ideal $((large / small))x):"
  for mode in list report floor enumerate; do
    raw=$(ratio "${result[$large:$mode]}" "${result[$small:$mode]}")
    net=$(awk -v a="${result[$large:$mode]}" -v b="${result[$small:$mode]}" \
      -v z="${result[0:$mode]}" 'BEGIN { printf "%.3f", (a - z) / (b - z) }')
    echo "  $mode: whole runs ${raw}x, without the fixed start ${net}x"
  done
  echo "(enumerate: the floor making and stepping through the device set alone)"
fi

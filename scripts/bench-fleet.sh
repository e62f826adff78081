#!/usr/bin/env bash
# qvfleet benchmark (not part of CI), with the native Release build it makes in
# build/bench-fleet, on two generated fleets of a few dozen machine models:
#   share: 10,000 reports of 250 devices (about 1.2 GB), one per machine;
#   daily: 30 daily reports of 1,000 machines, 1% of devices changing per day.
# It first sets each fleet's full index against the floor, reading and
# SHA-256-hashing the same files with OpenSSL, and prints their ratio; then it
# times the full index of each, a second run with nothing new, and each
# question (the new ones beside 1.1.0's per-INF drivers listing, drivers
# --by-inf); it gives each index run's peak memory (maximum resident set), and
# the index sizes against the reports' own.
#
# Usage: scripts/bench-fleet.sh [WORK]   WORK defaults to /tmp/qvfleet-bench; the
# fleets are made there once and kept (HOSTS, DAYS, DEVICES change their sizes).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvfleet-bench}
hosts=${HOSTS:-10000}
daily_hosts=${DAILY_HOSTS:-1000}
days=${DAYS:-30}
devices=${DEVICES:-250}
source "$root/scripts/bench-lib.sh"
qvfleet=$(bench_build "$root/build/bench-fleet" qvfleet/qvfleet)
mkdir -p "$work"
cd "$work"
bench_fleet share share share --hosts "$hosts" --devices "$devices"
bench_fleet daily daily daily --hosts "$daily_hosts" --days "$days" --devices "$devices"

# timed LABEL COMMAND...: wall time and peak memory of one run.
timed() {
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o time.txt "$@" >run.out 2>run.err || true
  read -r seconds kilobytes <time.txt
  printf '%-44s %8.2f s %8.1f MB   %s\n' "$label" "$seconds" "$((kilobytes))e-3" "$(tail -n 1 run.out)"
}

mb() { printf '%.1f MB' "$(du -csb --apparent-size "$@" | tail -n 1 | awk '{ print $1 / 1e6 }')"; }

# seconds COMMAND...: the wall time of one run, in seconds.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v ns="$((end - start))" 'BEGIN { printf "%.2f", ns / 1e9 }'
}
middle() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

# The floor: reading and SHA-256-hashing every report with OpenSSL (its SHA
# instructions where the CPU has them), against a full index, three rounds taken
# in turn; the medians and their ratio.
for fleet in share daily; do
  floors=() indexes=()
  for round in 1 2 3; do
    floors+=("$(seconds sh -c "find '$fleet' -type f -print0 | xargs -0 openssl dgst -sha256")")
    rm -f "$fleet.db" "$fleet.db-wal" "$fleet.db-shm"
    indexes+=("$(seconds "$qvfleet" index "$fleet.db" "$fleet")")
  done
  floor=$(middle "${floors[@]}") index=$(middle "${indexes[@]}")
  printf '%s: floor (read and SHA-256) %s s, qvfleet index %s s, ratio %.2f\n' "$fleet" "$floor" \
    "$index" "$(awk -v i="$index" -v f="$floor" 'BEGIN { print i / f }')"
done

for fleet in share daily; do
  rm -f "$fleet.db" "$fleet.db-wal" "$fleet.db-shm"
  echo "== $fleet: $(find "$fleet" -type f | wc -l) reports, $(mb "$fleet")"
  timed "index, full" "$qvfleet" index "$fleet.db" "$fleet"
  timed "index again, nothing new" "$qvfleet" index "$fleet.db" "$fleet"
  timed "hosts" "$qvfleet" hosts "$fleet.db"
  timed "hosts --seen-before the last day" "$qvfleet" hosts "$fleet.db" --seen-before 2026-12-07
  # 1.1.0's drivers, a row per INF name, beside each question that must answer within its time.
  timed "drivers --by-inf" "$qvfleet" drivers "$fleet.db" --by-inf
  timed "drivers" "$qvfleet" drivers "$fleet.db"
  timed "drivers --by-inf intel" "$qvfleet" drivers "$fleet.db" intel --by-inf
  timed "drivers intel" "$qvfleet" drivers "$fleet.db" intel
  timed "behind" "$qvfleet" behind "$fleet.db"
  timed "behind intel" "$qvfleet" behind "$fleet.db" intel
  timed "behind iris --version 31.0.101.5590" "$qvfleet" behind "$fleet.db" iris --version 31.0.101.5590
  timed "nodriver" "$qvfleet" nodriver "$fleet.db"
  timed "nodriver usb" "$qvfleet" nodriver "$fleet.db" usb
  timed "find PCI\\CC_000000" "$qvfleet" find "$fleet.db" 'PCI\CC_000000'
  timed "find USB\\VID_046D*" "$qvfleet" find "$fleet.db" 'USB\VID_046D*'
  timed "changes --since the last day" "$qvfleet" changes "$fleet.db" --since 2026-12-07
  timed "changes --host PC-00001" "$qvfleet" changes "$fleet.db" --host PC-00001
  echo "index: $(mb "$fleet.db"*)"
done
last_day=$(find daily -type f -name '2026-12-07.txt' -print0 | du -cb --apparent-size --files0-from=- | tail -n 1 | cut -f1)
printf 'daily: index %s, one day of reports %.1f MB, ratio %.2f\n' "$(mb daily.db*)" \
  "$(awk -v b="$last_day" 'BEGIN { print b / 1e6 }')" \
  "$(du -cb --apparent-size daily.db* | tail -n 1 | cut -f1 | awk -v b="$last_day" '{ print $1 / b }')"

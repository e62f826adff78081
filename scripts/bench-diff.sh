#!/usr/bin/env bash
# qvdiff benchmark (not part of CI): two generated reports of DEVICES devices
# (100,000 by default, about 47 MiB each) in which 1% of the devices differ: a
# quarter of those with a new driver version and INF, a quarter with a new
# description, a quarter replaced by another device (one removed, one added), a
# quarter with a changed hardware id. Times qvdiff (the native Release build it
# makes in build/bench-diff) ROUNDS times and prints the minimum and median wall
# time, its peak memory (maximum resident set) against the size of the two
# inputs, and diff's time on the same two files for context.
#
# Usage: scripts/bench-diff.sh        DEVICES=10000 ROUNDS=9 to change the sizes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
devices=${DEVICES:-100000}
rounds=${ROUNDS:-7}
source "$root/scripts/bench-lib.sh"
qvdiff=$(bench_build "$root/build/bench-diff" qvdiff/qvdiff)

work=$(mktemp -d "${TMPDIR:-/tmp}/qvdiff-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# generate SIDE: the report of one side, "old" or "new".
generate() {
  awk -v n="$devices" -v side="$1" 'BEGIN {
    printf "qvdev1\nhost=DESKTOP-7Q2M4KD\nos=10.0.19045\narch=amd64\nserver=0\n"
    for (i = 0; i < n; i++) {
      kind = (i % 100 == 0 && side == "new") ? (i / 100) % 4 : -1
      id = sprintf("PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086&REV_03\\4&2F1C0A9B&0&%06d", i)
      if (kind == 2) id = id "&NEW"
      printf "[device]\ninstance_id=%s\n", id
      printf "description=Intel(R) Ethernet Controller (2) I225-V #%d%s\n", i, kind == 1 ? " (renamed)" : ""
      printf "class_guid={4d36e972-e325-11ce-bfc1-08002be10318}\n"
      printf "hwid=PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086&REV_%s\n", kind == 3 ? "04" : "03"
      printf "hwid=PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086\n"
      printf "cid=PCI\\VEN_8086&DEV_15F3&REV_03\ncid=PCI\\CC_020000\n"
      if (i % 4 == 3) continue
      printf "driver_ver=2023-03-14 2.1.3.%d\n", kind == 0 ? 16 : 15
      printf "driver_desc=Intel(R) Ethernet Controller (2) I225-V\ndriver_provider=Intel\n"
      printf "driver_inf=oem%d.inf\ndriver_ext=.NTAMD64\n", kind == 0 ? 13 : 12
      printf "driver_matching_id=PCI\\VEN_8086&DEV_15F3&SUBSYS_00008086\n"
    }
  }'
}
generate old >"$work/old.report"
generate new >"$work/new.report"
old_bytes=$(stat -c %s "$work/old.report")
new_bytes=$(stat -c %s "$work/new.report")

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
minimum() { printf '%s\n' "$@" | sort -n | head -n 1; }
# measure COMMAND...: "wall_ms max_rss_kb" of one run; status 0 and 1 are success.
measure() {
  local status=0 start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >"$work/out" 2>/dev/null || status=$?
  end=$(date +%s%N)
  ((status <= 1)) || { echo "failed ($status): $*" >&2; exit 1; }
  # GNU time puts "Command exited with non-zero status 1" before its figure.
  echo "$(((end - start) / 1000000)) $(tail -n 1 "$work/time")"
}

"$qvdiff" "$work/old.report" "$work/new.report" >"$work/expected" || true
q_ms=() q_kb=() d_ms=()
for ((r = 0; r < rounds; r++)); do
  read -r ms kb < <(measure "$qvdiff" "$work/old.report" "$work/new.report")
  cmp -s "$work/out" "$work/expected" || { echo "qvdiff output changed between runs" >&2; exit 1; }
  q_ms+=("$ms") q_kb+=("$kb")
  read -r ms kb < <(measure diff "$work/old.report" "$work/new.report")
  d_ms+=("$ms")
done

inputs_kb=$(((old_bytes + new_bytes) / 1024))
peak_kb=$(median "${q_kb[@]}")
echo "reports: $devices devices, $old_bytes and $new_bytes bytes; qvdiff prints $(wc -l <"$work/expected") lines"
echo "rounds: $rounds; qvdiff ms: ${q_ms[*]}; diff ms: ${d_ms[*]}"
echo "qvdiff: minimum $(minimum "${q_ms[@]}") ms, median $(median "${q_ms[@]}") ms"
echo "diff:   minimum $(minimum "${d_ms[@]}") ms, median $(median "${d_ms[@]}") ms"
awk -v p="$peak_kb" -v i="$inputs_kb" 'BEGIN {
  printf "qvdiff peak memory: %.1f MiB (median maximum resident set), %.2f times the %.1f MiB of the two inputs\n",
    p / 1024, p / i, i / 1024 }'

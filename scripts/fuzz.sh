#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang-19, ASan and UBSan) in
# build/fuzz and runs each one from a copy of its seed corpus; fails on any crash.
#
#   scripts/fuzz.sh [seconds] [target...]   # default: 20 seconds for every target
#
# The longer run, ten minutes per target:
#   scripts/fuzz.sh 600
# What a run learns stays in build/fuzz/corpus-work/<target> for the next run;
# fuzz/corpus/<target> is never written. A failing input is saved as
# build/fuzz/artifacts/<target>/crash-*; replay it with
#   build/fuzz/fuzz/<target> build/fuzz/artifacts/<target>/crash-...
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
targets=("$@")

cd "$root"
mkdir -p build
scripts/sqlite-source.sh >/dev/null
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j2; } >build/fuzz-build.log 2>&1; then
  tail -n 60 build/fuzz-build.log >&2
  echo "fuzz: build failed, see build/fuzz-build.log" >&2
  exit 1
fi

# Every target the build made, unless some are named.
if [ ${#targets[@]} -eq 0 ]; then
  for program in build/fuzz/fuzz/fuzz_*; do
    [[ -f $program && -x $program ]] && targets+=("${program##*/}")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: the build made no fuzz target" >&2; exit 1; }

failed=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus-work/$target
  artifacts=build/fuzz/artifacts/$target/
  log=build/fuzz/logs/$target.log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  if [[ -d fuzz/corpus/$target ]]; then cp fuzz/corpus/"$target"/* "$work"/; fi
  if build/fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      -artifact_prefix="$artifacts" "$work" >"$log" 2>&1; then
    echo "$target: ok, $(grep -E '^#[0-9]+' "$log" | tail -n 1)"
  else
    echo "$target: FAILED, see $log" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done
exit "$failed"

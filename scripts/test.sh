#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
# native, native-asan, windows (unit and end-to-end tests under Wine), the fleet index
# under ThreadSanitizer (native-tsan), the check that two release builds are
# byte-identical, and a short fuzzing pass. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# setup.sh stops at the first failure; here every preset runs and all failures are told.
set +e
qv_install "${QV_PACKAGES_BUILD[@]}" "${QV_PACKAGES_FUZZ[@]}" "${QV_PACKAGES_POSTGRES[@]}" "${QV_PACKAGES_BROWSER[@]}" || exit 1

jobs=$(nproc)
failed=()
summary=()

run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
    cat "build/$preset-configure.log"
    failed+=("$preset (configure)")
    return
  fi
  if ! cmake --build --preset "$preset" -j"$jobs"; then
    failed+=("$preset (build)")
    return
  fi
  echo "=== $preset: test"
  local log="build/$preset-ctest.log"
  ctest --preset "$preset" -j"$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  summary+=("$preset: $(grep -E 'tests passed|tests failed' "$log" | tail -1)")
  [ "$status" -eq 0 ] || failed+=("$preset (tests)")
}

mkdir -p build
start=$SECONDS
# Every preset, fuzz included, compiles SQLite from Debian's source package: without
# it none configures.
if ! scripts/sqlite-source.sh; then
  echo "FAILED: SQLite source (scripts/sqlite-source.sh)"
  exit 1
fi
for preset in native native-asan windows; do
  run_preset "$preset"
done

# The fleet index's threads under ThreadSanitizer: its unit tests and an index run.
echo "=== native-tsan: scripts/tsan-fleet.sh"
tsan_start=$SECONDS
if scripts/tsan-fleet.sh "$jobs"; then
  summary+=("native-tsan: the fleet's unit tests and an index run without a report ($((SECONDS - tsan_start)) s)")
else
  failed+=("native-tsan (scripts/tsan-fleet.sh)")
fi

# Two release builds from two folders must give the same bytes.
echo "=== release: package.sh --check"
release_start=$SECONDS
if scripts/package.sh --check; then
  summary+=("release: the programs and both archives byte-identical from two folders ($((SECONDS - release_start)) s)")
else
  failed+=("release (package.sh --check)")
fi

echo "=== fuzz: short pass"
if scripts/fuzz.sh "${QV_FUZZ_SECONDS:-20}"; then
  summary+=("fuzz: every target ran ${QV_FUZZ_SECONDS:-20}s without a crash")
else
  failed+=("fuzz")
fi

echo
echo "=== summary ($((SECONDS - start)) s)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "all presets passed"

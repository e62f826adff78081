#!/usr/bin/env bash
# The fleet index's threads under ThreadSanitizer (preset native-tsan): the
# fleet's unit tests, then an index run of a generated share made anew and one
# more with nothing new, the index checked after. Only what these need is built
# (the build preset's targets). SQLite, compiled as C, is not instrumented: the
# sanitizer still sees its mutexes, which are the C library's. Exits non-zero on
# a failure or on any report of the sanitizer.
#
# Usage: scripts/tsan-fleet.sh [JOBS]
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}
build=build/native-tsan
if ! cmake --preset native-tsan >build/native-tsan-configure.log 2>&1; then
  cat build/native-tsan-configure.log
  exit 1
fi
cmake --build --preset native-tsan -j"$jobs" || exit 1

export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
"$build/qvfleet/qv_fleet_tests" --gtest_brief=1 || fail "qv_fleet_tests: status $?"

work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-tsan.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 scripts/fleet_generate.py daily "$work/share" --hosts 20 --days 6 --devices 150 --seed 5 \
  >/dev/null || exit 1
for run in new again; do
  "$build/qvfleet/qvfleet" index "$work/fleet.db" "$work/share" >"$work/out" 2>&1 ||
    fail "index ($run): status $?: $(head -c 2000 "$work/out")"
  echo "index ($run): $(tail -n 1 "$work/out")"
done
"$build/qvfleet/qvfleet_check" "$work" || fail "the index is not sound"
((failures == 0))

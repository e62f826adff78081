# Sourced by the fleet's shell tests. `check_indexes FOLDER...`, run at a test's
# end, checks every fleet index under the folders with qvfleet_check, built
# beside $qvfleet (index_check.h says what it checks): a write that leaves a
# dangling id or a wrong id list fails the test, whatever the test was about.
# Prints what it found; returns 1 when any index is not sound.
check_indexes() {
  local found
  if found=$("$(dirname "$qvfleet")/qvfleet_check" "$@" 2>&1); then
    echo "index check: $found"
    return 0
  fi
  echo "FAIL: index check:"
  echo "$found" | head -n 40
  return 1
}

# Shared steps of the e2e tests; sourced by test_*.sh.
#
# Each test works in a throwaway directory with its own copy of the pristine prefix
# (made once per run by make_prefix.sh) and its own wineserver, kept alive for the
# whole test and ended when the test ends, however it ends.
# The environment gives E2E_SOURCE, E2E_PRISTINE, E2E_QV, E2E_DEVICES and the
# programs a test names (e2e/CMakeLists.txt, E2E_ENVIRONMENT).
set -uo pipefail

: "${E2E_SOURCE:?}" "${E2E_PRISTINE:?}" "${E2E_QV:?}" "${E2E_DEVICES:?}"
source "$E2E_SOURCE/../scripts/wine-env.sh"

E2E_FAILURES=0
E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
export WINEPREFIX=$E2E_WORK/prefix

e2e_end() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$E2E_WORK"
}
trap e2e_end EXIT

cp -a "$E2E_PRISTINE" "$WINEPREFIX" || exit 1
wineserver -p || exit 1
mkdir -p "$E2E_WORK/run"
cd "$E2E_WORK/run" || exit 1

# The Wine display adapter's driver date is the day its key was written; it is read
# from the registry the test's programs see.
e2e_adapter_date() {
  local line month day year
  if [[ ! -f $E2E_WORK/adapter-date ]]; then
    line=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Class\{4D36E968-E325-11CE-BFC1-08002BE10318}\0000' \
      /v DriverDate 2>/dev/null | tr -d '\r' | awk '$1 == "DriverDate" { print $3 }')
    IFS=- read -r month day year <<<"$line"
    printf '%04d-%02d-%02d' "$((10#$year))" "$((10#$month))" "$((10#$day))" >"$E2E_WORK/adapter-date"
  fi
  cat "$E2E_WORK/adapter-date"
}

# e2e_expected TEMPLATE... > file: the templates joined, with @HOST@ and @WINEDATE@ (ten
# characters, like the date that replaces it, so padded columns stay right) filled in
# by bash substitution; every other byte is left as it is.
e2e_expected() {
  local host text file
  host=$(<"$E2E_PRISTINE.host")
  for file in "$@"; do
    IFS= read -r -d '' text <"$file"
    text=${text//@HOST@/$host}
    [[ $text == *@WINEDATE@* ]] && text=${text//@WINEDATE@/$(e2e_adapter_date)}
    printf '%s' "$text"
  done
}

# e2e_add_devices FILE: runs e2e_devices on a description file.
e2e_add_devices() {
  cp "$1" "$E2E_WORK/devices.txt"
  if ! wine "$E2E_DEVICES" 'Z:'"${E2E_WORK//\//\\}"'\devices.txt'; then
    echo "FAIL: e2e_devices could not apply $1"
    exit 1
  fi
}

# e2e_run NAME PROGRAM ARG...: runs PROGRAM under Wine; NAME.out, NAME.err and
# NAME.status hold the result.
e2e_run() {
  local name=$1
  shift
  wine "$@" >"$E2E_WORK/$name.out" 2>"$E2E_WORK/$name.err"
  echo $? >"$E2E_WORK/$name.status"
}

# e2e_run_qv NAME ARG...: e2e_run of qv.exe.
e2e_run_qv() {
  local name=$1
  shift
  e2e_run "$name" "$E2E_QV" "$@"
}

# e2e_reports_before_and_after OLD NEW: qv.exe writes OLD, the machine changes (a
# device removed, two added, two driver keys given a new DriverVersion and InfPath:
# Wine's display adapter and one of ours), and qv.exe writes NEW. The differences
# are cases/qvdiff.diff.
e2e_reports_before_and_after() {
  local class='HKLM\System\CurrentControlSet\Control\Class' change key version inf
  e2e_add_devices "$E2E_SOURCE/cases/diff-before.dev"
  e2e_run_qv before "$1"
  e2e_check_status "first report written" before 0
  e2e_reg delete 'HKLM\System\CurrentControlSet\Enum\ROOT\QVDIFF\0002' /f ||
    e2e_fail "could not delete the Enum key of ROOT\\QVDIFF\\0002"
  e2e_add_devices "$E2E_SOURCE/cases/diff-added.dev"
  for change in '{4D36E968-E325-11CE-BFC1-08002BE10318}\0000 31.0.101.4502 display.inf' \
    '{4D36E97D-E325-11CE-BFC1-08002BE10318}\0100 2.2.0.1 oem13.inf'; do
    read -r key version inf <<<"$change"
    e2e_reg add "$class\\$key" /v DriverVersion /t REG_SZ /d "$version" /f &&
      e2e_reg add "$class\\$key" /v InfPath /t REG_SZ /d "$inf" /f ||
      e2e_fail "could not change the driver key $key"
  done
  e2e_run_qv after "$2"
  e2e_check_status "second report written" after 0
}

# e2e_reg ARG...: Wine's reg.exe with ARG. On a loaded machine one run of it failed
# once on a key that every other run changes, its words thrown away; so a failure is
# tried twice more, and the last one's words are printed.
e2e_reg() {
  local attempt
  for attempt in 1 2 3; do
    wine reg "$@" >"$E2E_WORK/reg.out" 2>"$E2E_WORK/reg.err" && return 0
  done
  echo "reg $1 failed three times: $(cat "$E2E_WORK/reg.out" "$E2E_WORK/reg.err" | tr -d '\r' | head -c 400 | tr '\n' ' ')"
  return 1
}

e2e_fail() {
  echo "FAIL: $*"
  E2E_FAILURES=$((E2E_FAILURES + 1))
}

# e2e_check_bytes LABEL EXPECTED_FILE ACTUAL_FILE
e2e_check_bytes() {
  if [[ ! -f $3 ]]; then
    e2e_fail "$1: $3 does not exist"
  elif ! cmp -s "$2" "$3"; then
    e2e_fail "$1: bytes differ (expected, then actual; cat -A shows CR as ^M)"
    diff <(cat -A "$2") <(cat -A "$3") | head -40
  else
    echo "ok: $1"
  fi
}

# e2e_check_text LABEL EXPECTED_TEXT ACTUAL_FILE: printf-style expected bytes.
e2e_check_text() {
  printf '%s' "$2" >"$E2E_WORK/expected.tmp"
  e2e_check_bytes "$1" "$E2E_WORK/expected.tmp" "$3"
}

# e2e_check_status LABEL NAME STATUS: NAME.status holds STATUS.
e2e_check_status() {
  local status
  status=$(<"$E2E_WORK/$2.status")
  if [[ $status != "$3" ]]; then e2e_fail "$1: status $status, expected $3"; else echo "ok: $1"; fi
}

e2e_finish() {
  if ((E2E_FAILURES > 0)); then
    echo "$E2E_FAILURES check(s) failed"
    exit 1
  fi
  exit 0
}

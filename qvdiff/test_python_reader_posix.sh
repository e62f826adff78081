#!/usr/bin/env bash
# The Python reader of docs/report-format.md, taken from the document as it stands,
# against qvdiff on the reader's table of damaged reports and of reports that editors
# changed (a byte-order mark, CR LF): it must refuse each report that qvdiff refuses
# and read each that qvdiff reads.
# Usage: test_python_reader_posix.sh QVDIFF REPORT_CASES REPORT-FORMAT.md
set -uo pipefail
qvdiff=${1:?usage: test_python_reader_posix.sh QVDIFF REPORT_CASES DOC}
cases=${2:?usage: test_python_reader_posix.sh QVDIFF REPORT_CASES DOC}
doc=${3:?usage: test_python_reader_posix.sh QVDIFF REPORT_CASES DOC}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The fenced block right after the marker line, as e2e/test_python_reader.sh takes it.
awk '/^<!-- test: python reader -->$/ { state = 1; next }
     state == 1 { state = ($0 == "```python") ? 2 : 0; next }
     state == 2 && $0 == "```" { exit }
     state == 2 { print }' "$doc" >"$work/reader.py"
[[ -s $work/reader.py ]] || { echo "FAIL: no Python block after the marker in $doc"; exit 1; }
mkdir "$work/reports"
"$cases" "$work/reports" || { echo "FAIL: report_cases wrote no reports"; exit 1; }

# The reader's verdict on each report, in one Python process: read, refused (its
# ValueError), or crashed (any other exception: a report it did not foresee).
/usr/bin/python3 - "$work/reader.py" "$work"/reports/*.txt >"$work/python" <<'PYTHON'
import importlib.util
import sys

spec = importlib.util.spec_from_file_location("reader", sys.argv[1])
reader = importlib.util.module_from_spec(spec)
spec.loader.exec_module(reader)
for path in sys.argv[2:]:
    try:
        reader.read_qvdev1(path)
        print(path, "read")
    except ValueError:
        print(path, "refused")
    except Exception as error:  # pylint: disable=broad-except
        print(path, "crashed:", repr(error))
PYTHON
count=0
while read -r report python_verdict; do
  name=${report##*/}
  # The table says what qvdiff does.
  want="read"
  [[ $name == refused-* ]] && want="refused"
  "$qvdiff" "$report" "$report" >/dev/null 2>&1
  qvdiff_status=$?
  if [[ $qvdiff_status != "$([[ $want == read ]] && echo 0 || echo 2)" ]]; then
    echo "FAIL: $name: qvdiff's status $qvdiff_status, but the table says $want"
    failures=$((failures + 1))
  elif [[ $python_verdict != "$want" ]]; then
    echo "FAIL: $name: qvdiff $want it, the Python reader: $python_verdict"
    failures=$((failures + 1))
  fi
  count=$((count + 1))
done <"$work/python"
echo "$count reports, $failures that the readers see apart"
[[ $count -gt 50 && $failures -eq 0 ]]

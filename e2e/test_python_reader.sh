#!/usr/bin/env bash
# The Python reader of docs/report-format.md, taken from the document as it stands and
# run on a report that qv.exe wrote: one record per device, absent apart from empty.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases
doc=$E2E_SOURCE/../docs/report-format.md

# The fenced block right after the marker line.
awk '/^<!-- test: python reader -->$/ { state = 1; next }
     state == 1 { state = ($0 == "```python") ? 2 : 0; next }
     state == 2 && $0 == "```" { exit }
     state == 2 { print }' "$doc" >"$E2E_WORK/reader.py"
if [[ ! -s $E2E_WORK/reader.py ]]; then
  e2e_fail "no Python block after the marker in $doc"
  e2e_finish
fi

e2e_add_devices "$c/reader.dev"
e2e_run_qv report report.txt
e2e_check_status "qv.exe wrote the report" report 0
python3 "$E2E_WORK/reader.py" report.txt >"$E2E_WORK/records" 2>&1
e2e_expected "$c/reader.records" >"$E2E_WORK/records.expected"
e2e_check_bytes "records" "$E2E_WORK/records.expected" "$E2E_WORK/records"

# What the reader refuses: another tag, and a report cut short.
sed '1s/.*/qvdev2/' report.txt >other-tag.txt
head -c -1 report.txt >cut-short.txt
for file in other-tag.txt cut-short.txt; do
  if python3 "$E2E_WORK/reader.py" "$file" >/dev/null 2>&1; then
    e2e_fail "the reader accepted $file"
  else
    echo "ok: the reader refuses $file"
  fi
done

e2e_finish

#!/usr/bin/env bash
# The native qvdiff with what is no report file and every state of standard output:
# a device, a pipe and a folder refused; a full standard output said once; a reader
# that has left silent (status 2, not death by SIGPIPE); a closed one no failure.
# Usage: test_streams_posix.sh QVDIFF
set -uo pipefail
qvdiff=${1:?usage: test_streams_posix.sh QVDIFF}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
check() {  # LABEL EXPECTED ACTUAL
  if [[ $2 == "$3" ]]; then echo "ok: $1"; else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

printf 'qvdev1\nhost=A\nos=1\narch=amd64\nserver=0\n' >old.txt
for i in $(seq 1 20000); do printf '[device]\ninstance_id=ROOT\\X\\%05d\ndescription=d\nhwid=X\n' "$i"; done |
  cat old.txt - >new.txt
mkfifo fifo
mkdir folder

not_file="It is not a file but a device, a pipe or a folder."
for input in /dev/zero fifo folder; do
  err=$("$qvdiff" "$input" new.txt 2>&1 >/dev/null)
  check "$input: status" 2 $?
  check "$input: message" "Couldn't read $input: $not_file" "$err"
done

err=$("$qvdiff" old.txt new.txt 2>&1 >/dev/full)
check "full: status" 2 $?
check "full: message" "Couldn't write standard output: No space left on device. (os error 28)" "$err"

"$qvdiff" old.txt new.txt 2>left.err | head -c 10 >/dev/null
check "reader left: status" 2 "${PIPESTATUS[0]}"
check "reader left: no message" "" "$(cat left.err)"

"$qvdiff" old.txt new.txt >&- 2>closed.err
check "closed: status" 1 $?
check "closed: no message" "" "$(cat closed.err)"

((failures == 0))

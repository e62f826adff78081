#!/usr/bin/env bash
# Host facts on the real platform: COMPUTERNAME as the program inherits it (set for
# it by cmd), and the server flag from ProductType as `reg add` leaves it.
source "$(dirname "$0")/lib.sh"
c=$E2E_SOURCE/cases
cp "$E2E_QV" qv.exe

# run_through_cmd NAME SETTING: qv.exe started by cmd after `set COMPUTERNAME=SETTING`.
run_through_cmd() {
  wine cmd /c "set COMPUTERNAME=$2&& qv.exe $1.txt" >"$E2E_WORK/$1.out" 2>"$E2E_WORK/$1.err"
  echo $? >"$E2E_WORK/$1.status"
}

check_host() {
  local name=$1 console=$2 report=$3
  printf 'host      %s\nos        6.1.7601\ndevices   8\nno driver 7\nwritten   %s.txt\n' \
    "$console" "$name" >"$E2E_WORK/$name.expected"
  e2e_check_bytes "$name: standard output" "$E2E_WORK/$name.expected" "$E2E_WORK/$name.out"
  e2e_check_status "$name: status" "$name" 0
  printf 'qvdev1\nhost=%s\nos=6.1.7601\narch=amd64\nserver=0\n' "$report" >"$E2E_WORK/$name.header"
  head -n 5 "$name.txt" >"$E2E_WORK/$name.head" 2>/dev/null
  e2e_check_bytes "$name: report header" "$E2E_WORK/$name.header" "$E2E_WORK/$name.head"
}

# Case kept, non-ASCII and supplementary characters kept.
run_through_cmd mixed 'Qv-Host_Ünï😀'
check_host mixed 'Qv-Host_Ünï😀' 'Qv-Host_Ünï😀'
# A tab reaches the console as it is; the report writes a space.
run_through_cmd tab $'Tab\tHost'
check_host tab $'Tab\tHost' 'Tab Host'
# cmd's `set NAME=` removes the variable: an unset name gives an empty host.
run_through_cmd unset ''
check_host unset '' ''

# ProductType: only a value equal to "WinNT" without regard to case is a workstation.
options='HKLM\System\CurrentControlSet\Control\ProductOptions'
check_server() {
  local label=$1 expected=$2
  e2e_run_qv server report.txt
  printf 'server=%s\n' "$expected" >"$E2E_WORK/server.expected"
  sed -n 5p report.txt >"$E2E_WORK/server.line"
  e2e_check_bytes "ProductType $label: server line" "$E2E_WORK/server.expected" "$E2E_WORK/server.line"
}
set_product_type() {
  e2e_reg add "$options" /v ProductType /t REG_SZ /d "$1" /f || e2e_fail "reg add $1"
}

check_server 'WinNT (as Wine sets it)' 0
for value in ServerNT LanmanNT 'WinNT ' X; do
  set_product_type "$value"
  check_server "\"$value\"" 1
done
for value in winnt WINNT ''; do
  set_product_type "$value"
  check_server "\"$value\"" 0
done
e2e_reg add "$options" /v ProductType /t REG_DWORD /d 1 /f || e2e_fail "reg add REG_DWORD 1"
check_server 'REG_DWORD 1 (the bytes 01 00 read as text)' 1
e2e_reg delete "$options" /v ProductType /f || e2e_fail "reg delete ProductType"
check_server 'missing' 0
e2e_reg delete "$options" /f || e2e_fail "reg delete the key"
check_server 'key missing' 0

e2e_finish

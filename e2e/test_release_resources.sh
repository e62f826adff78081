#!/usr/bin/env bash
# The version resource and manifest of qv.exe, qvdiff.exe and qvfleet.exe as Windows
# reads them: the project version from CMake, the names, and the manifest embedded once,
# unchanged; and the version that qvdiff.exe and qvfleet.exe print.
source "$(dirname "$0")/lib.sh"
: "${E2E_RESOURCES:?}" "${E2E_PROJECT_VERSION:?}"

IFS=. read -r major minor patch tweak <<<"$E2E_PROJECT_VERSION"
numbers=$major.${minor:-0}.${patch:-0}.${tweak:-0}

# check PROGRAM DESCRIPTION EXE
check() {
  local program=$1 description=$2
  # The build folder holds the program itself: a link would be handed on as one.
  [[ -L $3 ]] && e2e_fail "$program: $3 is a symbolic link"
  cp "$3" "$program.exe"
  # The PE header's image version is the project's major and minor version.
  x86_64-w64-mingw32-objdump -p "$program.exe" |
    awk '/^M(aj|in)orImageVersion/ { printf "%s ", $2 }' >"$E2E_WORK/$program.image"
  e2e_check_text "$program: image version" "$major ${minor:-0} " "$E2E_WORK/$program.image"
  wine "$E2E_RESOURCES" "$program.exe" "$program.manifest" >"$E2E_WORK/$program.out" \
    2>"$E2E_WORK/$program.err"
  echo $? >"$E2E_WORK/$program.status"
  e2e_check_status "$program: version resource and manifest 1 read" "$program" 0

  # Flags 0 (a release), OS 40004 (VOS_NT_WINDOWS32), type 1 (VFT_APP); U.S. English
  # in UTF-16; one manifest.
  e2e_check_text "$program: version resource" "fixed $numbers $numbers 0 40004 1
translation 0409 04b0
ProductName=qv
ProductVersion=$E2E_PROJECT_VERSION
FileVersion=$E2E_PROJECT_VERSION
FileDescription=$description
OriginalFilename=$program.exe
InternalName=$program
manifests 1
" "$E2E_WORK/$program.out"

  e2e_check_bytes "$program: embedded manifest" "$E2E_SOURCE/../cmake/windows_program.manifest" \
    "$program.manifest"
  # What the manifest is for: never an elevation prompt, long paths, and the real
  # version of Windows 7 to 11 reported to the process.
  for fragment in 'level="asInvoker"' '>true</longPathAware>' \
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
    grep -qsF "$fragment" "$program.manifest" || e2e_fail "$program: embedded manifest lacks $fragment"
  done
}

check qv "Device and driver inventory" "$E2E_QV"
check qvdiff "Comparison of two device and driver reports" "${E2E_QVDIFF:?}"
check qvfleet "Fleet index of device and driver reports" "${E2E_QVFLEET:?}"

# The companions print the same version for --version; qv takes no options.
for program in qvdiff qvfleet; do
  e2e_run "$program-version" "./$program.exe" --version
  e2e_check_text "$program.exe --version" "$program $E2E_PROJECT_VERSION"$'\n' \
    "$E2E_WORK/$program-version.out"
  e2e_check_status "$program.exe --version: status" "$program-version" 0
done

e2e_finish

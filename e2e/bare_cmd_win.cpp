// e2e_bare_cmd: starts "cmd /c ver" by bare name, the way qv must not. The planted
// cmd test runs it first to show that Wine would pick a planted cmd.exe, so that
// the test of qv itself cannot pass for the wrong reason.
#include <windows.h>

int wmain() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  wchar_t command_line[] = L"cmd /c ver";
  if (!CreateProcessW(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

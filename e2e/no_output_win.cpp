// e2e_no_output: starts a program the way a service or a detached start does, with
// no standard input or output at all (null handles), waits for it and returns its
// exit status. Standard error is passed on, unless --no-error takes it away too.
// Usage: e2e_no_output [--no-error] PROGRAM [ARGUMENT]...  (status 99: not started)
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t* argv[]) {
  int first = 1;
  const bool keep_error = !(argc > 1 && std::wcscmp(argv[1], L"--no-error") == 0);
  if (!keep_error) ++first;
  if (first >= argc) return 99;

  // Quoted as they came; the tests' arguments hold no quotes.
  std::wstring command_line;
  for (int i = first; i < argc; ++i) {
    if (i > first) command_line += L' ';
    command_line += L'"' + std::wstring(argv[i]) + L'"';
  }

  HANDLE error = nullptr;
  if (keep_error && !DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE),
                                     GetCurrentProcess(), &error, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return 99;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = nullptr;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(argv[first], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 99;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

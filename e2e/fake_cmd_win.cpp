// A stand-in cmd.exe that the e2e tests plant where a bare "cmd" would be found
// first. It answers "ver" with a version of its own and leaves cmd-ran.txt beside
// itself, so a test sees both whether it ran and which copy ran.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t own_path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, own_path, MAX_PATH);
  std::wstring marker(own_path, length);
  marker.resize(marker.find_last_of(L'\\') + 1);
  marker += L"cmd-ran.txt";
  const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);

  static constexpr char answer[] = "\r\nFake [Version 9.9.9]\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), answer, sizeof(answer) - 1, &written, nullptr);
  return 0;
}

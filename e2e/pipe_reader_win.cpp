// e2e_pipe_reader: the far end of a named pipe that a program writes its report
// into. Creates the pipe, then the file READY (so that a script knows when the
// writer may start), takes one client and copies everything it sends into OUTPUT
// until the client closes its end.
// Usage: e2e_pipe_reader \\.\pipe\NAME READY OUTPUT  (status 0: the client came and
// left; 99: a call failed, with its code on standard error)
#include <windows.h>

#include <cstdio>

namespace {

int failed(const char* call) {
  std::fprintf(stderr, "e2e_pipe_reader: %s failed with %lu\n", call, GetLastError());
  return 99;
}

bool write_all(HANDLE file, const char* bytes, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 4) return 99;
  const HANDLE pipe = CreateNamedPipeW(argv[1], PIPE_ACCESS_INBOUND,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0,
                                       64 * 1024, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return failed("CreateNamedPipeW");
  const HANDLE output =
      CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return failed("CreateFileW (output)");
  const HANDLE ready =
      CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return failed("CreateFileW (ready)");
  CloseHandle(ready);

  // A client that connected before this call is no failure.
  if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
    return failed("ConnectNamedPipe");
  }
  static char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the client closed its end
      return failed("ReadFile");
    }
    if (!write_all(output, buffer, got)) return failed("WriteFile");
  }
  CloseHandle(output);
  CloseHandle(pipe);
  return 0;
}

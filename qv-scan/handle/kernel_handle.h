// Owner of a kernel object handle closed with CloseHandle: a file, a pipe end, a
// process. Functions that report failure with INVALID_HANDLE_VALUE and those that
// use null are both covered: neither value is ever closed. On Windows it closes
// through the real API; natively through the stand-in machine's (the scanner's
// fake/win_api.h, from the target that links qv-scan-platform), which counts the
// handles, so that code tested there holds its files in this same owner.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "win_api.h"
#endif

#include "unique_handle.h"

namespace qv {

struct KernelHandleTraits {
  using Handle = HANDLE;
  static HANDLE empty() noexcept { return nullptr; }
  static bool is_valid(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void close(HANDLE handle) noexcept { (void)CloseHandle(handle); }
  static DWORD last_error() noexcept { return GetLastError(); }
  static void set_last_error(DWORD code) noexcept { SetLastError(code); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace qv

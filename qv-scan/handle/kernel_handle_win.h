// Owner of a kernel object handle closed with CloseHandle: a file, a pipe end, a
// process. Windows only. Functions that report failure with INVALID_HANDLE_VALUE
// and those that use null are both covered: neither value is ever closed.
#pragma once

#include <windows.h>

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

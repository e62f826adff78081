#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "files.h"
#include "io_win.h"
#include "kernel_handle_win.h"

namespace qv {
namespace {

constexpr std::size_t kReadChunk = std::size_t{1} << 30;

std::unexpected<std::string> last_error() {
  return std::unexpected(system_error_text(GetLastError()));
}

}  // namespace

std::expected<std::string, std::string> read_whole_file(const NativePath& path) {
  const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return last_error();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return last_error();
  // One byte over the size, so that the read that finds the end needs no growth.
  std::string bytes(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);  // the file grew
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - filled, kReadChunk));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + filled, chunk, &got, nullptr)) return last_error();
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace qv

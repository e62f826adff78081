#include "files.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace qv {

std::string not_a_file_text() { return "It is not a file but a device, a pipe or a folder."; }

std::string too_large_text(std::uint64_t size) {
  return "The file is too large to read (" + std::to_string(size) + " bytes).";
}

std::expected<std::string, std::string> read_all(std::uint64_t size, std::uint64_t limit,
                                                 const ReadSome& read_some) {
  if (size > limit) return std::unexpected(too_large_text(size));
  try {
    // One byte over the size, so that the read that finds the end needs no growth.
    std::string bytes(static_cast<std::size_t>(size) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
      if (filled == bytes.size()) {  // the file grew while it was read
        if (filled > limit) return std::unexpected(too_large_text(filled));
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(2 * filled, limit + 1)));
      }
      const auto got = read_some(bytes.data() + filled, bytes.size() - filled);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) break;
      filled += *got;
    }
    bytes.resize(filled);
    return bytes;
  } catch (const std::bad_alloc&) {
    return std::unexpected(too_large_text(size));
  } catch (const std::length_error&) {
    return std::unexpected(too_large_text(size));
  }
}

}  // namespace qv

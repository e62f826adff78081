// Writing a text through a call that takes at most so much at a time and may
// take less than it was given (WriteFile, WriteConsoleW, write).
//
//   const auto done = write_in_chunks<char16_t>(units, 8192, kNoProgress,
//       [&](std::u16string_view piece) -> ChunkWritten { ... WriteConsoleW ... });
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string_view>

namespace qv {

// How many units one call took, or the system's error code.
using ChunkWritten = std::expected<std::size_t, std::uint32_t>;

// Hands `text` to `write` a piece at a time, each at most `limit` units (at
// least 2), until every unit is taken. A UTF-16 piece never ends between the two
// halves of a surrogate pair, which a console would show as two unknown
// characters. A call that takes nothing ends the writing with `no_progress`
// rather than trying again forever.
template <typename Unit, typename Write>
std::expected<void, std::uint32_t> write_in_chunks(std::basic_string_view<Unit> text,
                                                   std::size_t limit, std::uint32_t no_progress,
                                                   Write&& write) {
  while (!text.empty()) {
    std::size_t size = std::min(text.size(), limit);
    if constexpr (sizeof(Unit) == 2) {
      const auto last = static_cast<std::uint16_t>(text[size - 1]);
      if (size < text.size() && last >= 0xD800 && last <= 0xDBFF) --size;
    }
    const ChunkWritten taken = write(text.substr(0, size));
    if (!taken) return std::unexpected(taken.error());
    if (*taken == 0) return std::unexpected(no_progress);
    text.remove_prefix(std::min(*taken, size));
  }
  return {};
}

}  // namespace qv

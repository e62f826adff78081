// Files by the platform's own path type: a report read whole, a report written
// whole, and the system's words for what went wrong.
//
//   const auto bytes = read_whole_file(path);
//   if (!bytes) err.write("Couldn't read " + name + ": " + bytes.error() + "\n");
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>

namespace qv {

#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// Far beyond any report (some eight million devices), and a bound for a file
// that grows while it is read.
inline constexpr std::uint64_t kReadLimit = std::uint64_t{4} << 30;

// The bytes of a file on disk, or why they could not be read, as a sentence:
// the system's reason ("File not found. (os error 2)"), or ours for what is not
// a file on disk (a device such as /dev/zero or NUL, a pipe, a folder) and for a
// file of more than `limit` bytes or too large to hold in memory.
[[nodiscard]] std::expected<std::string, std::string> read_whole_file(
    const NativePath& path, std::uint64_t limit = kReadLimit);

// Creates or truncates the file at `path`, writes `bytes` whole and closes it.
// On failure, the error text for the "Couldn't write" line.
class ReportWriter {
 public:
  virtual ~ReportWriter() = default;
  [[nodiscard]] virtual std::expected<void, std::string> write_file(std::u16string_view path,
                                                                    std::string_view bytes) = 0;
};

// The system's message for an error code (Win32 on Windows, errno elsewhere) on
// one line, then " (os error N)".
[[nodiscard]] std::string system_error_text(std::uint32_t code);

// The messages of read_whole_file that are not the system's.
[[nodiscard]] std::string not_a_file_text();
[[nodiscard]] std::string too_large_text(std::uint64_t size);

// Reads one piece into the room given: how many bytes came (0 at the end), or why not.
using ReadSome = std::function<std::expected<std::size_t, std::string>(char*, std::size_t)>;
// The platforms' common read loop: a file said to hold `size` bytes, read to its
// end whatever its size turns out to be, up to `limit`.
[[nodiscard]] std::expected<std::string, std::string> read_all(std::uint64_t size,
                                                               std::uint64_t limit,
                                                               const ReadSome& read_some);

}  // namespace qv

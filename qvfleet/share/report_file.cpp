#include "report_file.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string_view>

#include "output.h"
#include "report_reader.h"

namespace qv {
namespace {

using namespace std::string_view_literals;

// A byte-order mark, "qvdev1" and CR LF: enough to tell a report from anything else.
constexpr std::size_t kOpening = 3 + 6 + 2;

// Whether a file that starts with these bytes (all of it when shorter than
// kOpening) has "qvdev1" for its first line, as the reader takes lines.
bool opens_a_report(std::string_view start) {
  if (start.starts_with("\xEF\xBB\xBF"sv)) start.remove_prefix(3);
  if (start.starts_with("qvdev1\n"sv) || start.starts_with("qvdev1\r\n"sv)) return true;
  // A file that ends on its first line: the reader tells what else is wrong.
  return start == "qvdev1"sv || start == "qvdev1\r"sv;
}

std::unexpected<Refusal> unreadable(std::string reason) {
  return std::unexpected(Refusal{.not_a_report = false, .reason = std::move(reason)});
}

std::string beyond_limit_text(std::uint64_t limit) {
  return "It holds more than " + std::to_string(limit) + " bytes, the most a report may hold.";
}

// Fills `bytes` from `filled` on until the end of the file or `wanted` bytes.
std::expected<std::size_t, std::string> fill(OpenFile& file, std::string& bytes,
                                             std::size_t filled, std::size_t wanted) {
  while (filled < wanted) {
    const auto got = file.read(bytes.data() + filled, wanted - filled);
    if (!got) return std::unexpected(got.error());
    if (*got == 0) break;
    filled += *got;
  }
  return filled;
}

// The rest of the file after its opening, in room for the size the system gave
// and more when it grew; one byte beyond the limit is where the reading stops.
std::expected<void, Refusal> read_rest(OpenFile& file, std::string& bytes, std::uint64_t size,
                                       std::uint64_t limit) {
  try {
    std::size_t filled = bytes.size();
    std::uint64_t room = std::min(std::max<std::uint64_t>(size + 1, filled + 1), limit + 1);
    for (;;) {
      // Room the reading fills, left as it is: zeroing it first would write every
      // byte of a fleet once more. Reserved first: libstdc++ 12, growing the string
      // itself, hands the operation the capacity it made rather than the count.
      bytes.reserve(static_cast<std::size_t>(room));
      bytes.resize_and_overwrite(static_cast<std::size_t>(room),
                                 [](char*, std::size_t count) { return count; });
      const auto got = fill(file, bytes, filled, bytes.size());
      if (!got) return unreadable(got.error());
      filled = *got;
      if (filled < bytes.size()) break;
      if (filled > limit) return unreadable(beyond_limit_text(limit));
      room = std::min<std::uint64_t>(2 * room, limit + 1);
    }
    bytes.resize(filled);
    return {};
  } catch (const std::bad_alloc&) {
    return unreadable("There is not memory enough to hold its " + std::to_string(size) + " bytes.");
  } catch (const std::length_error&) {
    return unreadable("There is not memory enough to hold its " + std::to_string(size) + " bytes.");
  }
}

// One reading from the first byte: the bytes, or why the file is not taken.
std::expected<std::string, Refusal> read_once(OpenFile& file, std::uint64_t size,
                                              std::uint64_t limit) {
  std::string bytes(kOpening, '\0');
  const auto opening = fill(file, bytes, 0, kOpening);
  if (!opening) return unreadable(opening.error());
  bytes.resize(*opening);
  if (!opens_a_report(bytes)) {
    // The reader's own words, from the few bytes that tell.
    const auto parsed = parse_report(bytes);
    return std::unexpected(Refusal{
        .not_a_report = true,
        .reason = parsed ? "The first line is not \"qvdev1\"." : parsed.error().message});
  }
  if (size > limit) return unreadable(beyond_limit_text(limit));
  if (auto rest = read_rest(file, bytes, size, limit); !rest) return std::unexpected(rest.error());
  return bytes;
}

}  // namespace

std::string utf8_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string missing_text() { return "There is no such file or folder."; }

std::string dangling_link_text() { return "It is a link to a file or folder that does not exist."; }

std::string refusal_text(const std::string& path, const Refusal& refusal) {
  if (refusal.not_a_report) return one_line_text(path) + ", line 1: " + refusal.reason;
  return "Couldn't read " + one_line_text(path) + ": " + refusal.reason;
}

std::expected<ReportBytes, Refusal> read_report_file(OpenFile& file, std::uint64_t limit) {
  // A file being written when it is read is read once more; twice in a row means
  // it is written all the time, and a snapshot of it would be of no one moment.
  for (int reading = 0; reading < 2; ++reading) {
    if (reading > 0) {
      if (auto rewound = file.rewind(); !rewound) return unreadable(rewound.error());
    }
    const auto before = file.facts();
    if (!before) return unreadable(before.error());
    auto bytes = read_once(file, static_cast<std::uint64_t>(std::max<std::int64_t>(before->size, 0)),
                           limit);
    if (!bytes) return std::unexpected(bytes.error());
    const auto after = file.facts();
    if (!after) return unreadable(after.error());
    if (*after == *before && bytes->size() == static_cast<std::uint64_t>(after->size)) {
      return ReportBytes{.facts = *after, .bytes = std::move(*bytes)};
    }
  }
  return unreadable("It changed while it was read, twice in a row.");
}

}  // namespace qv

// One file of a share as the system knows it: what it is (a file, a folder,
// something else), which file it is whatever path reaches it, and its bytes as
// of one moment. The system's side (POSIX or Windows) sits behind look_up,
// folder_entries and open_file; reading a report is the same everywhere.
//
//   auto open = open_file(file.path);
//   const auto read = open ? read_report_file(**open) : ...;
//   if (!read) err.write(refusal_text(file.path, read.error()));
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// What the system says of a file at one moment.
struct FileFacts {
  std::string file_id;        // POSIX "DEV:INO", Windows "VOLUMESERIAL:FILEINDEX", lowercase hex
  std::int64_t size = 0;      // bytes
  std::int64_t mtime_ns = 0;  // last write, ns since 1970 UTC, to the system's precision
  friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

// A report is read whole into memory, so a file beyond this is refused before
// more than its first bytes are kept: room for some two hundred thousand devices.
inline constexpr std::uint64_t kReportLimit = std::uint64_t{256} << 20;

// Why a file was not read, and how a user is told.
struct Refusal {
  bool not_a_report = false;  // the reader's "line 1" refusal, not a failure to read
  std::string reason;         // one sentence
  friend bool operator==(const Refusal&, const Refusal&) = default;
};

// "PATH, line 1: REASON" for a file that is no report, "Couldn't read PATH: REASON"
// for the rest; the path on one line.
[[nodiscard]] std::string refusal_text(const std::string& path, const Refusal& refusal);

// An open file as the reading needs it; tests stand in for the system with it.
class OpenFile {
 public:
  virtual ~OpenFile() = default;
  // How many bytes came into the room (0 at the end), or the system's reason.
  [[nodiscard]] virtual std::expected<std::size_t, std::string> read(char* room,
                                                                     std::size_t room_size) = 0;
  [[nodiscard]] virtual std::expected<FileFacts, std::string> facts() = 0;
  // Back to the first byte, for a second read.
  [[nodiscard]] virtual std::expected<void, std::string> rewind() = 0;
};

struct ReportBytes {
  FileFacts facts;  // taken after the read, and the same as before it
  std::string bytes;
};

// The file's bytes and facts of one moment. A file whose first bytes are not a
// report's opening is refused after reading only those; a file beyond `limit`
// is refused, never cut; a file that changes while it is read is read again
// once, and refused when it changes again.
[[nodiscard]] std::expected<ReportBytes, Refusal> read_report_file(OpenFile& file,
                                                                   std::uint64_t limit = kReportLimit);

// What a path leads to, following links.
struct FileLook {
  enum class Kind { file, folder, other };
  Kind kind = Kind::other;
  // Absolute and UTF-8, as the system names the file: POSIX the path with its
  // links resolved, Windows the final path of the open handle.
  std::string path;
  FileFacts facts;
};

// `resolved`: the path holds no link and no "." or ".." (a folder's entry under
// a resolved folder), so that only a link costs resolving.
[[nodiscard]] std::expected<FileLook, std::string> look_up(const std::filesystem::path& path,
                                                           bool resolved);

// The entries of a folder, "." and ".." left out, as paths under `folder`.
[[nodiscard]] std::expected<std::vector<std::filesystem::path>, std::string> folder_entries(
    const std::filesystem::path& folder);

// Opens the file to read without ever waiting on a pipe or a device; what is not
// a file on disk is refused with a sentence.
[[nodiscard]] std::expected<std::unique_ptr<OpenFile>, std::string> open_file(
    const std::string& utf8_path);

// Lowers the calling thread's priority a step below the rest of the program's,
// where the system allows: the threads that read files ahead then run when the
// one that writes the index leaves a core free, rather than take turns with it.
void read_in_the_background();

// The path as UTF-8, as the index keeps it.
[[nodiscard]] std::string utf8_path(const std::filesystem::path& path);

// The reasons of the system side that are ours.
[[nodiscard]] std::string missing_text();
[[nodiscard]] std::string dangling_link_text();

}  // namespace qv

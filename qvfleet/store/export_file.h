// A file that a command writes (a page, a file of an export), made under a name
// of its own beside the file it replaces and put in that file's place only when
// every byte is on disk, so that it is whole or absent, never cut short by a full
// disk. The name beside it is new, made exclusively, and random: a file or link
// that someone planted at any name is never opened, followed or removed. Where
// the file a person named is a symbolic link, the file it names is replaced and
// the link stays a link; a link at a name the program chose is replaced itself.
// Failures are the system's reason as a sentence; the caller names the file.
//
//   auto file = ExportFile::create(folder / "host.csv");
//   file->write(lines);
//   file->finish();  // .host.csv.<random>.tmp becomes host.csv
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace qv {

// Random bits for the new file's name; the system's own, but for tests.
using NameBits = std::function<std::expected<std::uint64_t, std::uint32_t>()>;

// What becomes of a symbolic link at the file's path: the file it names is
// replaced (a path a person gave), or the link itself (a name of our own).
enum class LinkAt { followed, replaced };

class ExportFile {
 public:
  ExportFile(ExportFile&& other) noexcept;
  ExportFile& operator=(ExportFile&&) = delete;
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;
  // An unfinished file leaves nothing behind: its new file is removed.
  ~ExportFile();

  // Makes the new file beside the file that `path` names.
  [[nodiscard]] static std::expected<ExportFile, std::string> create(std::filesystem::path path,
                                                                     LinkAt link = LinkAt::followed,
                                                                     const NameBits& bits = {});
  [[nodiscard]] std::expected<void, std::string> write(std::string_view bytes);
  // Flushes to disk, closes, and puts the file in the place of any old one.
  [[nodiscard]] std::expected<void, std::string> finish();

  [[nodiscard]] const std::filesystem::path& temporary() const { return temporary_; }

 private:
  using Native = std::intptr_t;  // a descriptor, or a Windows HANDLE
  ExportFile(std::filesystem::path path, std::filesystem::path temporary, Native native)
      : path_(std::move(path)), temporary_(std::move(temporary)), native_(native) {}
  void close_native();

  std::filesystem::path path_;
  std::filesystem::path temporary_;
  Native native_;
  bool open_ = true;
  bool finished_ = false;
};

// The file that `path` names: itself, or where its chain of symbolic links ends
// (a missing file at the end included). A link's target is read, never written.
[[nodiscard]] std::filesystem::path named_file(const std::filesystem::path& path);

// Removes the file at `path`; one that is already absent is no failure.
[[nodiscard]] std::expected<void, std::string> remove_export_file(
    const std::filesystem::path& path);

// The system's reason for a failure of a std::filesystem call, as system_error_text says it.
[[nodiscard]] std::string reason_of(const std::error_code& error);

}  // namespace qv

// A file of an export, written under a temporary name beside its own and put in
// its place only when every byte is on disk, so that a file of an export is
// whole or absent, never cut short by a full disk. Failures are the system's
// reason as a sentence; the caller names the file.
//
//   auto file = ExportFile::create(folder / "host.csv");
//   file->write(lines);
//   file->finish();  // host.csv.tmp becomes host.csv
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace qv {

class ExportFile {
 public:
  ExportFile(ExportFile&& other) noexcept;
  ExportFile& operator=(ExportFile&&) = delete;
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;
  // An unfinished file leaves nothing behind: its temporary is removed.
  ~ExportFile();

  // Creates (or empties) the temporary of `path`.
  [[nodiscard]] static std::expected<ExportFile, std::string> create(std::filesystem::path path);
  [[nodiscard]] std::expected<void, std::string> write(std::string_view bytes);
  // Flushes to disk, closes, and puts the file in the place of any old one.
  [[nodiscard]] std::expected<void, std::string> finish();

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

// Removes the file at `path`; one that is already absent is no failure.
[[nodiscard]] std::expected<void, std::string> remove_export_file(const std::filesystem::path& path);

// The system's reason for a failure of a std::filesystem call, as system_error_text says it.
[[nodiscard]] std::string reason_of(const std::error_code& error);

}  // namespace qv

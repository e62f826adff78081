#include "report_file_writer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "chunks.h"
#include "unique_handle.h"
#include "win_api.h"

namespace qv {
namespace {

// kernel_handle_win.h's owner, over the scanner's door to Windows, so that on the
// stand-in machine its CloseHandle is the stand-in's, which counts the handles.
struct FileTraits {
  using Handle = HANDLE;
  static HANDLE empty() noexcept { return nullptr; }
  static bool is_valid(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }
  static void close(HANDLE handle) noexcept { (void)CloseHandle(handle); }
  static DWORD last_error() noexcept { return GetLastError(); }
  static void set_last_error(DWORD code) noexcept { SetLastError(code); }
};
using FileHandle = UniqueHandle<FileTraits>;

constexpr std::size_t kFileChunk = std::size_t{1} << 30;
// Names tried for the new file before the folder counts as unable to take one.
constexpr int kTemporaryNames = 16;
// What the report keeps of the old file's attributes. Not read-only: a file
// that can't be written is refused before anything is made.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

using Written = std::expected<void, std::string>;

std::unexpected<std::string> failure(DWORD code) {
  return std::unexpected(system_error_text(code));
}

// Writes the bytes, cutting the old content first or flushing them to disk after
// when asked, and closes the file, so that a failure of the close itself is
// reported.
Written write_and_close(FileHandle file, std::string_view bytes, bool cut, bool flush = false) {
  if (cut && !SetEndOfFile(file.get())) return failure(GetLastError());
  const auto written = write_in_chunks<char>(
      bytes, kFileChunk, ERROR_WRITE_FAULT, [&](std::string_view piece) -> ChunkWritten {
        DWORD taken = 0;
        if (!WriteFile(file.get(), piece.data(), static_cast<DWORD>(piece.size()), &taken,
                       nullptr)) {
          return std::unexpected(GetLastError());
        }
        return taken;
      });
  if (!written) return failure(written.error());
  if (flush && !FlushFileBuffers(file.get())) return failure(GetLastError());
  if (!CloseHandle(file.release())) return failure(GetLastError());
  return {};
}

// The report written into the file itself. Not CREATE_ALWAYS: with
// FILE_ATTRIBUTE_NORMAL it refuses an existing hidden or system file. OPEN_ALWAYS
// opens any file and leaves its attributes; the old content is cut off before the
// write, so a longer old file leaves nothing behind. A device or a pipe takes the
// bytes as they come and refuses SetEndOfFile.
Written write_in_place(const std::u16string& path, std::string_view bytes) {
  FileHandle file(CreateFileW(as_wchar(path.c_str()), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return failure(GetLastError());
  const bool disk = GetFileType(file.get()) == FILE_TYPE_DISK;
  return write_and_close(std::move(file), bytes, disk);
}

std::optional<std::u16string> full_path_of(const std::u16string& path) {
  const DWORD size = GetFullPathNameW(as_wchar(path.c_str()), 0, nullptr, nullptr);
  if (size == 0) return std::nullopt;
  std::u16string full(size, u'\0');
  const DWORD length =
      GetFullPathNameW(as_wchar(path.c_str()), size, as_wchar(full.data()), nullptr);
  if (length == 0 || length >= size) return std::nullopt;
  full.resize(length);
  return full;
}

// The new file beside the report: removed when it goes out of scope unless it
// took the report's place.
class Temporary {
 public:
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (path_.empty()) return;
    const DWORD pending = GetLastError();
    (void)DeleteFileW(as_wchar(path_.c_str()));
    SetLastError(pending);
  }

  // Makes a file of a name no other file has in `folder` (ending in a backslash);
  // the open file, or none when the folder takes no new file.
  FileHandle create(const std::u16string& folder, DWORD attributes) {
    for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
      std::string own = ".qv-";
      own += std::to_string(GetCurrentProcessId());
      own += '-';
      own += std::to_string(attempt);
      own += ".tmp";
      std::u16string name = folder;
      name.append(own.begin(), own.end());
      FileHandle file(CreateFileW(as_wchar(name.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  attributes, nullptr));
      if (file.valid()) {
        path_ = std::move(name);
        return file;
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return FileHandle();
  }
  [[nodiscard]] const std::u16string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::u16string path_;
};

// The report put in place through a new file beside it. Absent when that can't
// be done and nothing was written; otherwise the outcome, the old file intact on
// failure.
std::optional<Written> write_beside(const std::u16string& path, std::string_view bytes,
                                    std::optional<DWORD> old_attributes) {
  const auto full = full_path_of(path);
  if (!full) return std::nullopt;
  const auto slash = full->rfind(u'\\');
  if (slash == std::u16string::npos) return std::nullopt;
  // Windows' ReplaceFileW carries the old file's attributes over, Wine's doesn't:
  // the new file is made with them.
  DWORD attributes = old_attributes.value_or(0) & kKeptAttributes;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  Temporary temporary;
  FileHandle file = temporary.create(full->substr(0, slash + 1), attributes);
  if (!file.valid()) return std::nullopt;
  Written written = write_and_close(std::move(file), bytes, false, true);
  if (!written) return written;
  const bool placed =
      old_attributes ? ReplaceFileW(as_wchar(full->c_str()), as_wchar(temporary.path().c_str()),
                                    nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                     : MoveFileExW(as_wchar(temporary.path().c_str()), as_wchar(full->c_str()),
                                   MOVEFILE_WRITE_THROUGH) != 0;
  if (!placed) return std::nullopt;
  temporary.keep();
  return Written{};
}

}  // namespace

std::expected<void, std::string> FileReportWriter::write_file(std::u16string_view path,
                                                              std::string_view bytes) {
  const std::u16string name(path);
  // Opened as the report's own file first: a device or a pipe is written through
  // this very handle (a pipe's one instance is taken by opening it), and a file
  // that can't be written is refused as it always was.
  FileHandle target(CreateFileW(as_wchar(name.c_str()), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  std::optional<DWORD> old_attributes;
  if (target.valid()) {
    if (GetFileType(target.get()) != FILE_TYPE_DISK) {
      return write_and_close(std::move(target), bytes, false);
    }
    old_attributes = GetFileAttributesW(as_wchar(name.c_str()));
    if (*old_attributes == INVALID_FILE_ATTRIBUTES) old_attributes = 0;
    target.reset();  // the file can't be replaced while it is open
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    // A missing folder, a folder, a file this user may not write, a busy one:
    // the write in place says why, in the words it always used.
    return write_in_place(name, bytes);
  }
  if (auto written = write_beside(name, bytes, old_attributes)) return std::move(*written);
  return write_in_place(name, bytes);
}

}  // namespace qv

#include "report_file_writer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "chunks.h"
#include "kernel_handle.h"
#include "win_api.h"

namespace qv {
namespace {

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
Written write_and_close(KernelHandle file, std::string_view bytes, bool cut, bool flush = false) {
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
  KernelHandle file(CreateFileW(as_wchar(path.c_str()), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
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

// The path of the open file itself, through every link on the way.
std::optional<std::u16string> final_path_of(HANDLE file) {
  constexpr DWORD kForm = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD size = GetFinalPathNameByHandleW(file, nullptr, 0, kForm);
  if (size == 0) return std::nullopt;
  std::u16string path(size, u'\0');
  const DWORD length = GetFinalPathNameByHandleW(file, as_wchar(path.data()), size, kForm);
  if (length == 0 || length >= size) return std::nullopt;
  path.resize(length);
  return path;
}

// What tells one file from every other while it exists.
struct FileId {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<BY_HANDLE_FILE_INFORMATION> information_of(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
  return information;
}

std::optional<FileId> id_of(HANDLE file) {
  const auto information = information_of(file);
  if (!information) return std::nullopt;
  return FileId{information->dwVolumeSerialNumber, information->nFileIndexHigh,
                information->nFileIndexLow};
}

// Has the file removed when its last handle closes. Where the folder lets
// nothing be removed, Windows refuses this and Wine takes it and keeps the file.
void remove_on_close(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  (void)SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// 64 bits from the system's generator as 16 hex digits: a name that no one who
// can write in the folder can have made ready.
std::optional<std::string> random_hex() {
  unsigned char bytes[8];
  if (!BCRYPT_SUCCESS(
          BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return std::nullopt;
  }
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return hex;
}

// The new file beside the report, made by this run. Until it takes the report's
// place it is removed when it goes out of scope: reopened, checked to be the very
// file made (a file put at its name since is left alone), emptied and removed, so
// that where the folder lets nothing be removed, it stays behind empty.
class Temporary {
 public:
  Temporary() = default;
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (path_.empty()) return;
    const DWORD pending = GetLastError();
    discard();
    SetLastError(pending);
  }

  // Makes a file of a new name in `folder` (ending in a backslash); the open
  // file, or none when the folder takes no new file.
  KernelHandle create(const std::u16string& folder, DWORD attributes) {
    for (int attempt = 0; attempt < kTemporaryNames; ++attempt) {
      const auto random = random_hex();
      if (!random) break;
      const std::string own =
          ".qv-" + std::to_string(GetCurrentProcessId()) + "-" + *random + ".tmp";
      std::u16string name = folder;
      name.append(own.begin(), own.end());
      KernelHandle file(CreateFileW(as_wchar(name.c_str()), GENERIC_WRITE | DELETE, 0, nullptr,
                                    CREATE_NEW, attributes, nullptr));
      if (file.valid()) {
        const auto id = id_of(file.get());
        if (!id) {
          remove_on_close(file.get());  // still empty
          break;
        }
        path_ = std::move(name);
        id_ = *id;
        return file;
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return KernelHandle();
  }
  [[nodiscard]] const std::u16string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  // A link put at the name is opened itself, not followed, and is not the file
  // made; Wine follows it, and the check of the file's id tells them apart.
  void discard() const {
    const KernelHandle file(CreateFileW(as_wchar(path_.c_str()), GENERIC_WRITE | DELETE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid() || id_of(file.get()) != id_) return;
    (void)SetEndOfFile(file.get());  // at the start, where it was opened
    remove_on_close(file.get());
  }

  std::u16string path_;
  FileId id_;
};

// Where the report goes: the file on disk that the path names, links followed,
// and its attributes when there is one.
struct Destination {
  std::u16string path;
  std::optional<DWORD> old_attributes;
};

// The report's file, open: through a link, the file the link names is the one
// replaced, so that the link stays a link. Absent when that file can't be told.
std::optional<Destination> destination_of(HANDLE file) {
  auto path = final_path_of(file);
  const auto information = information_of(file);
  if (!path || !information) return std::nullopt;
  return Destination{std::move(*path), information->dwFileAttributes};
}

// Whether something stands at a path that no file could be opened at: a link to
// a missing file, which Wine's rename would take for no file and replace. Asked
// by making a file there, removed at once.
bool name_taken(const std::u16string& path) {
  const KernelHandle probe(CreateFileW(as_wchar(path.c_str()), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe.valid()) {
    return GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
  }
  remove_on_close(probe.get());
  return false;
}

// The report put in place through a new file beside it. Absent when that can't
// be done and nothing was written; otherwise the outcome, the old file intact on
// failure.
std::optional<Written> write_beside(const Destination& to, std::string_view bytes) {
  const auto slash = to.path.rfind(u'\\');
  if (slash == std::u16string::npos) return std::nullopt;
  // Windows' ReplaceFileW carries the old file's attributes over, Wine's doesn't:
  // the new file is made with them.
  DWORD attributes = to.old_attributes.value_or(0) & kKeptAttributes;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  Temporary temporary;
  KernelHandle file = temporary.create(to.path.substr(0, slash + 1), attributes);
  if (!file.valid()) return std::nullopt;
  Written written = write_and_close(std::move(file), bytes, false, true);
  if (!written) return written;
  const WCHAR* const from = as_wchar(temporary.path().c_str());
  const bool placed =
      to.old_attributes ? ReplaceFileW(as_wchar(to.path.c_str()), from, nullptr,
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                        : MoveFileExW(from, as_wchar(to.path.c_str()), MOVEFILE_WRITE_THROUGH) != 0;
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
  KernelHandle target(CreateFileW(as_wchar(name.c_str()), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  std::optional<Destination> to;
  if (target.valid()) {
    if (GetFileType(target.get()) != FILE_TYPE_DISK) {
      return write_and_close(std::move(target), bytes, false);
    }
    to = destination_of(target.get());
    target.reset();  // the file can't be replaced while it is open
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    // A missing folder, a folder, a file this user may not write, a busy one:
    // the write in place says why, in the words it always used.
    return write_in_place(name, bytes);
  } else if (auto full = full_path_of(name); full && !name_taken(*full)) {
    to = Destination{std::move(*full), std::nullopt};
  }
  // A link to a missing file is written through, making the file it names.
  if (to) {
    if (auto written = write_beside(*to, bytes)) return std::move(*written);
  }
  return write_in_place(name, bytes);
}

}  // namespace qv

// The files of a share on Windows: a file is its volume's serial number and its
// index on the volume, and its name is the final path of an open handle, so
// that `Share`, `SHARE` and `.\share\..\share` meet in one name.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "files.h"
#include "kernel_handle.h"
#include "report_file.h"
#include "text.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// FILETIME counts 100 ns from 1601-01-01; the index counts ns from 1970.
constexpr std::int64_t kFrom1601To1970 = 116'444'736'000'000'000;

std::string last_error() { return system_error_text(GetLastError()); }

bool is_missing(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

std::int64_t ns_since_1970(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                               time.dwLowDateTime);
  return (ticks - kFrom1601To1970) * 100;
}

std::expected<BY_HANDLE_FILE_INFORMATION, std::string> information(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::unexpected(last_error());
  return info;
}

FileFacts facts_of(const BY_HANDLE_FILE_INFORMATION& info) {
  char id[40];
  std::snprintf(id, sizeof id, "%lx:%llx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
                (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
  return {.file_id = id,
          .size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                            info.nFileSizeLow),
          .mtime_ns = ns_since_1970(info.ftLastWriteTime)};
}

// The handle's path as the system names it, without the \\?\ that only long
// paths need: `\\?\C:\x` is `C:\x`, `\\?\UNC\server\share` is `\\server\share`.
std::expected<std::string, std::string> final_path(HANDLE file) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::unexpected(last_error());
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(length);
  }
  std::u16string units(path.begin(), path.end());
  if (units.starts_with(u"\\\\?\\UNC\\")) {
    units.erase(0, 8).insert(0, u"\\\\");
  } else if (units.starts_with(u"\\\\?\\")) {
    units.erase(0, 4);
  }
  return wide_to_text(units);
}

// The final path is given without its \\?\, so a path beyond MAX_PATH gets it
// back for the calls that need it to reach so far.
std::wstring long_form(const std::wstring& path) {
  if (path.size() < MAX_PATH || path.starts_with(L"\\\\?\\")) return path;
  if (path.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
  if (path.size() > 2 && path[1] == L':') return L"\\\\?\\" + path;
  return path;
}

KernelHandle open_handle(const std::wstring& path, DWORD access, DWORD flags) {
  return KernelHandle(CreateFileW(long_form(path).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
}

class WindowsFile final : public OpenFile {
 public:
  explicit WindowsFile(KernelHandle file) : file_(std::move(file)) {}

  std::expected<std::size_t, std::string> read(char* room, std::size_t room_size) override {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(room_size, std::size_t{1} << 30));
    if (!ReadFile(file_.get(), room, chunk, &got, nullptr)) return std::unexpected(last_error());
    return got;
  }
  std::expected<FileFacts, std::string> facts() override {
    const auto info = information(file_.get());
    if (!info) return std::unexpected(info.error());
    return facts_of(*info);
  }
  std::expected<void, std::string> rewind() override {
    if (!SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
      return std::unexpected(last_error());
    }
    return {};
  }

 private:
  KernelHandle file_;
};

}  // namespace

std::expected<FileLook, std::string> look_up(const fs::path& path, bool /*resolved*/) {
  // No access to the data: a folder opens too, and a file that another program
  // holds open to write is looked at all the same. Links are followed.
  const KernelHandle file = open_handle(path.native(), 0, FILE_FLAG_BACKUP_SEMANTICS);
  if (!file.valid()) {
    const DWORD code = GetLastError();
    return std::unexpected(is_missing(code) ? missing_text() : system_error_text(code));
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    return FileLook{.kind = FileLook::Kind::other, .path = utf8_path(path), .facts = {}};
  }
  const auto info = information(file.get());
  if (!info) return std::unexpected(info.error());
  // Wine names no path beyond MAX_PATH (ERROR_MORE_DATA); the file is then named
  // as it was reached, which is the final path of its folder and its own name.
  auto named = final_path(file.get());
  const bool folder = (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return FileLook{.kind = folder ? FileLook::Kind::folder : FileLook::Kind::file,
                  .path = named ? std::move(*named) : utf8_path(path),
                  .facts = facts_of(*info)};
}

std::expected<std::vector<fs::path>, std::string> folder_entries(const fs::path& folder) {
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = long_form((folder / L"*").native());
  const HANDLE walk = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (walk == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return std::vector<fs::path>{};
    return std::unexpected(system_error_text(code));
  }
  std::vector<fs::path> entries;
  DWORD code = ERROR_NO_MORE_FILES;
  for (;;) {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") entries.push_back(folder / name);
    if (!FindNextFileW(walk, &entry)) {
      code = GetLastError();
      break;
    }
  }
  FindClose(walk);
  if (code != ERROR_NO_MORE_FILES) return std::unexpected(system_error_text(code));
  return entries;
}

std::expected<std::unique_ptr<OpenFile>, std::string> open_file(const std::string& utf8_path) {
  const std::u16string wide = to_wide_nul(utf8_path);
  KernelHandle file = open_handle(std::wstring(wide.begin(), wide.end() - 1), GENERIC_READ,
                                  FILE_FLAG_SEQUENTIAL_SCAN);
  if (!file.valid()) {
    const DWORD code = GetLastError();
    return std::unexpected(is_missing(code) ? missing_text() : system_error_text(code));
  }
  // NUL, CON or a pipe would give bytes without end, or wait for them.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return std::unexpected(not_a_file_text());
  return std::make_unique<WindowsFile>(std::move(file));
}

void read_in_the_background() {
  // Only a hint: a failure changes nothing else.
  (void)SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace qv

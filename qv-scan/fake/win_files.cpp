// The stand-in file calls over the machine's small file system. Each behaves as
// its Windows namesake does for the arguments qv passes: the same dispositions,
// results and last-error codes. A file held open can be neither replaced, moved
// nor deleted, as on Windows with no sharing granted, so a handle closed too late
// shows up as a failure. Where Wine does worse than Windows with a symbolic link
// or a folder that lets nothing be removed, the stand-in does as Wine does, so
// that code right here is right on both.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fake_machine.h"
#include "win_api.h"

namespace {

using qv::fake::Call;
using qv::fake::File;
using qv::fake::machine;

std::u16string c_string(const WCHAR* text) { return text ? std::u16string(text) : u""; }

std::uintptr_t bits(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL succeed() {
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL misuse(DWORD code) {
  ++machine().handle_misuse;
  return fail(code);
}

bool is_device(const std::u16string& name) {
  const auto found = machine().files.find(name);
  return found != machine().files.end() && found->second.type != FILE_TYPE_DISK;
}

// The one spelling of a path: a device's own name, or the full path.
std::u16string full_path(const std::u16string& name) {
  if (name.empty() || is_device(name)) return name;
  std::u16string path = name.starts_with(u"\\\\?\\") ? name.substr(4) : name;
  std::ranges::replace(path, u'/', u'\\');
  const bool absolute = path.starts_with(u"\\\\") || (path.size() > 1 && path[1] == u':');
  return absolute ? path : machine().current_directory + u"\\" + path;
}

std::u16string folder_of(const std::u16string& path) {
  const auto slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool is_open(const std::u16string& path) {
  return std::ranges::any_of(machine().open_files,
                             [&](const auto& open) { return open.second.path == path; });
}

File* file_at(const std::u16string& path) {
  const auto found = machine().files.find(path);
  return found == machine().files.end() ? nullptr : &found->second;
}

// The open file behind a handle, or null for a handle that isn't one.
qv::fake::Machine::OpenFile* open_file(HANDLE handle) {
  const auto found = machine().open_files.find(bits(handle));
  return found == machine().open_files.end() ? nullptr : &found->second;
}

// A new handle to the file at `path`; the last error says whether it was there.
HANDLE open_handle(const std::u16string& path, DWORD last_error = ERROR_SUCCESS) {
  auto& m = machine();
  SetLastError(last_error);
  const std::uintptr_t handle = m.next_handle;
  m.next_handle += 0x10;
  m.open_files[handle] = {.path = path};
  return reinterpret_cast<HANDLE>(handle);
}

HANDLE refuse(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

// Whether a path can take a new file, and if not, why.
DWORD creatable(const std::u16string& path) {
  const auto folder = machine().folders.find(folder_of(path));
  if (folder == machine().folders.end()) return ERROR_PATH_NOT_FOUND;
  return folder->second.can_create ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

bool removable(const std::u16string& path) {
  const auto folder = machine().folders.find(folder_of(path));
  return folder == machine().folders.end() || folder->second.can_remove;
}

// A link whose file is missing: Wine's rename and attribute calls take it for no file.
bool dangling_link(const File* file) {
  return file != nullptr && !file->link.empty() && file_at(file->link) == nullptr;
}

}  // namespace

DWORD GetCurrentProcessId() { return 4242; }

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* file_part) {
  const std::u16string path = full_path(c_string(name));
  if (const auto code = machine().begin_call({.name = "GetFullPathNameW", .key = path})) {
    return fail(*code);
  }
  if (file_part != nullptr) *file_part = nullptr;
  if (path.empty()) return fail(ERROR_INVALID_NAME);
  if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
  std::ranges::copy(path, buffer);
  buffer[path.size()] = u'\0';
  return static_cast<DWORD>(path.size());
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  auto& m = machine();
  std::u16string path = full_path(c_string(name));
  if (const auto code = m.begin_call({.name = "CreateFileW", .key = path, .size = disposition})) {
    return refuse(*code);
  }
  if (is_device(path)) return open_handle(path);
  if (path.empty()) return refuse(ERROR_PATH_NOT_FOUND);
  if (m.folders.contains(path)) return refuse(ERROR_ACCESS_DENIED);
  if (!m.folders.contains(folder_of(path))) return refuse(ERROR_PATH_NOT_FOUND);
  const File* link = file_at(path);
  if (link != nullptr && !link->link.empty()) {
    if (disposition == CREATE_NEW) return refuse(ERROR_FILE_EXISTS);
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
      path = link->link;
      if (!m.folders.contains(folder_of(path))) return refuse(ERROR_PATH_NOT_FOUND);
    }
  }
  File* file = file_at(path);
  if (file == nullptr) {
    if (disposition == OPEN_EXISTING) return refuse(ERROR_FILE_NOT_FOUND);
    if (const DWORD code = creatable(path); code != ERROR_SUCCESS) return refuse(code);
    const DWORD attributes = flags & ~DWORD{FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
    m.files[path] = {.attributes = attributes | FILE_ATTRIBUTE_ARCHIVE, .index = m.next_index++};
    return open_handle(path);
  }
  if (disposition == CREATE_NEW) return refuse(ERROR_FILE_EXISTS);
  if ((access & GENERIC_WRITE) != 0 && (file->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return refuse(ERROR_ACCESS_DENIED);
  }
  return open_handle(path, disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
}

DWORD GetFileType(HANDLE handle) {
  const auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "GetFileType"})) return fail(*code);
  if (open == nullptr) return misuse(ERROR_INVALID_HANDLE);
  SetLastError(ERROR_SUCCESS);
  return file_at(open->path)->type;
}

DWORD GetFileAttributesW(LPCWSTR name) {
  const std::u16string path = full_path(c_string(name));
  if (const auto code = machine().begin_call({.name = "GetFileAttributesW", .key = path})) {
    SetLastError(*code);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (machine().folders.contains(path)) return FILE_ATTRIBUTE_DIRECTORY;
  const File* file = file_at(path);
  if (file != nullptr && !dangling_link(file)) {
    return file->attributes | (file->link.empty() ? 0 : FILE_ATTRIBUTE_REPARSE_POINT);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_FILE_ATTRIBUTES;
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  const auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "GetFileInformationByHandle"})) {
    return fail(*code);
  }
  if (open == nullptr || information == nullptr) return misuse(ERROR_INVALID_HANDLE);
  const File& file = *file_at(open->path);
  *information = {};
  information->dwFileAttributes = file.attributes;
  information->dwVolumeSerialNumber = 0x5A000000;
  information->nFileSizeLow = static_cast<DWORD>(file.bytes.size());
  information->nNumberOfLinks = 1;
  information->nFileIndexLow = file.index;
  return succeed();
}

// The path the handle's file was opened at, links followed, in the \\?\ form.
DWORD GetFinalPathNameByHandleW(HANDLE handle, LPWSTR buffer, DWORD size, DWORD flags) {
  const auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "GetFinalPathNameByHandleW", .size = size})) {
    return fail(*code);
  }
  if (open == nullptr || flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
    return misuse(ERROR_INVALID_PARAMETER);
  }
  const std::u16string path = u"\\\\?\\" + open->path;
  if (buffer == nullptr || size <= path.size()) return static_cast<DWORD>(path.size() + 1);
  std::ranges::copy(path, buffer);
  buffer[path.size()] = u'\0';
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

// Only the disposition: removed on the last close, unless its folder lets
// nothing be removed. Windows then refuses the disposition; Wine takes it and
// keeps the file, as the stand-in does.
BOOL SetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID information,
                                DWORD size) {
  auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "SetFileInformationByHandle"})) {
    return fail(*code);
  }
  if (open == nullptr || kind != FileDispositionInfo || information == nullptr ||
      size != sizeof(FILE_DISPOSITION_INFO)) {
    return misuse(ERROR_INVALID_PARAMETER);
  }
  open->remove_on_close = static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != 0;
  return succeed();
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED) {
  auto& m = machine();
  auto* open = open_file(handle);
  if (const auto code = m.begin_call({.name = "WriteFile", .size = size})) return fail(*code);
  if (open == nullptr || written == nullptr) return misuse(ERROR_INVALID_HANDLE);
  File& file = *file_at(open->path);
  std::size_t taken = size;
  if (m.disk_room && file.type == FILE_TYPE_DISK) {
    taken = std::min(taken, *m.disk_room);
    *m.disk_room -= taken;
  }
  if (file.type == FILE_TYPE_DISK) {
    if (file.bytes.size() < open->position + taken) file.bytes.resize(open->position + taken);
    std::memcpy(file.bytes.data() + open->position, buffer, taken);
    open->position += taken;
  } else {
    file.bytes.append(static_cast<const char*>(buffer), taken);
  }
  *written = static_cast<DWORD>(taken);
  return taken < size ? fail(ERROR_DISK_FULL) : succeed();
}

BOOL SetEndOfFile(HANDLE handle) {
  const auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "SetEndOfFile"})) return fail(*code);
  if (open == nullptr) return misuse(ERROR_INVALID_HANDLE);
  File& file = *file_at(open->path);
  if (file.type != FILE_TYPE_DISK) return fail(ERROR_INVALID_PARAMETER);
  file.bytes.resize(open->position);
  return succeed();
}

BOOL FlushFileBuffers(HANDLE handle) {
  const auto* open = open_file(handle);
  if (const auto code = machine().begin_call({.name = "FlushFileBuffers"})) return fail(*code);
  return open == nullptr ? misuse(ERROR_INVALID_HANDLE) : succeed();
}

BOOL CloseHandle(HANDLE handle) {
  auto& m = machine();
  const auto open = m.open_files.find(bits(handle));
  const auto fault = m.begin_call({.name = "CloseHandle"});
  if (open == m.open_files.end()) return misuse(ERROR_INVALID_HANDLE);
  const auto closed = open->second;
  m.open_files.erase(open);  // a failing close still releases the handle
  if (closed.remove_on_close && removable(closed.path)) m.files.erase(closed.path);
  return fault ? fail(*fault) : succeed();
}

// Keeps the replacement's attributes, as Wine does; Windows keeps the replaced
// file's. Code that carries them over itself is right on both. A link in the
// replaced file's place is replaced itself and the file it names removed, as by
// Wine.
BOOL ReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID exclude,
                  LPVOID reserved) {
  auto& m = machine();
  const std::u16string to = full_path(c_string(replaced));
  const std::u16string from = full_path(c_string(replacement));
  if (const auto code = m.begin_call({.name = "ReplaceFileW", .key = to, .value = from})) {
    return fail(*code);
  }
  if (backup != nullptr || exclude != nullptr || reserved != nullptr) {
    return misuse(ERROR_INVALID_PARAMETER);
  }
  const File* old = file_at(to);
  if (old == nullptr || file_at(from) == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (is_open(to) || is_open(from)) return fail(ERROR_SHARING_VIOLATION);
  if ((old->attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return fail(ERROR_UNABLE_TO_REMOVE_REPLACED);
  }
  if (!removable(to) || !removable(from)) return fail(ERROR_ACCESS_DENIED);
  if (!old->link.empty()) m.files.erase(old->link);
  m.files[to] = std::move(m.files[from]);
  m.files.erase(from);
  return succeed();
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR name, DWORD flags) {
  auto& m = machine();
  const std::u16string from = full_path(c_string(existing));
  const std::u16string to = full_path(c_string(name));
  if (const auto code = m.begin_call({.name = "MoveFileExW", .key = to, .value = from})) {
    return fail(*code);
  }
  if (file_at(from) == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (is_open(from) || is_open(to)) return fail(ERROR_SHARING_VIOLATION);
  if (!m.folders.contains(folder_of(to))) return fail(ERROR_PATH_NOT_FOUND);
  if (!removable(from)) return fail(ERROR_ACCESS_DENIED);
  const File* there = file_at(to);
  if (there != nullptr && !dangling_link(there) && (flags & MOVEFILE_REPLACE_EXISTING) == 0) {
    return fail(ERROR_ALREADY_EXISTS);
  }
  m.files[to] = std::move(m.files[from]);
  m.files.erase(from);
  return succeed();
}

BOOL DeleteFileW(LPCWSTR name) {
  auto& m = machine();
  const std::u16string path = full_path(c_string(name));
  if (const auto code = m.begin_call({.name = "DeleteFileW", .key = path})) return fail(*code);
  if (file_at(path) == nullptr) return fail(ERROR_FILE_NOT_FOUND);
  if (is_open(path)) return fail(ERROR_SHARING_VIOLATION);
  if (!removable(path)) return fail(ERROR_ACCESS_DENIED);
  m.files.erase(path);
  return succeed();
}

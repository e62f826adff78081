#include "export_file.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first
#include <bcrypt.h>
#else
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

#include "chunks.h"
#include "files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// One call never asks for more, whatever the system allows.
constexpr std::size_t kChunk = std::size_t{1} << 30;

std::unexpected<std::string> failed(std::uint32_t code) {
  return std::unexpected(system_error_text(code));
}

// Names tried before the folder counts as unable to take a new file: each is
// taken only by a file or link planted there, or by chance.
constexpr int kNamesTried = 16;
// Links followed before a chain counts as a loop, as the system counts them.
constexpr int kLinksFollowed = 40;

// ".NAME.<16 hex digits>.tmp" beside the file.
fs::path temporary_beside(const fs::path& file, std::uint64_t bits) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string random(16, '0');
  for (char& digit : random) {
    digit = kDigits[bits & 0xF];
    bits >>= 4;
  }
  fs::path name = ".";
  name += file.filename();
  name += "." + random + ".tmp";
  return file.parent_path() / name;
}

#ifdef _WIN32

HANDLE handle_of(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

std::uint32_t last_code() { return GetLastError(); }

std::expected<std::uint64_t, std::uint32_t> system_bits() {
  std::uint64_t bits = 0;
  const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) return std::unexpected(static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
  return bits;
}

// The new file, or the system's code; a name that anything holds is no file.
std::expected<std::intptr_t, std::uint32_t> create_new(const fs::path& name) {
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::unexpected(last_code());
  return reinterpret_cast<std::intptr_t>(handle);
}

bool name_taken(std::uint32_t code) {
  return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

#else

std::uint32_t last_code() { return static_cast<std::uint32_t>(errno); }

std::expected<std::uint64_t, std::uint32_t> system_bits() {
  std::uint64_t bits = 0;
  for (;;) {
    const ssize_t got = ::getrandom(&bits, sizeof bits, 0);
    if (got == static_cast<ssize_t>(sizeof bits)) return bits;
    if (got < 0 && errno != EINTR) return std::unexpected(last_code());
  }
}

// O_EXCL with O_CREAT never follows a link: one planted at the name makes it taken.
std::expected<std::intptr_t, std::uint32_t> create_new(const fs::path& name) {
  const int descriptor =
      ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return std::unexpected(last_code());
  return descriptor;
}

bool name_taken(std::uint32_t code) { return code == EEXIST; }

#endif

}  // namespace

ExportFile::ExportFile(ExportFile&& other) noexcept
    : path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)),
      native_(other.native_),
      open_(other.open_),
      finished_(other.finished_) {
  other.open_ = false;
  other.finished_ = true;
}

ExportFile::~ExportFile() {
  close_native();
  if (finished_) return;
#ifdef _WIN32
  (void)DeleteFileW(temporary_.c_str());
#else
  (void)::unlink(temporary_.c_str());
#endif
}

std::expected<ExportFile, std::string> ExportFile::create(fs::path path, LinkAt link,
                                                          const NameBits& bits) {
  fs::path file = link == LinkAt::followed ? named_file(path) : std::move(path);
  std::uint32_t code = 0;
  for (int attempt = 0; attempt < kNamesTried; ++attempt) {
    const auto random = bits ? bits() : system_bits();
    if (!random) return failed(random.error());
    fs::path temporary = temporary_beside(file, *random);
    const auto native = create_new(temporary);
    if (native) return ExportFile(std::move(file), std::move(temporary), *native);
    code = native.error();
    if (!name_taken(code)) break;
  }
  return failed(code);
}

fs::path named_file(const fs::path& path) {
  fs::path file = path;
  for (int link = 0; link < kLinksFollowed; ++link) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(file, error)) || error) break;
    const fs::path target = fs::read_symlink(file, error);
    if (error) break;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return file;
}

void ExportFile::close_native() {
  if (!open_) return;
  open_ = false;
#ifdef _WIN32
  (void)CloseHandle(handle_of(native_));
#else
  (void)::close(static_cast<int>(native_));
#endif
}

#ifdef _WIN32

std::expected<void, std::string> ExportFile::write(std::string_view bytes) {
  const auto written = write_in_chunks<char>(
      bytes, kChunk, ERROR_WRITE_FAULT, [&](std::string_view piece) -> ChunkWritten {
        DWORD taken = 0;
        if (!WriteFile(handle_of(native_), piece.data(), static_cast<DWORD>(piece.size()), &taken,
                       nullptr)) {
          return std::unexpected(last_code());
        }
        return taken;
      });
  if (!written) return failed(written.error());
  return {};
}

std::expected<void, std::string> ExportFile::finish() {
  if (!FlushFileBuffers(handle_of(native_))) return failed(last_code());
  open_ = false;
  if (!CloseHandle(handle_of(native_))) return failed(last_code());
  if (!MoveFileExW(temporary_.c_str(), path_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return failed(last_code());
  }
  finished_ = true;
  return {};
}

std::expected<void, std::string> remove_export_file(const fs::path& path) {
  if (DeleteFileW(path.c_str())) return {};
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return {};
  return failed(code);
}

std::string reason_of(const std::error_code& error) {
  // The library keeps the C runtime's errno for some calls, Win32's code for others.
  if (error.category() != std::system_category()) {
    return error.message() + ". (os error " + std::to_string(error.value()) + ")";
  }
  return system_error_text(static_cast<std::uint32_t>(error.value()));
}

#else

std::expected<void, std::string> ExportFile::write(std::string_view bytes) {
  const int descriptor = static_cast<int>(native_);
  const auto written =
      write_in_chunks<char>(bytes, kChunk, EIO, [&](std::string_view piece) -> ChunkWritten {
        for (;;) {
          const ssize_t taken = ::write(descriptor, piece.data(), piece.size());
          if (taken >= 0) return static_cast<std::size_t>(taken);
          if (errno != EINTR) return std::unexpected(last_code());
        }
      });
  if (!written) return failed(written.error());
  return {};
}

std::expected<void, std::string> ExportFile::finish() {
  if (::fsync(static_cast<int>(native_)) != 0) return failed(last_code());
  open_ = false;
  if (::close(static_cast<int>(native_)) != 0) return failed(last_code());
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) return failed(last_code());
  finished_ = true;
  return {};
}

std::expected<void, std::string> remove_export_file(const fs::path& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return failed(last_code());
}

std::string reason_of(const std::error_code& error) {
  return system_error_text(static_cast<std::uint32_t>(error.value()));
}

#endif

}  // namespace qv

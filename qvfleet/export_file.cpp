#include "export_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
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

fs::path temporary_of(const fs::path& path) {
  fs::path temporary = path;
  temporary += ".tmp";
  return temporary;
}

#ifdef _WIN32

HANDLE handle_of(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

std::uint32_t last_code() { return GetLastError(); }

#else

std::uint32_t last_code() { return static_cast<std::uint32_t>(errno); }

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

std::expected<ExportFile, std::string> ExportFile::create(fs::path path) {
  fs::path temporary = temporary_of(path);
  const HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed(last_code());
  return ExportFile(std::move(path), std::move(temporary), reinterpret_cast<std::intptr_t>(handle));
}

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

std::expected<ExportFile, std::string> ExportFile::create(fs::path path) {
  fs::path temporary = temporary_of(path);
  const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) return failed(last_code());
  return ExportFile(std::move(path), std::move(temporary), descriptor);
}

std::expected<void, std::string> ExportFile::write(std::string_view bytes) {
  const int descriptor = static_cast<int>(native_);
  const auto written = write_in_chunks<char>(
      bytes, kChunk, EIO, [&](std::string_view piece) -> ChunkWritten {
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

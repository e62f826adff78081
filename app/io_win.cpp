#include "io_win.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "decimal.h"
#include "kernel_handle_win.h"
#include "text.h"

namespace qv {
namespace {

// Large enough for any one call, small enough for every console host.
constexpr std::size_t kConsoleChunk = 8192;
constexpr std::size_t kFileChunk = std::size_t{1} << 30;

using FileHandle = KernelHandle;

// ERROR_SUCCESS when every byte was written, else the Win32 code.
DWORD write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kFileChunk));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;  // no progress: never spin
    bytes.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

// ERROR_SUCCESS when every byte was written, else the Win32 code.
DWORD write_console(HANDLE handle, std::string_view bytes) {
  const std::u16string wide = to_wide_nul(bytes);
  std::wstring units(wide.begin(), wide.end() - 1);
  std::wstring_view rest = units;
  while (!rest.empty()) {
    std::size_t chunk = std::min(rest.size(), kConsoleChunk);
    // Keeps a surrogate pair within one call.
    if (chunk < rest.size() && IS_HIGH_SURROGATE(rest[chunk - 1])) --chunk;
    DWORD written = 0;
    if (!WriteConsoleW(handle, rest.data(), static_cast<DWORD>(chunk), &written, nullptr)) {
      return GetLastError();
    }
    if (written == 0) return ERROR_WRITE_FAULT;
    rest.remove_prefix(written);
  }
  return ERROR_SUCCESS;
}

std::string trimmed_system_message(DWORD code) {
  wchar_t buffer[1024];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                     buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  const std::u16string units(buffer, buffer + length);
  return wide_to_text(one_line_message(units));
}

bool is_line_break(char16_t unit) { return unit == u'\r' || unit == u'\n'; }

}  // namespace

std::u16string one_line_message(std::u16string_view message) {
  std::u16string line;
  line.reserve(message.size());
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (!is_line_break(message[i])) {
      line += message[i];
      continue;
    }
    line += u' ';
    while (i + 1 < message.size() && is_line_break(message[i + 1])) ++i;
  }
  while (!line.empty() && (line.back() == u' ' || line.back() == u'\t')) line.pop_back();
  return line;
}

std::string system_error_text(std::uint32_t code) {
  std::string text = trimmed_system_message(code);
  if (text.empty()) text = "Unknown error.";
  text += " (os error ";
  append_decimal(text, code);
  text += ')';
  return text;
}

StandardStreamSink::StandardStreamSink(Stream stream)
    : handle_(GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE)),
      console_(false) {
  DWORD mode = 0;
  console_ =
      handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode) != 0;
}

WriteOutcome StandardStreamSink::write(std::string_view bytes) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
    return {.kind = WriteOutcome::Kind::absent};
  }
  const DWORD code = console_ ? write_console(handle_, bytes) : write_all(handle_, bytes);
  if (code == ERROR_SUCCESS) return {};
  return {.kind = WriteOutcome::Kind::failed, .code = code, .text = system_error_text(code)};
}

std::expected<void, std::string> FileReportWriter::write_file(std::u16string_view path,
                                                              std::string_view bytes) {
  const std::wstring wide_path(path.begin(), path.end());
  // Not CREATE_ALWAYS: with FILE_ATTRIBUTE_NORMAL it refuses an existing hidden
  // or system file. OPEN_ALWAYS opens any file and leaves its attributes; the
  // old content is cut off before the write, so a longer old file leaves nothing
  // behind and its space is free again for the new one. On success the last
  // error may be ERROR_ALREADY_EXISTS; it is not a failure and is not read.
  FileHandle file(CreateFileW(wide_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::unexpected(system_error_text(GetLastError()));
  // Only a file on disk has content to cut. A device (NUL, CON, a serial port)
  // or a pipe takes the bytes as they come, and refuses SetEndOfFile.
  if (GetFileType(file.get()) == FILE_TYPE_DISK && !SetEndOfFile(file.get())) {
    return std::unexpected(system_error_text(GetLastError()));
  }
  if (const DWORD code = write_all(file.get(), bytes); code != ERROR_SUCCESS) {
    return std::unexpected(system_error_text(code));
  }
  // Closed here, so that a failure of the close itself is reported.
  if (!CloseHandle(file.release())) {
    const DWORD code = GetLastError();
    return std::unexpected(system_error_text(code));
  }
  return {};
}

}  // namespace qv

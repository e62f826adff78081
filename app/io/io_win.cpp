#include "io_win.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>

#include "chunks.h"
#include "decimal.h"
#include "kernel_handle.h"
#include "output.h"
#include "text.h"

namespace qv {
namespace {

// Large enough for any one call, small enough for every console host.
constexpr std::size_t kConsoleChunk = 8192;
constexpr std::size_t kFileChunk = std::size_t{1} << 30;

std::expected<void, std::uint32_t> write_all(HANDLE handle, std::string_view bytes) {
  return write_in_chunks<char>(
      bytes, kFileChunk, ERROR_WRITE_FAULT, [&](std::string_view piece) -> ChunkWritten {
        DWORD written = 0;
        if (!WriteFile(handle, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr)) {
          return std::unexpected(GetLastError());
        }
        return written;
      });
}

std::expected<void, std::uint32_t> write_console(HANDLE handle, std::string_view bytes) {
  const std::u16string wide = to_wide_nul(bytes);
  const std::u16string_view units(wide.data(), wide.size() - 1);
  return write_in_chunks<char16_t>(
      units, kConsoleChunk, ERROR_WRITE_FAULT, [&](std::u16string_view piece) -> ChunkWritten {
        DWORD written = 0;
        if (!WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(piece.data()),
                           static_cast<DWORD>(piece.size()), &written, nullptr)) {
          return std::unexpected(GetLastError());
        }
        return written;
      });
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

std::unexpected<std::string> last_error() {
  return std::unexpected(system_error_text(GetLastError()));
}

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

bool reader_has_left(std::uint32_t code) {
  return code == ERROR_BROKEN_PIPE || code == ERROR_NO_DATA || code == ERROR_PIPE_NOT_CONNECTED;
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
    : handle_(GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE)) {
  DWORD mode = 0;
  console_ =
      handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode) != 0;
}

bool StandardStreamSink::is_terminal() const { return console_; }

WriteOutcome StandardStreamSink::write(std::string_view bytes) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
    return {.kind = WriteOutcome::Kind::absent};
  }
  const auto written = console_ ? write_console(handle_, bytes) : write_all(handle_, bytes);
  if (written) return {};
  const std::uint32_t code = written.error();
  if (reader_has_left(code)) return {.kind = WriteOutcome::Kind::reader_left, .code = code};
  return {.kind = WriteOutcome::Kind::failed, .code = code, .text = system_error_text(code)};
}

std::expected<std::string, std::string> read_whole_file(const NativePath& path,
                                                        std::uint64_t limit) {
  const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) {
    const DWORD code = GetLastError();
    // A folder can't be opened as a file: Windows says "Access denied", which would
    // send the reader to the folder's rights.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return std::unexpected(not_a_file_text());
    }
    return std::unexpected(system_error_text(code));
  }
  // NUL, CON or a pipe would give bytes without end, or wait for them.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return std::unexpected(not_a_file_text());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return last_error();
  return read_all(static_cast<std::uint64_t>(size.QuadPart), limit,
                  [&](char* room, std::size_t room_size) -> std::expected<std::size_t, std::string> {
                    DWORD got = 0;
                    const auto chunk = static_cast<DWORD>(std::min(room_size, kFileChunk));
                    if (!ReadFile(file.get(), room, chunk, &got, nullptr)) return last_error();
                    return got;
                  });
}

}  // namespace qv

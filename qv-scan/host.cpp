#include "host.h"

#include <algorithm>
#include <utility>

#include "child_process.h"
#include "handles.h"
#include "readers.h"
#include "text.h"
#include "win_api.h"

namespace qv {
namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool equals_ascii_ignoring_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

// A zero result means both "unset" and "set to the empty text"; only the last
// error tells them apart, so it is cleared before each call.
std::optional<std::u16string> read_environment_units(const WCHAR* name) {
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    if (GetLastError() != ERROR_SUCCESS) return std::nullopt;
    return std::u16string{};
  }
  std::u16string buffer(std::size_t{size} + 1, u'\0');
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetEnvironmentVariableW(name, as_wchar(buffer.data()), size);
  if (length == 0) {
    if (GetLastError() != ERROR_SUCCESS) return std::nullopt;
    return std::u16string{};
  }
  if (length >= size) return std::nullopt;  // it grew in between: no retry
  buffer.resize(length);
  return buffer;
}

// "<system directory>\cmd.exe": a bare "cmd" would be searched for in the
// program's folder and the current directory first.
std::optional<std::u16string> interpreter_path() {
  const UINT size = GetSystemDirectoryW(nullptr, 0);
  if (size == 0) return std::nullopt;
  std::u16string buffer(std::size_t{size} + 1, u'\0');
  const UINT length = GetSystemDirectoryW(as_wchar(buffer.data()), size);
  if (length == 0 || length >= size) return std::nullopt;
  buffer.resize(length);
  if (buffer.back() != u'\\') buffer += u'\\';
  return buffer + u"cmd.exe";
}

}  // namespace

std::optional<std::string> read_environment(std::string_view name) {
  const std::u16string wide_name = to_wide_nul(name);
  const auto units = read_environment_units(as_wchar(wide_name.c_str()));
  if (!units) return std::nullopt;
  return utf16_to_utf8_strict(*units);
}

std::string host_name() { return read_environment("COMPUTERNAME").value_or(""); }

std::string architecture() {
  auto value = read_environment("PROCESSOR_ARCHITEW6432");
  if (!value) value = read_environment("PROCESSOR_ARCHITECTURE");
  std::string arch = std::move(value).value_or("");
  std::ranges::transform(arch, arch.begin(), ascii_lower);
  return arch;
}

bool server_edition() {
  std::optional<std::string> product_type;
  {
    const auto key = open_local_machine_key("SYSTEM\\CurrentControlSet\\Control\\ProductOptions");
    if (!key) return false;
    product_type = read_registry_string(key->get(), u"ProductType");
  }  // closed here, before the comparison
  return product_type && !equals_ascii_ignoring_case(*product_type, "winnt");
}

std::string version_from_ver_output(std::string_view output) {
  if (!is_valid_utf8(output)) return {};
  for (std::string_view word : split_white_space(output)) {
    if (word.front() < '0' || word.front() > '9' || std::ranges::count(word, '.') < 2) continue;
    while (!word.empty() && word.back() == ']') word.remove_suffix(1);
    return std::string(word);
  }
  return {};
}

std::string os_version_text() {
  const auto application = interpreter_path();
  if (!application) return {};
  // /d: without it cmd first runs the AutoRun commands of the registry, whose
  // output would come before ver's and whose background children could hold the
  // pipe open, so that the wait would never end.
  const auto output = capture_output(*application, u"cmd /d /c ver");
  return output ? version_from_ver_output(*output) : std::string{};
}

}  // namespace qv

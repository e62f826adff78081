#include "scan_error.h"

#include "decimal.h"
#include "win_api.h"

namespace qv {

ScanError from_last_error(std::string_view message) {
  // First, before anything that could make a platform call of its own.
  const DWORD code = GetLastError();
  return scan_error_from_code(message, code);
}

ScanError scan_error_from_code(std::string_view message, std::uint32_t code) {
  ScanError error;
  error.message = message;
  error.detail = "Win32 error ";
  append_decimal(*error.detail, code);
  if (code == 5) error.hint = "Run the app as administrator.";  // ERROR_ACCESS_DENIED
  return error;
}

std::string render_scan_error(const ScanError& error) {
  std::string text = error.message;
  if (error.hint) text += " " + *error.hint;
  text += "\n";
  if (error.detail) text += "  " + *error.detail + "\n";
  return text;
}

}  // namespace qv

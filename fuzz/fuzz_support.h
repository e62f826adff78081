// Helpers shared by the fuzz targets: an independent UTF-8 checker, a failure
// that stops the fuzzer with a readable reason, and a scan result decoded from
// fuzz bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "scan_result.h"

namespace qv::fuzz {

// Prints what broke and aborts, so that libFuzzer saves the input.
void require(bool ok, const char* what);

struct CodePoint {
  char32_t value = 0;
  std::size_t length = 0;  // bytes
};

// The well-formed sequence that starts `text`: no overlong forms, no
// surrogates, nothing above U+10FFFF. Absent for an ill-formed start.
[[nodiscard]] std::optional<CodePoint> decode_utf8(std::string_view text);
[[nodiscard]] bool valid_utf8(std::string_view text);
// Characters of a well-formed text.
[[nodiscard]] std::size_t utf8_length(std::string_view text);
void append_utf8(std::string& out, char32_t c);

// A scan result with arbitrary texts, lists and drivers. Identities keep the
// type's own invariant (a date in range, never undated 0.0.0.0). When the first
// byte asks for it, ill-formed bytes in the texts become '?', so that about half
// the inputs exercise the checks that need valid UTF-8.
[[nodiscard]] ScanResult fuzzed_scan_result(FuzzedDataProvider& data);
[[nodiscard]] bool texts_valid_utf8(const ScanResult& result);

}  // namespace qv::fuzz

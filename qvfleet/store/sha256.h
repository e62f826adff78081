// SHA-256 (FIPS 180-4), for the digests the index keeps of report files and of
// device sections, by the platform's own implementation: OpenSSL's libcrypto
// natively, CNG on Windows (nothing to ship). Both use the processor's SHA
// instructions where it has them.
//
//   const std::string hex = to_hex(sha256(bytes));
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

using Sha256Digest = std::array<std::uint8_t, 32>;

// Safe to call from any thread. The platform's hash fails only when memory runs
// out, which ends the program here as it does everywhere else.
[[nodiscard]] Sha256Digest sha256(std::string_view bytes);

// Lower-case hexadecimal.
[[nodiscard]] std::string to_hex(const std::uint8_t* bytes, std::size_t size);
[[nodiscard]] inline std::string to_hex(const Sha256Digest& digest) {
  return to_hex(digest.data(), digest.size());
}

}  // namespace qv

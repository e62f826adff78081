// SHA-256 (FIPS 180-4), for the digests the index keeps of report files and of
// device sections.
//
//   Sha256 digest;
//   digest.add(bytes);
//   const std::string hex = to_hex(digest.finish());
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void add(std::string_view bytes);
  // The digest of everything added; the object is spent after it.
  [[nodiscard]] Sha256Digest finish();

 private:
  void compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t filled_ = 0;
  std::uint64_t length_ = 0;  // bytes added
};

[[nodiscard]] Sha256Digest sha256(std::string_view bytes);
// Lower-case hexadecimal.
[[nodiscard]] std::string to_hex(const std::uint8_t* bytes, std::size_t size);
[[nodiscard]] inline std::string to_hex(const Sha256Digest& digest) {
  return to_hex(digest.data(), digest.size());
}

}  // namespace qv

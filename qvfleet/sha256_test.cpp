#include "sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// The examples of FIPS 180-4, the empty text, and a million a's fed in uneven pieces.
TEST(Sha256, KnownDigests) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
  };
  for (const auto& [text, hex] : cases) EXPECT_EQ(to_hex(sha256(text)), hex) << text;

  Sha256 digest;
  const std::string a(1000, 'a');
  for (std::size_t i = 0, piece = 1; i < 1000; ++i, piece = piece % 63 + 1) {
    digest.add(std::string_view(a).substr(0, 1000 - (i % 2) * piece));
    if (i % 2 == 1) digest.add(std::string_view(a).substr(0, piece));
  }
  EXPECT_EQ(to_hex(digest.finish()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace qv

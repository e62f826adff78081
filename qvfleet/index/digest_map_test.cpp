#include "digest_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace qv {
namespace {

// Random inserts and erases over few keys keep long runs of taken slots, which
// wrap around the table's end: after each step the map holds exactly what a
// std::map holds.
TEST(DigestMap, HoldsWhatWasInsertedAndNotErased) {
  std::mt19937 random(7);
  std::vector<SectionDigest> keys(200);
  for (SectionDigest& key : keys) {
    for (std::uint8_t& byte : key) byte = static_cast<std::uint8_t>(random());
  }
  DigestMap<int> map;
  std::map<SectionDigest, int> expected;
  for (int step = 0; step < 20'000; ++step) {
    const SectionDigest& key = keys[random() % (step < 10'000 ? 60 : keys.size())];
    if (expected.contains(key) && random() % 2 == 0) {
      map.erase(key);
      expected.erase(key);
    } else if (!expected.contains(key)) {
      map.insert(key, step);
      expected[key] = step;
    }
    ASSERT_EQ(map.size(), expected.size()) << step;
    if (step % 97 != 0) continue;
    for (const SectionDigest& each : keys) {
      const int* found = map.find(each);
      const auto wanted = expected.find(each);
      ASSERT_EQ(found != nullptr, wanted != expected.end()) << step;
      if (found) {
        ASSERT_EQ(*found, wanted->second) << step;
      }
    }
  }
}

}  // namespace
}  // namespace qv

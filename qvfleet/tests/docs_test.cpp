// docs/fleet.md shows each canned question's SQL as the program runs it, and the
// schema's version and mark as the program writes them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "queries.h"
#include "schema.h"

namespace qv {
namespace {

std::string fleet_document() {
  std::ifstream in(QV_SOURCE_DIR "/docs/fleet.md", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The SQL block after "<!-- query: NAME -->".
std::string block(const std::string& document, const std::string& name) {
  const std::string marker = "<!-- query: " + name + " -->\n```sql\n";
  const std::size_t start = document.find(marker);
  if (start == std::string::npos) return "(no block " + name + ")";
  const std::size_t from = start + marker.size();
  return document.substr(from, document.find("\n```", from) - from);
}

TEST(FleetDocument, ShowsTheQueriesAndTheSchemaMarkAsTheProgramHasThem) {
  const std::string document = fleet_document();
  ASSERT_FALSE(document.empty());
  EXPECT_EQ(block(document, "hosts"), kHostsQuery);
  EXPECT_EQ(block(document, "hosts --seen-before"), kHostsSeenBeforeQuery);
  EXPECT_EQ(block(document, "drivers"), kDriversQuery);
  EXPECT_EQ(block(document, "drivers --by-inf"), kDriversByInfQuery);
  EXPECT_EQ(block(document, "behind"), kBehindQuery);
  EXPECT_EQ(block(document, "nodriver"), kNoDriverQuery);
  EXPECT_EQ(block(document, "find"), find_query(false));
  EXPECT_NE(document.find("`PRAGMA user_version` " + std::to_string(kSchemaVersion)),
            std::string::npos);
  EXPECT_NE(document.find("application_id` " + std::to_string(kApplicationId)), std::string::npos);
}

}  // namespace
}  // namespace qv

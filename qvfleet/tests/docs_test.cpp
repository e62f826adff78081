// docs/fleet.md shows each canned question's SQL as the program runs it, and the
// schema's version and mark as the program writes them; its commands and the README's
// paste whole into any shell.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "queries.h"
#include "schema.h"

namespace qv {
namespace {

std::string source_file(const std::string& path) {
  std::ifstream in(QV_SOURCE_DIR "/" + path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string fleet_document() { return source_file("docs/fleet.md"); }

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

// A line that ends in `^` goes on in cmd alone, in "`" in PowerShell alone and in "\"
// in a POSIX shell alone: pasted anywhere else, its command runs cut short.
TEST(Documents, ContinueNoCommandOnTheNextLine) {
  for (const std::string path : {"README.md", "docs/fleet.md"}) {
    const std::string document = source_file(path);
    ASSERT_FALSE(document.empty()) << path;
    std::istringstream lines(document);
    bool fenced = false;
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("```")) {
        fenced = !fenced;
      } else if (fenced &&
                 (line.ends_with(" ^") || line.ends_with(" `") || line.ends_with(" \\"))) {
        ADD_FAILURE() << path << ": " << line;
      }
    }
  }
}

}  // namespace
}  // namespace qv

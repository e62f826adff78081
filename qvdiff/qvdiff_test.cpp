#include "qvdiff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

TEST(RunQvdiff, StatusOutputAndMessages) {
  const std::string report =
      "qvdev1\nhost=PC\nos=1\narch=amd64\nserver=0\n[device]\ninstance_id=A\ndescription=d\n";
  const std::string changed = report.substr(0, report.size() - 2) + "e\n";
  const std::string usage =
      "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv.\n";
  const std::string unwritten = "Couldn't write the differences to standard output.\n";
  const std::string differences = "changed   A\nold       description=d\nnew       description=e\n";
  const std::string damaged = report + "driver_ver=0.0.0.0\n";
  const std::string damaged_line =
      "new, line 9: The \"driver_ver\" value is not a valid driver date and version.\n";
  const std::string not_qvdev1 = "The first line is not \"qvdev1\".\n";
  const std::vector<std::string> both = {"old", "new"};
  const struct {
    const char* name;
    std::vector<std::string> names;
    std::vector<std::string> files;  // each input's content, or its read error after a '!'
    int status;
    std::string out;
    std::string err;
    std::vector<std::size_t> reads;
    bool out_works = true;
  } cases[] = {
      {"same", both, {report, report}, 0, "", "", {0, 1}},
      {"differ", both, {report, changed}, 1, differences, "", {0, 1}},
      {"one argument", {"a"}, {report}, 2, "", usage, {}},
      {"three arguments", {"a", "b", "c"}, {report, report, report}, 2, "", usage, {}},
      {"old unreadable", both, {"!Gone.", report}, 2, "", "Couldn't read old: Gone.\n", {0}},
      {"new unreadable", both, {report, "!Denied."}, 2, "", "Couldn't read new: Denied.\n", {0, 1}},
      {"old not a report", both, {"qvdev2\n", report}, 2, "", "old, line 1: " + not_qvdev1, {0}},
      {"new damaged", both, {report, damaged}, 2, "", damaged_line, {0, 1}},
      {"output fails", both, {report, changed}, 2, "", unwritten, {0, 1}, false},
      {"output fails, nothing to write", both, {report, report}, 0, "", "", {0, 1}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out;
    std::string err;
    std::vector<std::size_t> reads;
    const ReadInput read = [&](std::size_t i) -> std::expected<std::string, std::string> {
      reads.push_back(i);
      if (c.files.at(i).starts_with('!')) return std::unexpected(c.files[i].substr(1));
      return c.files[i];
    };
    const int status = run_qvdiff(
        c.names, read,
        [&](std::string_view bytes) {
          if (c.out_works) out += bytes;
          return c.out_works;
        },
        [&](std::string_view bytes) {
          err += bytes;
          return true;
        });
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(reads, c.reads);
  }
}

}  // namespace
}  // namespace qv

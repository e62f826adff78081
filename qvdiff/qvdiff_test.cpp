#include "qvdiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "fake_sink.h"
#include "qv_version.h"

namespace qv {
namespace {

TEST(RunQvdiff, StatusOutputAndMessages) {
  const std::string report =
      "qvdev1\nhost=PC\nos=1\narch=amd64\nserver=0\n[device]\ninstance_id=A\ndescription=d\n";
  const std::string changed = report.substr(0, report.size() - 2) + "e\n";
  const std::string usage =
      "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv.\n";
  const std::string differences = "changed   A\nold       description=d\nnew       description=e\n";
  const std::string full = "Couldn't write standard output: Disk full. (os error 112)\n";
  const std::vector<std::string> both = {"old", "new"};
  const struct {
    const char* name;
    std::vector<std::string> names;
    std::vector<std::string> files;  // each input's content, or its read error after a '!'
    int status;
    std::string out;
    std::string err;
    std::vector<std::size_t> reads;
    std::vector<WriteOutcome> out_answers = {};
  } cases[] = {
      {"same", both, {report, report}, 0, "", "", {0, 1}},
      {"differ", both, {report, changed}, 1, differences, "", {0, 1}},
      {"one argument", {"a"}, {report}, 2, "", usage, {}},
      {"version", {"--version"}, {}, 0, "qvdiff " + std::string(kVersion) + "\n", "", {}},
      {"version, output full", {"--version"}, {}, 2, "", full, {}, {failure(112, "Disk full.")}},
      {"version and a report", {"--version", "a", "b"}, {}, 2, "", usage, {}},
      {"three arguments", {"a", "b", "c"}, {report, report, report}, 2, "", usage, {}},
      {"old unreadable", both, {"!Gone.", report}, 2, "", "Couldn't read old: Gone.\n", {0, 1}},
      {"new unreadable", both, {report, "!Denied."}, 2, "", "Couldn't read new: Denied.\n", {0, 1}},
      {"both unreadable",
       both,
       {"!Gone.", "!Denied."},
       2,
       "",
       "Couldn't read old: Gone.\n",
       {0, 1}},
      {"old not a report",
       both,
       {"qvdev2\n", report},
       2,
       "",
       "old, line 1: The first line is not \"qvdev1\".\n",
       {0, 1}},
      {"new damaged",
       both,
       {report, report + "driver_ver=0.0.0.0\n"},
       2,
       "",
       "new, line 9: The \"driver_ver\" value is not a valid driver date and version.\n",
       {0, 1}},
      {"new cut short",
       both,
       {report, report.substr(0, report.size() - 3)},
       2,
       "",
       "new, line 8: The report is cut short: its last line does not end in a line feed.\n",
       {0, 1}},
      {"names on one line",
       {"a\nb", "c"},
       {"!Gone.", report},
       2,
       "",
       "Couldn't read a b: Gone.\n",
       {0, 1}},
      {"output full", both, {report, changed}, 2, "", full, {0, 1}, {failure(112, "Disk full.")}},
      {"reader left: silent", both, {report, changed}, 2, "", "", {0, 1}, {reader_left(32)}},
      {"no standard output: no failure", both, {report, changed}, 1, "", "", {0, 1}, {kAbsent}},
      {"output fails, nothing to write",
       both,
       {report, report},
       0,
       "",
       "",
       {0, 1},
       {failure(112, "Disk full.")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::mutex reading;
    std::vector<std::size_t> reads;
    const ReadInput read = [&](std::size_t i) -> std::expected<std::string, std::string> {
      const std::lock_guard lock(reading);
      reads.push_back(i);
      if (c.files.at(i).starts_with('!')) return std::unexpected(c.files[i].substr(1));
      return c.files[i];
    };
    FakeSink out(c.out_answers);
    FakeSink err;
    EXPECT_EQ(run_qvdiff(c.names, read, out, err), c.status);
    EXPECT_EQ(out.text, c.out);
    EXPECT_EQ(err.text, c.err);
    std::ranges::sort(reads);
    EXPECT_EQ(reads, c.reads);
  }
}

}  // namespace
}  // namespace qv

#include "report_diff.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

const std::string kHeader = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

// Section texts, so that the cases read like the reports they compare.
std::string section(const std::string& id, const std::string& description) {
  return "[device]\ninstance_id=" + id + "\ndescription=" + description + "\n";
}
const std::string kA = section("A", "Adapter") + "hwid=H1\nhwid=H2\n";
const std::string kB = section("B", "Bus") +
                       "class_guid={G}\ncid=C=1\ndriver_ver=2020-01-02 1.2.3.4\ndriver_desc=\n"
                       "driver_inf=oem1.inf\n";
const std::string kC = section("C", "Camera");

std::string crlf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

struct Outcome {
  Comparison comparison;
  std::string text;
};

Outcome compare(const std::string& old_text, const std::string& new_text) {
  const auto old_report = parse_report(old_text);
  const auto new_report = parse_report(new_text);
  EXPECT_TRUE(old_report && new_report) << old_text << new_text;
  if (!old_report || !new_report) return {Comparison::write_failed, ""};
  Outcome outcome{Comparison::same, ""};
  const auto compared = compare_reports(*old_report, *new_report, [&](std::string_view piece) {
    EXPECT_TRUE(piece.ends_with('\n'));
    outcome.text += piece;
    return true;
  });
  EXPECT_TRUE(compared);
  outcome.comparison = compared.value_or(Comparison::write_failed);
  return outcome;
}

TEST(CompareReports, SameStateWritesNothing) {
  const std::string cases[][2] = {
      {kHeader, kHeader},
      {kHeader + kA + kB + kC, kHeader + kA + kB + kC},
      {kHeader + kA + kB + kC, kHeader + kC + kA + kB},  // another enumeration order
      {kHeader + kA + kB, crlf(kHeader + kA + kB)},
  };
  for (const auto& [old_text, new_text] : cases) {
    const Outcome outcome = compare(old_text, new_text);
    EXPECT_EQ(outcome.comparison, Comparison::same) << new_text;
    EXPECT_EQ(outcome.text, "");
  }
}

// Devices of one id, more than std::sort orders by insertion, each named by its
// place in the report, and what qvdiff prints for them all removed.
std::string twins_in_report_order(std::string& printed) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    const std::string id = i % 2 == 0 ? "X" : "W";
    text += section(id, std::to_string(i));
  }
  for (const char* id : {"W", "X"}) {
    for (int i = id[0] == 'W' ? 1 : 0; i < 40; i += 2) {
      printed +=
          std::string("removed   ") + id + "\nold       description=" + std::to_string(i) + "\n";
    }
  }
  return text;
}

TEST(CompareReports, PrintsEachDifferenceOnce) {
  const std::string device = section("A", "d");
  std::string twins_removed;
  const std::string twins = twins_in_report_order(twins_removed);
  const struct {
    const char* name;
    std::string old_text;
    std::string new_text;
    std::string printed;
  } cases[] = {
      {"host facts in header order, then removed, added, changed devices, each sorted",
       "qvdev1\nhost=PC\nos=6.1\narch=x86\nserver=0\n" + section("Z", "z") + kA + kC +
           section("E", "d"),
       "qvdev1\nhost=pc\nos=10.0\narch=amd64\nserver=1\n" + section("X", "x") + kB +
           section("E", "e") + section("C", "c"),
       "old       host=PC\nnew       host=pc\nold       os=6.1\nnew       os=10.0\n"
       "old       arch=x86\nnew       arch=amd64\nold       server=0\nnew       server=1\n"
       "removed   A\nold       description=Adapter\nold       hwid=H1\nold       hwid=H2\n"
       "removed   Z\nold       description=z\nadded     B\nnew       description=Bus\n"
       "new       class_guid={G}\nnew       cid=C=1\nnew       driver_ver=2020-01-02 1.2.3.4\n"
       "new       driver_desc=\nnew       driver_inf=oem1.inf\nadded     X\n"
       "new       description=x\nchanged   C\nold       description=Camera\n"
       "new       description=c\nchanged   E\nold       description=d\n"
       "new       description=e\n"},
      {"driver facts: changed, gained, lost",
       kHeader + device + "driver_ver=2020-01-02 1.2.3.4\ndriver_desc=D\ndriver_inf=oem1.inf\n" +
           "driver_ext=.NT\n",
       kHeader + device + "driver_ver=1.2.3.5\ndriver_desc=D\ndriver_provider=P\n" +
           "driver_inf=oem2.inf\n",
       "changed   A\nold       driver_ver=2020-01-02 1.2.3.4\nnew       driver_ver=1.2.3.5\n"
       "new       driver_provider=P\nold       driver_inf=oem1.inf\n"
       "new       driver_inf=oem2.inf\nold       driver_ext=.NT\n"},
      {"a driver lost whole, an empty class guid gained",
       kHeader + device + "driver_ver=1.0.0.0\ndriver_desc=\n", kHeader + device + "class_guid=\n",
       "changed   A\nnew       class_guid=\nold       driver_ver=1.0.0.0\n"
       "old       driver_desc=\n"},
      {"list entries removed and added, repeats counted",
       kHeader + device + "hwid=H1\nhwid=H2\nhwid=H2\ncid=C1\n",
       kHeader + device + "hwid=H3\nhwid=H2\nhwid=H1\ncid=C1\ncid=C2\n",
       "changed   A\nold       hwid=H2\nnew       hwid=H3\nnew       cid=C2\n"},
      {"only the last line of a section differs, at the end of the report too",
       kHeader + device + "cid=x\n" + kC + section("Z", "d") + "cid=x\n",
       crlf(kHeader + device + "cid=y\n" + kC) + section("Z", "d") + "cid=y\n",
       "changed   A\nold       cid=x\nnew       cid=y\nchanged   Z\nold       cid=x\n"
       "new       cid=y\n"},
      {"a repeated id pairs in order of appearance; the one left over is added",
       kHeader + section("X", "first") + section("X", "second"),
       kHeader + section("X", "first") + section("X", "2nd") + section("X", "third"),
       "added     X\nnew       description=third\nchanged   X\nold       description=second\n"
       "new       description=2nd\n"},
      {"a list in another order is shown whole", kHeader + device + "hwid=H1\nhwid=H2\ncid=C1\n",
       kHeader + device + "hwid=H2\nhwid=H1\ncid=C1\n",
       "changed   A\nold       hwid=H1\nold       hwid=H2\nnew       hwid=H2\n"
       "new       hwid=H1\n"},
      {"more than 16 removed devices of one id, in the report's order", kHeader + twins, kHeader,
       twins_removed},
  };
  for (const auto& c : cases) {
    const Outcome outcome = compare(c.old_text, c.new_text);
    EXPECT_EQ(outcome.comparison, Comparison::differ) << c.name;
    EXPECT_EQ(outcome.text, c.printed) << c.name;
  }
}

// Large differences leave in pieces; a failing sink stops the output, whether
// or not a piece ends where a device does.
TEST(CompareReports, WritesInPiecesAndNothingAfterTheSinkFails) {
  for (const std::string description : {"d", "a description of another length"}) {
    SCOPED_TRACE(description);
    std::string old_text = kHeader;
    for (int i = 0; i < 5000; ++i) old_text += section(std::to_string(100000 + i), description);
    const auto old_report = parse_report(old_text);
    const auto new_report = parse_report(kHeader);
    ASSERT_TRUE(old_report && new_report);
    std::string whole;
    int pieces = 0;
    const auto keep = [&](std::string_view piece) {
      whole += piece;
      return ++pieces > 0;
    };
    EXPECT_EQ(compare_reports(*old_report, *new_report, keep), Comparison::differ);
    EXPECT_GT(pieces, 1);
    const std::string first = "removed   100000\nold       description=" + description + "\n";
    const std::string last = "removed   104999\nold       description=" + description + "\n";
    EXPECT_TRUE(whole.starts_with(first));
    EXPECT_TRUE(whole.ends_with(last));
    int calls = 0;
    const auto fail_first = [&](std::string_view) { return ++calls > 1; };
    EXPECT_EQ(compare_reports(*old_report, *new_report, fail_first), Comparison::write_failed);
    EXPECT_EQ(calls, 1);
  }
}

}  // namespace
}  // namespace qv

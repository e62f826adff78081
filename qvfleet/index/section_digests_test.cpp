#include "section_digests.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "prepared_report.h"

namespace qv {
namespace {

using namespace std::string_literals;

std::uint64_t same_hash(std::string_view) { return 42; }

// Asked twice each, the second time from what it keeps: always the digest of
// the text itself, CR line ends and texts longer than it keeps included.
TEST(SectionDigests, GivesTheSectionsDigest) {
  const std::string texts[] = {
      "",
      "Class = Net\n",
      "Class = Net\r\n",
      "Class = Net\nDriver = e1d68x64.inf\nVersion = 12.19.1.37\nDate = 2023-05-02\n",
      "Class = Net\r\nDriver = e1d68x64.inf\r\nVersion = 12.19.1.37\r\nDate = 2023-05-02\r\n",
      std::string(31, 'x'), std::string(33, 'x'), std::string(70'000, 'y'),
  };
  SectionDigests known;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& text : texts) {
      EXPECT_EQ(known.digest(text), section_digest(text)) << round << ": " << text.substr(0, 40);
    }
  }
  EXPECT_EQ(known.texts(), std::size(texts) - 1);  // all but the long one

  // The texts held: none in a new run, then all but the long one once digested.
  const std::vector<std::string_view> views(std::begin(texts), std::end(texts));
  SectionDigests run;
  for (const auto& digest : run.held(views)) EXPECT_FALSE(digest);
  for (const std::string_view text : views) (void)run.digest(text);
  const auto held = run.held(views);
  ASSERT_EQ(held.size(), views.size());
  for (std::size_t at = 0; at < views.size(); ++at) {
    if (at + 1 == views.size()) {
      EXPECT_FALSE(held[at]);
    } else {
      EXPECT_EQ(held[at], section_digest(texts[at])) << at;
    }
  }
}

// Texts whose hashes are equal stay apart, more of them than are kept included.
TEST(SectionDigests, TextsThatShareAHashStayApart) {
  std::vector<std::string> texts;
  for (int n = 0; n < 40; ++n) texts.push_back("Driver = d" + std::to_string(n) + ".inf\n");
  SectionDigests known(SectionDigests::kBudget, same_hash);
  for (int round = 0; round < 2; ++round) {
    for (const std::string& text : texts) EXPECT_EQ(known.digest(text), section_digest(text));
  }
  EXPECT_GT(known.texts(), 1u);
  EXPECT_LT(known.texts(), texts.size());
}

// Once its budget is spent it keeps nothing more and still gives every digest.
TEST(SectionDigests, FullKeepsAnswering) {
  const std::string first = "Driver = a.inf\n";
  const std::string second = "Driver = b.inf\n";
  SectionDigests measure;
  (void)measure.digest(first);
  SectionDigests known(measure.held_bytes());
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(known.digest(first), section_digest(first));
    EXPECT_EQ(known.digest(second), section_digest(second));
  }
  EXPECT_EQ(known.texts(), 1u);
  EXPECT_EQ(known.held_bytes(), measure.held_bytes());
}

TEST(SectionDigests, SharedByThreads) {
  std::vector<std::string> texts;
  for (int n = 0; n < 50; ++n) texts.push_back("Version = " + std::to_string(n) + "\r\n");
  SectionDigests known;
  std::vector<std::jthread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&] {
      for (int round = 0; round < 4; ++round) {
        for (const std::string& text : texts) EXPECT_EQ(known.digest(text), section_digest(text));
      }
    });
  }
  threads.clear();
  EXPECT_EQ(known.texts(), texts.size());
}

// A report read with the sections that a run's cache holds taken as read gives
// what the reader gives: the same sections of a sound report, and the same error,
// line included, of one damaged anywhere, after held sections or in one; a
// damaged report leaves nothing in the cache that a later one could skip.
TEST(PrepareReport, ReadsAsTheReaderWhateverTheCacheHolds) {
  const std::string sound =
      "qvdev1\nhost=PC-1\nos=10.0\narch=amd64\nserver=0\n"
      "[device]\ninstance_id=PCI\\NET\\1\ndescription=Ethernet\nhwid=PCI\\NET\n"
      "driver_ver=2024-01-02 1.0.0.0\ndriver_desc=Net\n"
      "[device]\ninstance_id=ROOT\\2\ndescription=Root\n"
      "[device]\ninstance_id=PCI\\NET\\1\ndescription=Ethernet\nhwid=PCI\\NET\n"
      "driver_ver=2024-01-02 1.0.0.0\ndriver_desc=Net\n";
  std::string crlf;
  for (const char c : sound) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::vector<std::string> lines;
  std::vector<std::size_t> ends;  // of each line, before its line feed
  for (std::size_t at = 0; at < sound.size(); at = ends.back() + 1) {
    ends.push_back(sound.find('\n', at));
    lines.push_back(sound.substr(at, ends.back() - at));
  }
  // Each line dropped, doubled, damaged or turned into a heading, and the report
  // cut short after it or in a heading.
  std::vector<std::string> reports = {sound, crlf, sound + "[dev"};
  const auto joined = [&](std::size_t at, std::string_view line, bool keep) {
    std::string report;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i == at) report.append(line);
      if (i != at || keep) report += lines[i] + "\n";
    }
    return report;
  };
  for (std::size_t at = 0; at < lines.size(); ++at) {
    for (const std::string& line : {std::string(), lines[at] + "\n", "[device]\n"s, "[device]x\n"s,
                                    "[device]=x\n"s, " [device]\n"s, "[device]\r\n"s}) {
      reports.push_back(joined(at, line, true));
    }
    for (const std::string& line : {std::string(), lines[at] + "\x01\n", lines[at] + "\r\n"}) {
      reports.push_back(joined(at, line, false));
    }
    reports.push_back(sound.substr(0, ends[at]));
  }
  for (const std::string& report : reports) {
    SectionDigests known;
    for (const std::string& held : {sound, crlf}) ASSERT_TRUE(prepare_report(held, &known)->report);
    const auto expected = parse_report(report);
    for (int round = 0; round < 2; ++round) {
      const auto prepared = prepare_report(report, &known);
      ASSERT_EQ(prepared->report.has_value(), expected.has_value()) << report;
      if (!expected) {
        EXPECT_EQ(prepared->report.error(), expected.error()) << report;
        continue;
      }
      const auto& sections = prepared->report->sections;
      ASSERT_EQ(sections.size(), expected->sections.size()) << report;
      for (std::size_t i = 0; i < sections.size(); ++i) {
        EXPECT_EQ(sections[i].instance_id, expected->sections[i].instance_id) << report;
        EXPECT_EQ(sections[i].text, expected->sections[i].text) << report;
        EXPECT_EQ(sections[i].text.data() - prepared->bytes.data(),
                  expected->sections[i].text.data() - report.data())
            << report;
        EXPECT_EQ(sections[i].line, expected->sections[i].line) << report;
        EXPECT_EQ(prepared->digests[i], section_digest(sections[i].text)) << report;
      }
    }
  }
}

// The sections whose instance id stands more than once, ids that only share
// their length, first and last eight bytes among them told apart.
TEST(RepeatedPositions, AreTheSectionsOfIdsThatStandTwice) {
  const std::pair<std::vector<std::string_view>, std::vector<std::size_t>> cases[] = {
      {{}, {}},
      {{"A", "B", "C"}, {}},
      {{"B", "A", "B"}, {0, 2}},
      {{"ROOT\\X\\12345678", "ROOT\\X\\12345678", "ROOT\\X\\12345678"}, {0, 1, 2}},
      {{"PCI\\VEN_1&X\\3&11583659&0&10", "PCI\\VEN_1&Y\\3&11583659&0&10", ""}, {}},
      {{"", "PCI\\VEN_1&X\\3&11583659&0&10", "", "PCI\\VEN_1&Y\\3&11583659&0&10"}, {0, 2}},
  };
  for (const auto& [ids, positions] : cases) {
    ReportView report;
    for (const std::string_view id : ids) report.sections.push_back({.instance_id = id});
    EXPECT_EQ(repeated_positions(report), positions) << ids.size();
  }
}

}  // namespace
}  // namespace qv

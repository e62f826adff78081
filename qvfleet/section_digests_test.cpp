#include "section_digests.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "prepared_report.h"

namespace qv {
namespace {

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

  std::vector<SectionView> sections;
  for (const std::string& text : texts) sections.push_back({.text = text});
  // The texts not held: all of them in a new run, then only the long one.
  SectionDigests run;
  std::vector<std::size_t> unheld;
  (void)run.digests(sections, &unheld);
  EXPECT_EQ(unheld, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  unheld.clear();
  const std::vector<SectionDigest> digests = run.digests(sections, &unheld);
  EXPECT_EQ(unheld, std::vector<std::size_t>{7});
  ASSERT_EQ(digests.size(), sections.size());
  for (std::size_t at = 0; at < sections.size(); ++at) {
    EXPECT_EQ(digests[at], section_digest(texts[at])) << at;
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

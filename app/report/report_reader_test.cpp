#include "report_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "generated_result.h"
#include "report.h"
#include "report_cases.h"

namespace qv {
namespace {

constexpr char kHeader[] = "qvdev1\nhost=PC\nos=10.0.19045\narch=amd64\nserver=0\n";

// What editors do to a text file must not change what it says: a byte order
// mark, CR LF line ends.
std::string edited(const std::string& report, int how) {
  std::string out = how & 1 ? "\xef\xbb\xbf" : "";
  for (const char c : report) {
    if (c == '\n' && (how & 2)) out += '\r';
    out += c;
  }
  return out;
}

// Texts without control characters but with everything else that must
// survive: "=", "[device]", spaces at the ends, empty texts, non-ASCII text, a
// byte-order mark inside a value; repeated instance ids come with them.
TEST(ReadReport, GivesBackWhatWasWritten) {
  // clang-format off
  SeededChoices choices(12, {
      "a", "Z", " ", "=", "[device]", "\\", "\xc3\xa9", "\xe2\x80\xa6", "\xc2\xa0",
      "\xf0\x9f\x98\x80", "driver_ver=1.2.3.4", "\xef\xbb\xbf", "\xf4\x8f\xbf\xbf"});
  // clang-format on
  std::vector<ScanResult> results = {ScanResult{}};
  for (int i = 0; i < 300; ++i) results.push_back(generated_result(choices, 6));
  for (const ScanResult& result : results) {
    const std::string report = serialize_report(result);
    for (int how = 0; how < 4; ++how) {
      const auto read = read_report(edited(report, how));
      ASSERT_TRUE(read && *read == result)
          << "edit " << how << "\n"
          << report << (read ? serialize_report(*read) : read.error().message);
    }
  }
}

TEST(ReadReport, RefusesWhatTheWriterNeverWrites) {
  for (const RefusedReport& c : refused_reports()) {
    const auto read = read_report(c.text);
    EXPECT_EQ(read ? ReportError{} : read.error(), (ReportError{c.line, c.message})) << c.text;
  }
  for (const std::string& text : accepted_reports()) {
    EXPECT_TRUE(read_report(text).has_value()) << text;
  }
}

// A repeated instance id is kept: Windows' ids are unique, but two that differ
// only in a control character are written alike. Each section reads again by
// itself, with the lines of the whole report.
TEST(ParseReport, SectionsKeepTheirTextLineAndRepeatedIds) {
  const std::string section = "instance_id=A\ndescription=d\r\nhwid=H\n";
  const std::string text = std::string(kHeader) + "[device]\n" + section + "[device]\n" + section;
  const auto report = parse_report(text);
  ASSERT_TRUE(report) << report.error().message;
  ASSERT_EQ(report->sections.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    const SectionView& view = report->sections[i];
    EXPECT_EQ(view.instance_id, "A");
    EXPECT_EQ(view.text, section);
    EXPECT_EQ(view.line, 6 + 4 * i);
    const auto fields = read_section(view);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->value(Key::description), "d");
    EXPECT_EQ(fields->value(Key::class_guid), std::nullopt);
    ASSERT_EQ(fields->lines(Key::hwid).size(), 1u);
    EXPECT_EQ(fields->lines(Key::hwid)[0].value, "H");
  }
  const auto damaged =
      read_section({.instance_id = "A", .text = "instance_id=A\nhwid=H\n", .line = 20});
  EXPECT_EQ(damaged.error(), (ReportError{21,
                                          "The \"instance_id\" line is not followed by a "
                                          "\"description\" line."}));
}

// A cache of sections read before finds sections with section_texts, and
// parse_report asks it only of a section as it ends that section itself, so a
// held text never stands for more or less than a section the reader would
// read: whatever the cache answers, a report whose fault lies at a section's
// edge reads as without it.
TEST(ParseReport, TheCacheIsAskedOnlyOfTheReadersSections) {
  const std::string one = "instance_id=A\ndescription=d\n";
  const std::string two = "instance_id=B\ndescription=e\nhwid=[device]\n";
  const std::string head(kHeader);
  const std::string texts[] = {
      head,
      head + "[device]\n" + one + "[device]\n" + two,
      head + "[device]\r\n" + one + "[device]\n" + one,
      "\xef\xbb\xbf" + head + "[device]\n" + two,
      edited(head + "[device]\n" + one + "[device]\n" + two, 2),
      // What is no heading, right after a section that is sound without it.
      head + "[device]\n" + one + "[device] \n" + two,
      head + "[device]\n" + one + " [device]\n" + two,
      head + "[device]\n" + one + "[DEVICE]\n" + two,
      head + "[device]\n" + one + "[device]x\n" + two,
      head + "[device]\n" + one + "[device]=x\n" + two,
      head + "[device]\n" + one + "[device]\r\r\n" + two,
      head + "[device]\n" + one + "[device]",
      head + "[device]\n" + one + "[device]\n",
      head + "[device]\n" + one + "description=again\n" + "[device]\n" + two,
      head + "x=1\n" + "[device]\n" + one,
  };
  for (const std::string& text : texts) {
    const auto plain = parse_report(text);
    const std::vector<std::string_view> found = section_texts(text);
    if (plain) {
      ASSERT_EQ(plain->sections.size(), found.size()) << text;
      for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(plain->sections[i].text.data(), found[i].data()) << text;
        EXPECT_EQ(plain->sections[i].text.size(), found[i].size()) << text;
      }
    }
    for (const bool held : {false, true}) {
      std::vector<std::string_view> asked;
      const auto cached = parse_report(text, [&](std::string_view section) {
        asked.push_back(section);
        return held && section == one;  // as read in a sound report before
      });
      ASSERT_EQ(cached.has_value(), plain.has_value()) << text;
      if (!plain) {
        EXPECT_EQ(cached.error(), plain.error()) << text;
      }
      // The sections it reached, each as section_texts has it.
      ASSERT_LE(asked.size(), found.size()) << text;
      for (std::size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(asked[i].data(), found[i].data()) << text;
        EXPECT_EQ(asked[i].size(), found[i].size()) << text;
      }
    }
  }
}

TEST(ReadReport, ControlCharacterAnywhereInALine) {
  const std::string filler(24, 'x');
  for (const std::string inserted : {"\x01", "\x1f", "\x7f", "\xc2\x80", "\xc2\x9f", "\xc2\xa0"}) {
    for (std::size_t at = 0; at <= filler.size(); ++at) {
      const std::string text = std::string(kHeader) +
                               "[device]\ninstance_id=" + filler.substr(0, at) + inserted +
                               filler.substr(at) + "\ndescription=\n";
      EXPECT_EQ(read_report(text).has_value(), inserted == "\xc2\xa0") << at << " " << inserted;
    }
  }
}

}  // namespace
}  // namespace qv

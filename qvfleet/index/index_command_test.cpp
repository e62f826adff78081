#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_sink.h"
#include "qvfleet.h"
#include "report_file.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A file whose bytes and facts change as a script says: content[i] and facts[i]
// are what the i-th reading finds (the last one stays), the facts asked after a
// reading being those of the next one when `changes` says so.
class ScriptedFile final : public OpenFile {
 public:
  struct Script {
    std::vector<std::string> content;
    std::int64_t said_size = -1;  // the size the system gives, when not the content's
    int changes = 0;              // readings after which the facts differ
    int fail_on_read = 0;         // the read call (1-based) that fails, 0 for none
  };
  explicit ScriptedFile(Script script) : script_(std::move(script)) {}

  std::expected<std::size_t, std::string> read(char* room, std::size_t room_size) override {
    if (++reads_ == script_.fail_on_read)
      return std::unexpected("Input/output error. (os error 5)");
    const std::string& bytes = current();
    // A few bytes at a time, as a network share may give them.
    const std::size_t got = std::min({room_size, bytes.size() - at_, std::size_t{7}});
    std::copy_n(bytes.data() + at_, got, room);
    at_ += got;
    bytes_read += got;
    return got;
  }
  std::expected<FileFacts, std::string> facts() override {
    const bool after = facts_asked_++ % 2 == 1;
    const int moment = reading_ + (after && reading_ < script_.changes ? 1 : 0);
    const std::string& bytes = current();
    return FileFacts{.file_id = "1:2",
                     .size = script_.said_size >= 0 ? script_.said_size
                                                    : static_cast<std::int64_t>(bytes.size()),
                     .mtime_ns = 1'000'000'000 + moment};
  }
  std::expected<void, std::string> rewind() override {
    ++reading_;
    at_ = 0;
    return {};
  }

  std::size_t bytes_read = 0;

 private:
  const std::string& current() const {
    return script_.content[std::min<std::size_t>(reading_, script_.content.size() - 1)];
  }
  Script script_;
  int reading_ = 0;
  int facts_asked_ = 0;
  int reads_ = 0;
  std::size_t at_ = 0;
};

TEST(ReadReportFile, OneMomentOrARefusal) {
  const std::string report = "qvdev1\nhost=PC-1\nos=10.0\narch=amd64\nserver=0\n";
  const std::string edited = "\xEF\xBB\xBFqvdev1\r\nhost=PC-1\r\n";
  const std::string big(4096, 'x');
  const Refusal not_a_report{.not_a_report = true, .reason = "The first line is not \"qvdev1\"."};
  const Refusal beyond{.reason = "It holds more than 100 bytes, the most a report may hold."};
  const struct {
    const char* name;
    ScriptedFile::Script script;
    std::string bytes;  // when read
    std::optional<Refusal> refusal = std::nullopt;
    std::size_t most_read = SIZE_MAX;
  } cases[] = {
      {"a report", {.content = {report}}, report},
      {"a byte-order mark and CR LF", {.content = {edited}}, edited},
      {"a first line cut short: the reader says so", {.content = {"qvdev1"}}, "qvdev1"},
      {"no report: refused after its opening", {.content = {big}}, "", not_a_report, 11},
      {"a report's name further on", {.content = {"#qvdev1\n" + report}}, "", not_a_report, 11},
      {"no byte-order mark", {.content = {"\xEF\xBB\xBE" + report}}, "", not_a_report, 11},
      {"an empty file", {.content = {""}}, "", not_a_report},
      {"\"qvdev1\" with a CR alone", {.content = {"qvdev1\rhost=PC\n"}}, "", not_a_report},
      {"larger than the limit", {.content = {report + big}}, "", beyond, 11},
      {"grown past the limit", {.content = {report + big}, .said_size = 50}, "", beyond, 101},
      {"changed once: read again", {.content = {report + "old", report}, .changes = 1}, report},
      {"changed twice",
       {.content = {report, report}, .changes = 2},
       "",
       Refusal{.reason = "It changed while it was read, twice in a row."}},
      {"a read that fails after the first",
       {.content = {report}, .fail_on_read = 2},
       "",
       Refusal{.reason = "Input/output error. (os error 5)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedFile file(c.script);
    const auto read = read_report_file(file, 100);
    if (c.refusal) {
      ASSERT_FALSE(read.has_value()) << read->bytes;
      EXPECT_EQ(read.error(), *c.refusal);
    } else {
      ASSERT_TRUE(read.has_value()) << read.error().reason;
      EXPECT_EQ(read->bytes, c.bytes);
      EXPECT_EQ(read->facts.size, static_cast<std::int64_t>(c.bytes.size()));
    }
    EXPECT_LE(file.bytes_read, c.most_read);
  }
}

TEST(ReadReportFile, RefusalsNameThePath) {
  EXPECT_EQ(refusal_text("/s/a\nb.txt", {.not_a_report = true, .reason = "R."}),
            "/s/a b.txt, line 1: R.");
  EXPECT_EQ(refusal_text("/s/x", {.reason = "R."}), "Couldn't read /s/x: R.");
}

class IndexCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "share" / "PC-1");
    std::ofstream(root_ / "share" / "PC-1" / "1.txt", std::ios::binary)
        << "qvdev1\nhost=PC-1\nos=10.0\narch=amd64\nserver=0\n";
  }

  CommandOutcome index(const std::vector<std::string>& paths, bool terminal = false) {
    std::vector<std::string> arguments = {"index", (root_ / "share" / "fleet.db").string()};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    return run_command(arguments, {}, terminal);
  }
  std::string at(const std::string& name) const { return (root_ / name).string(); }

  const TestFolder folder_{"qvfleet_index"};
  const fs::path root_ = folder_.path();
};

// The index kept inside the share is never taken for a report, on any later run;
// nor are qv's temporary files, a report being written or one left behind.
TEST_F(IndexCommandTest, IndexInsideTheShareIsLeftAlone) {
  std::ofstream(root_ / "share" / "PC-1" / ".qv-4242-0.tmp", std::ios::binary) << "qvdev1\nho";
  fs::copy_file(root_ / "share" / "PC-1" / "1.txt", root_ / "share" / ".qv-77-1f2e3d4c.tmp");
  EXPECT_EQ(index({at("share")}).out, "1 indexed, 0 already known, 0 refused\n");
  const CommandOutcome again = index({at("share")});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "0 indexed, 1 already known, 0 refused\n");
  EXPECT_EQ(again.err, "");
}

// A damaged report is named with the line its fault is on.
TEST_F(IndexCommandTest, EveryPathIsAccountedFor) {
  std::ofstream(root_ / "share" / "PC-1" / "2.txt", std::ios::binary)
      << "qvdev1\nhost=PC-1\nos=10.0\narch=amd64\nserver=0\n"
         "[device]\ninstance_id=A\ndescription=d\ndriver_ver=0.0.0.0\n";
  const std::string missing = at("share/none");
  const CommandOutcome outcome = index({missing, at("share")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "1 indexed, 0 already known, 2 refused\n");
  EXPECT_EQ(outcome.err, "Couldn't read " + missing + ": There is no such file or folder.\n" +
                             (root_ / "share" / "PC-1" / "2.txt").string() +
                             ", line 9: The \"driver_ver\" value is not a valid driver date and "
                             "version.\n");
}

// On a terminal the progress shows from the first file on.
TEST_F(IndexCommandTest, ProgressFromTheFirstFile) {
  const CommandOutcome outcome = index({at("share")}, true);
  EXPECT_TRUE(outcome.err.starts_with("\rfiles found: 1\r")) << testing::PrintToString(outcome.err);
  EXPECT_NE(outcome.err.find("\r1 of 1 files, "), std::string::npos)
      << testing::PrintToString(outcome.err);
  EXPECT_EQ(outcome.out, "1 indexed, 0 already known, 0 refused\n");
}

}  // namespace
}  // namespace qv

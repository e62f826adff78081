#include "run.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console.h"
#include "report.h"

namespace qv {
namespace {

// Records what was written; write i gets answers[i] (written when there is none).
class FakeSink final : public OutputSink {
 public:
  explicit FakeSink(std::vector<WriteOutcome> answers) : answers_(std::move(answers)) {}
  WriteOutcome write(std::string_view bytes) override {
    const std::size_t index = writes_++;
    const WriteOutcome answer = index < answers_.size() ? answers_[index] : WriteOutcome{};
    if (answer.kind == WriteOutcome::Kind::written) text += bytes;
    return answer;
  }
  std::string text;

 private:
  std::vector<WriteOutcome> answers_;
  std::size_t writes_ = 0;
};

WriteOutcome failure(std::uint32_t code, const char* message) {
  return {.kind = WriteOutcome::Kind::failed,
          .code = code,
          .text = std::string(message) + " (os error " + std::to_string(code) + ")"};
}

const WriteOutcome kTaken{};
const WriteOutcome kAbsent{.kind = WriteOutcome::Kind::absent};
const WriteOutcome kDiskFull = failure(112, "There is not enough space on the disk.");
const std::string kDiskFullLine =
    "Couldn't write standard output: There is not enough space on the disk. (os error 112)\n";

class FakeFiles final : public ReportWriter {
 public:
  explicit FakeFiles(std::optional<std::string> error) : error_(std::move(error)) {}
  std::expected<void, std::string> write_file(std::u16string_view path,
                                              std::string_view bytes) override {
    paths.emplace_back(path);
    contents.emplace_back(bytes);
    if (error_) return std::unexpected(*error_);
    return {};
  }
  std::vector<std::u16string> paths;
  std::vector<std::string> contents;

 private:
  std::optional<std::string> error_;
};

ScanResult sample_result() {
  ScanResult result{.host = "PC", .os = "10.0.19045", .arch = "amd64"};
  result.devices.push_back({.instance_id = "ROOT\\A\\0000", .description = "Alpha"});
  result.devices.push_back(
      {.instance_id = "ROOT\\B\\0000",
       .description = "Beta",
       .hardware_ids = {"root\\b"},
       .driver = DriverInfo{.identity = {DriverDate{2021, 4, 5}, DriverVersion{{1, 2, 3, 4}}}}});
  return result;
}

const std::string kSummary = "host      PC\nos        10.0.19045\ndevices   2\nno driver 1\n";
const std::string kListing =
    "\n  -- no driver --                 Alpha\n"
    "  2021-04-05 1.2.3.4              Beta\n";

struct Case {
  const char* name = "";
  std::vector<std::u16string> arguments{};
  ScanOutcome scan = sample_result();
  std::optional<std::string> file_error{};  // what the report writer answers
  std::vector<WriteOutcome> out_answers{};  // by write, then written
  std::vector<WriteOutcome> err_answers{};
  int status = 0;
  std::string out{};
  std::string err{};
  std::vector<std::u16string> files_written{};
};

ScanOutcome scan_error(std::optional<std::string> hint, std::optional<std::string> detail) {
  return std::unexpected(ScanError{"The list of devices couldn't be read.", hint, detail});
}

TEST(Run, Table) {
  const std::string not_found = "Path not found. (os error 3)";
  const Case cases[] = {
      {.name = "no argument", .arguments = {u"qv.exe"}, .status = 0, .out = kSummary + kListing},
      {.name = "empty argument vector", .arguments = {}, .status = 0, .out = kSummary + kListing},
      {.name = "one argument, kept relative",
       .arguments = {u"qv.exe", u"out\\r.txt"},
       .status = 0,
       .out = kSummary + "written   out\\r.txt\n",
       .files_written = {u"out\\r.txt"}},
      {.name = "three arguments use the first",
       .arguments = {u"qv.exe", u"a.txt", u"b.txt", u"c.txt"},
       .status = 0,
       .out = kSummary + "written   a.txt\n",
       .files_written = {u"a.txt"}},
      {.name = "non-ASCII path and unpaired surrogate",
       .arguments = {u"qv.exe", u"d\u00e9j\u00e0\xD800.txt"},
       .status = 0,
       .out = kSummary + "written   d\xc3\xa9j\xc3\xa0\xef\xbf\xbd.txt\n",
       .files_written = {u"d\u00e9j\u00e0\xD800.txt"}},
      {.name = "empty path fails",
       .arguments = {u"qv.exe", u""},
       .file_error = not_found,
       .status = 1,
       .out = kSummary,
       .err = "Couldn't write : " + not_found + "\n",
       .files_written = {u""}},
      {.name = "write fails",
       .arguments = {u"qv.exe", u"x\\y.txt"},
       .file_error = "Access is denied. (os error 5)",
       .status = 1,
       .out = kSummary,
       .err = "Couldn't write x\\y.txt: Access is denied. (os error 5)\n",
       .files_written = {u"x\\y.txt"}},
      {.name = "scan error with hint and detail",
       .arguments = {u"qv.exe", u"r.txt"},
       .scan = scan_error("Run the app as administrator.", "Win32 error 5"),
       .status = 1,
       .err = "The list of devices couldn't be read. Run the app as administrator.\n"
              "  Win32 error 5\n"},
      {.name = "scan error without hint or detail",
       .arguments = {u"qv.exe"},
       .scan = scan_error(std::nullopt, std::nullopt),
       .status = 1,
       .err = "The list of devices couldn't be read.\n"},
      {.name = "scan error with detail only",
       .arguments = {u"qv.exe"},
       .scan = scan_error(std::nullopt, "Win32 error 3758096907"),
       .status = 1,
       .err = "The list of devices couldn't be read.\n  Win32 error 3758096907\n"},
      {.name = "scan error with hint only",
       .arguments = {u"qv.exe"},
       .scan = scan_error("Run the app as administrator.", std::nullopt),
       .status = 1,
       .err = "The list of devices couldn't be read. Run the app as administrator.\n"},
      {.name = "standard output full at the summary: report still written, said once",
       .arguments = {u"qv.exe", u"r.txt"},
       .out_answers = {kDiskFull},  // later writes would be taken: none is tried
       .status = 1,
       .err = kDiskFullLine,
       .files_written = {u"r.txt"}},
      {.name = "standard output fails at the listing",
       .arguments = {u"qv.exe"},
       .out_answers = {kTaken, kDiskFull},
       .status = 1,
       .out = kSummary,
       .err = kDiskFullLine},
      {.name = "standard output fails at the written line",
       .arguments = {u"qv.exe", u"r.txt"},
       .out_answers = {kTaken, failure(6, "Invalid handle.")},
       .status = 1,
       .out = kSummary,
       .err = "Couldn't write standard output: Invalid handle. (os error 6)\n",
       .files_written = {u"r.txt"}},
      {.name = "standard output and report both fail, in the order they happen",
       .arguments = {u"qv.exe", u"r.txt"},
       .file_error = not_found,
       .out_answers = {kDiskFull},
       .status = 1,
       .err = kDiskFullLine + "Couldn't write r.txt: " + not_found + "\n",
       .files_written = {u"r.txt"}},
      {.name = "reader gone, pipe being closed: silent",
       .arguments = {u"qv.exe", u"r.txt"},
       .out_answers = {failure(232, "The pipe is being closed.")},
       .status = 1,
       .files_written = {u"r.txt"}},
      {.name = "reader gone, broken pipe: silent",
       .arguments = {u"qv.exe"},
       .out_answers = {kTaken, failure(109, "The pipe has been ended.")},
       .status = 1,
       .out = kSummary},
      {.name = "reader gone, no process on the other end (Wine): silent",
       .arguments = {u"qv.exe"},
       .out_answers = {failure(233, "No process is on the other end of the pipe.")},
       .status = 1},
      {.name = "no standard output: report written, status 0",
       .arguments = {u"qv.exe", u"r.txt"},
       .out_answers = {kAbsent, kAbsent},
       .status = 0,
       .files_written = {u"r.txt"}},
      {.name = "no standard output: listing dropped, status 0",
       .arguments = {u"qv.exe"},
       .out_answers = {kAbsent, kAbsent},
       .status = 0},
      {.name = "no standard error keeps status 1",
       .arguments = {u"qv.exe", u"r.txt"},
       .file_error = not_found,
       .err_answers = {kAbsent},
       .status = 1,
       .out = kSummary,
       .files_written = {u"r.txt"}},
      {.name = "failing standard error keeps status 1",
       .arguments = {u"qv.exe", u"r.txt"},
       .file_error = not_found,
       .out_answers = {kDiskFull},
       .err_answers = {kDiskFull, kDiskFull},
       .status = 1,
       .files_written = {u"r.txt"}},
      {.name = "failing standard error does not touch a success",
       .arguments = {u"qv.exe"},
       .err_answers = {kDiskFull},
       .status = 0,
       .out = kSummary + kListing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSink out(c.out_answers);
    FakeSink err(c.err_answers);
    FakeFiles files(c.file_error);
    int scans = 0;
    const ScanFunction scan = [&] {
      ++scans;
      return c.scan;
    };
    EXPECT_EQ(run(c.arguments, scan, out, err, files), c.status);
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(out.text, c.out);
    EXPECT_EQ(err.text, c.err);
    EXPECT_EQ(files.paths, c.files_written);
    for (const std::string& content : files.contents) {
      EXPECT_EQ(content, serialize_report(*c.scan));
    }
  }
}

}  // namespace
}  // namespace qv

#include "run.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_sink.h"
#include "report.h"

namespace qv {
namespace {

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
       .driver = DriverInfo{.identity = {DriverDate{2021, 4, 5}, DriverVersion{{1, 2, 3, 4}}}}});
  return result;
}

// A report is written whenever the scan succeeds and a path is given, whatever
// becomes of standard output; the status is 0 only when nothing failed.
TEST(Run, Table) {
  const WriteOutcome ok{};
  const WriteOutcome absent = kAbsent;
  const WriteOutcome left = reader_left(232);
  const WriteOutcome full = failure(112, "There is not enough space on the disk.");
  const std::string full_line =
      "Couldn't write standard output: There is not enough space on the disk. (os error 112)\n";
  const std::string summary = "host      PC\nos        10.0.19045\ndevices   2\nno driver 1\n";
  const std::string listing =
      "\n  -- no driver --                 Alpha\n  2021-04-05 1.2.3.4              Beta\n";
  const auto wrote = [&](const std::string& path) { return summary + "written   " + path + "\n"; };
  const std::string not_found = "Path not found. (os error 3)";
  const auto refused = [&](const std::string& path) {
    return "Couldn't write " + path + ": " + not_found + "\n";
  };
  const ScanOutcome denied = std::unexpected(ScanError{
      "The list of devices couldn't be read.", "Run the app as administrator.", "Win32 error 5"});
  const std::string denied_text =
      "The list of devices couldn't be read. Run the app as administrator.\n  Win32 error 5\n";
  const std::vector<std::u16string> list = {u"qv.exe"}, report = {u"qv.exe", u"r.txt"};
  struct Case {
    const char* name;
    std::vector<std::u16string> arguments = {};
    std::vector<WriteOutcome> out_answers = {};  // by write, then written
    int status;
    std::string out = "";
    std::string err = "";
    std::optional<std::string> file_error = std::nullopt;  // what the report writer answers
    std::vector<WriteOutcome> err_answers = {};
    ScanOutcome scan = sample_result();
  };
  const Case cases[] = {
      {.name = "listing", .arguments = list, .status = 0, .out = summary + listing},
      {.name = "empty argument vector", .status = 0, .out = summary + listing},
      {.name = "first path, kept relative",
       .arguments = {u"qv.exe", u"o\\r.txt", u"b"},
       .status = 0,
       .out = wrote("o\\r.txt")},
      {.name = "non-ASCII path",
       .arguments = {u"qv.exe", u"\u00e9\xD800"},
       .status = 0,
       .out = wrote("\xc3\xa9\xef\xbf\xbd")},
      {.name = "control characters in the path: spaces, one line each",
       .arguments = {u"qv.exe", u"\\\\.\\pipe\\a\nb\r\u0085c"},
       .status = 0,
       .out = wrote("\\\\.\\pipe\\a b  c")},
      {.name = "... and in the failure",
       .arguments = {u"qv.exe", u"a\tb"},
       .status = 1,
       .out = summary,
       .err = refused("a b"),
       .file_error = not_found},
      {.name = "empty path",
       .arguments = {u"qv.exe", u""},
       .status = 1,
       .out = summary,
       .err = refused(""),
       .file_error = not_found},
      {.name = "scan error", .arguments = report, .status = 1, .err = denied_text, .scan = denied},
      {.name = "summary fails: report still written",
       .arguments = report,
       .out_answers = {full},
       .status = 1,
       .err = full_line},
      {.name = "listing fails",
       .arguments = list,
       .out_answers = {ok, full},
       .status = 1,
       .out = summary,
       .err = full_line},
      {.name = "written line fails",
       .arguments = report,
       .out_answers = {ok, full},
       .status = 1,
       .out = summary,
       .err = full_line},
      {.name = "both fail, in order",
       .arguments = report,
       .out_answers = {full},
       .status = 1,
       .err = full_line + refused("r.txt"),
       .file_error = not_found},
      {.name = "reader left: silent", .arguments = report, .out_answers = {left}, .status = 1},
      {.name = "no standard output",
       .arguments = report,
       .out_answers = {absent, absent},
       .status = 0},
      {.name = "no standard error",
       .arguments = report,
       .status = 1,
       .out = summary,
       .file_error = not_found,
       .err_answers = {absent}},
      {.name = "failing standard error",
       .arguments = report,
       .out_answers = {full},
       .status = 1,
       .file_error = not_found,
       .err_answers = {full, full}},
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
    std::vector<std::u16string> written;
    if (c.scan && c.arguments.size() >= 2) written.push_back(c.arguments[1]);
    EXPECT_EQ(files.paths, written);
    for (const std::string& content : files.contents) {
      EXPECT_EQ(content, serialize_report(*c.scan));
    }
  }
}

}  // namespace
}  // namespace qv

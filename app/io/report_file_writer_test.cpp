#include "report_file_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "machine_test.h"

namespace qv {
namespace {

using fake::File;
using fake::Machine;

const std::string kReport = "qvdev1\nhost=PC\nos=10.0.19045\n";
const std::string kOld = "qvdev1\nhost=OLD\nos=6.1.7601\narch=amd64\nserver=0\n";
const std::u16string kPath = u"C:\\work\\r.txt";
constexpr DWORD kHiddenSystem =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The machine's files, one line each, in path order.
std::string listing(const std::map<std::u16string, File>& files) {
  std::string text;
  for (const auto& [path, file] : files) {
    text.append(path.begin(), path.end());
    text += " " + std::to_string(file.attributes) + " " + std::to_string(file.type) + " " +
            file.bytes + "|\n";
  }
  return text;
}

class ReportFileWriterTest : public fake::MachineTest {};

// What each kind of report path, old file and failure leaves: the answer, and the
// files afterwards. A failure never loses the old report nor leaves a new file.
TEST_F(ReportFileWriterTest, WholeOrNotAtAll) {
  const auto old_report = [](DWORD attributes) {
    return [attributes](Machine& m) { m.files[kPath] = {.bytes = kOld, .attributes = attributes}; };
  };
  const auto then = [](std::function<void(Machine&)> first, std::function<void(Machine&)> second) {
    return [=](Machine& m) {
      first(m);
      second(m);
    };
  };
  const auto no_new_files = [](Machine& m) { m.folders[u"C:\\work"].can_create = false; };
  const auto disk_room = [](std::size_t room) {
    return [room](Machine& m) { m.disk_room = room; };
  };
  const auto failing = [](const char* call, DWORD code, std::size_t occurrence = 0) {
    return [=](Machine& m) { m.fail_call(call, code, occurrence); };
  };
  const File report{.bytes = kReport};
  const File old{.bytes = kOld, .attributes = kHiddenSystem};
  struct Case {
    const char* name;
    std::function<void(Machine&)> setup;
    std::u16string path;
    std::optional<DWORD> error;  // none: written
    std::map<std::u16string, File> files;
  };
  const Case cases[] = {
      {"new file", [](Machine&) {}, u"r.txt", {}, {{kPath, report}}},
      {"old report, hidden and system, replaced keeping both",
       old_report(kHiddenSystem),
       u"r.txt",
       {},
       {{kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
      {"another folder, by its full path",
       [](Machine& m) { m.folders[u"D:\\reports"] = {}; },
       u"D:\\reports\\pc.txt",
       {},
       {{u"D:\\reports\\pc.txt", report}}},
      {"disk full, new path", disk_room(10), u"r.txt", ERROR_DISK_FULL, {}},
      {"disk full, old report kept",
       then(old_report(kHiddenSystem), disk_room(10)),
       u"r.txt",
       ERROR_DISK_FULL,
       {{kPath, old}}},
      {"flush fails",
       then(old_report(kHiddenSystem), failing("FlushFileBuffers", ERROR_GEN_FAILURE)),
       u"r.txt",
       ERROR_GEN_FAILURE,
       {{kPath, old}}},
      {"closing the new file fails",
       then(old_report(kHiddenSystem), failing("CloseHandle", ERROR_GEN_FAILURE, 2)),
       u"r.txt",
       ERROR_GEN_FAILURE,
       {{kPath, old}}},
      {"a file of the new file's name is not ours: the next name, and still whole or not at all",
       then(old_report(kHiddenSystem),
            then([](Machine& m) { m.files[u"C:\\work\\.qv-4242-0.tmp"] = {.bytes = "theirs"}; },
                 disk_room(10))),
       u"r.txt",
       ERROR_DISK_FULL,
       {{u"C:\\work\\.qv-4242-0.tmp", {.bytes = "theirs"}}, {kPath, old}}},
      // The file itself can be written where nothing new can be made, or where the
      // old file can't be replaced: written in place, as before.
      {"folder takes no new file: in place",
       then(old_report(kHiddenSystem), no_new_files),
       u"r.txt",
       {},
       {{kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
      {"folder takes no new file, new path", no_new_files, u"r.txt", ERROR_ACCESS_DENIED, {}},
      {"in place on a full disk: cut as before",
       then(then(old_report(0), no_new_files), disk_room(7)),
       u"r.txt",
       ERROR_DISK_FULL,
       {{kPath, {.bytes = kReport.substr(0, 7), .attributes = 0}}}},
      {"old report can't be replaced: in place",
       then(old_report(kHiddenSystem), failing("ReplaceFileW", ERROR_SHARING_VIOLATION)),
       u"r.txt",
       {},
       {{kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
      {"new file can't be moved into place: in place",
       failing("MoveFileExW", ERROR_ACCESS_DENIED),
       u"r.txt",
       {},
       {{kPath, report}}},
      {"no full path: in place",
       failing("GetFullPathNameW", ERROR_INVALID_NAME),
       u"r.txt",
       {},
       {{kPath, report}}},
      // Refused as before, and left as they were.
      {"read-only report",
       old_report(FILE_ATTRIBUTE_READONLY),
       u"r.txt",
       ERROR_ACCESS_DENIED,
       {{kPath, {.bytes = kOld, .attributes = FILE_ATTRIBUTE_READONLY}}}},
      {"missing folder", [](Machine&) {}, u"missing\\r.txt", ERROR_PATH_NOT_FOUND, {}},
      {"a folder",
       [](Machine& m) { m.folders[u"C:\\work\\sub"] = {}; },
       u"sub",
       ERROR_ACCESS_DENIED,
       {}},
      {"the empty path", [](Machine&) {}, u"", ERROR_PATH_NOT_FOUND, {}},
      // Devices and pipes take the bytes as they come.
      {"NUL",
       [](Machine& m) { m.files[u"NUL"] = {.type = FILE_TYPE_CHAR}; },
       u"NUL",
       {},
       {{u"NUL", {.bytes = kReport, .type = FILE_TYPE_CHAR}}}},
      {"a pipe",
       [](Machine& m) { m.files[u"\\\\.\\pipe\\qv"] = {.type = FILE_TYPE_PIPE}; },
       u"\\\\.\\pipe\\qv",
       {},
       {{u"\\\\.\\pipe\\qv", {.bytes = kReport, .type = FILE_TYPE_PIPE}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m = Machine{};
    c.setup(m);
    const auto written = FileReportWriter().write_file(c.path, kReport);
    if (c.error) {
      EXPECT_EQ(written, std::unexpected(system_error_text(*c.error)));
    } else {
      EXPECT_TRUE(written.has_value()) << written.error();
    }
    EXPECT_EQ(listing(m.files), listing(c.files));
    EXPECT_EQ(m.open_handles(), 0u);
    EXPECT_EQ(m.handle_misuse, 0u);
    // A new file is only ever made beside the report, where it can be put in its place.
    for (const fake::Call& call : m.calls) {
      if (call.name != "CreateFileW" || call.size != CREATE_NEW) continue;
      const std::u16string folder = call.key.substr(0, call.key.rfind(u'\\'));
      EXPECT_TRUE(c.path.starts_with(u"D:") ? folder == u"D:\\reports" : folder == u"C:\\work");
    }
  }
}

}  // namespace
}  // namespace qv

#include "report_file_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <regex>
#include <string>

#include "machine_test.h"

namespace qv {
namespace {

using fake::File;
using fake::Machine;

const std::string kReport = "qvdev1\nhost=PC\nos=10.0.19045\n";
const std::string kOld = "qvdev1\nhost=OLD\nos=6.1.7601\narch=amd64\nserver=0\n";
const std::u16string kPath = u"C:\\work\\r.txt";
const std::u16string kElsewhere = u"D:\\reports\\pc.txt";
// The first name the machine's generator gives the new file.
const std::u16string kFirstName = u"C:\\work\\.qv-4242-0001020304050607.tmp";
const std::u16string kTheirs = u"C:\\work\\theirs.txt";
constexpr DWORD kHiddenSystem =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The machine's files, one line each, in path order.
std::string listing(const std::map<std::u16string, File>& files) {
  std::string text;
  for (const auto& [path, file] : files) {
    text.append(path.begin(), path.end());
    text += " " + std::to_string(file.attributes) + " " + std::to_string(file.type) + " " +
            file.bytes + "|";
    if (!file.link.empty()) text += " -> " + std::string(file.link.begin(), file.link.end());
    text += "\n";
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
  // A drop box: files can be made there, but none renamed or removed.
  const auto append_only = [](Machine& m) { m.folders[u"C:\\work"].can_remove = false; };
  const auto link_elsewhere = [](std::optional<File> there) {
    return [there](Machine& m) {
      m.folders[u"D:\\reports"] = {};
      m.files[kPath] = {.link = kElsewhere};
      if (there) m.files[kElsewhere] = *there;
    };
  };
  const auto link_at_first_name = [](Machine& m) {
    m.files[kFirstName] = {.link = kTheirs};
    m.files[kTheirs] = {.bytes = "theirs"};
  };
  const auto disk_room = [](std::size_t room) {
    return [room](Machine& m) { m.disk_room = room; };
  };
  const auto failing = [](const char* call, DWORD code, std::size_t occurrence = 0) {
    return [=](Machine& m) { m.fail_call(call, code, occurrence); };
  };
  const File report{.bytes = kReport};
  const File old{.bytes = kOld, .attributes = kHiddenSystem};
  const File theirs{.bytes = "theirs"};
  const File link{.link = kElsewhere};
  struct Case {
    const char* name;
    std::function<void(Machine&)> setup;
    std::u16string path;
    std::optional<DWORD> error;  // none: written
    std::map<std::u16string, File> files;
    std::u16string folder = u"C:\\work";  // where new files may be made
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
       kElsewhere,
       {},
       {{kElsewhere, report}},
       u"D:\\reports"},
      // Through a link, the file it names is the report: the link stays a link.
      {"a link to a report in another folder: that report replaced",
       link_elsewhere(old),
       u"r.txt",
       {},
       {{kPath, link}, {kElsewhere, {.bytes = kReport, .attributes = kHiddenSystem}}},
       u"D:\\reports"},
      {"a link to a missing file: the file made through it",
       link_elsewhere(std::nullopt),
       u"r.txt",
       {},
       {{kPath, link}, {kElsewhere, report}}},
      {"a link whose file's path can't be had: written through it",
       then(link_elsewhere(old), failing("GetFinalPathNameByHandleW", ERROR_INVALID_FUNCTION)),
       u"r.txt",
       {},
       {{kPath, link}, {kElsewhere, {.bytes = kReport, .attributes = kHiddenSystem}}}},
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
      // Files put at the new file's names by others are never opened nor removed.
      {"a link at the first name tried: the next name, and still whole or not at all",
       then(then(old_report(kHiddenSystem), link_at_first_name), disk_room(10)),
       u"r.txt",
       ERROR_DISK_FULL,
       {{kFirstName, {.link = kTheirs}}, {kTheirs, theirs}, {kPath, old}}},
      {"the new file swapped for another's before it takes the report's place: theirs kept",
       then(old_report(kHiddenSystem),
            [](Machine& m) {
              m.on_call = [&m](const fake::Call& call) {
                if (call.name == "ReplaceFileW") m.files[call.value] = {.bytes = "theirs"};
              };
              m.fail_call("ReplaceFileW", ERROR_ACCESS_DENIED);
            }),
       u"r.txt",
       {},
       {{kFirstName, theirs}, {kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
      // A drop box keeps what is made in it: the new file stays, emptied, beside the
      // report written in place.
      {"append-only folder: in place, the new file left empty",
       then(old_report(kHiddenSystem), append_only),
       u"r.txt",
       {},
       {{kFirstName, {.attributes = kHiddenSystem}},
        {kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
      {"append-only folder, new path",
       append_only,
       u"r.txt",
       {},
       {{kFirstName, {}}, {kPath, report}}},
      {"no randomness: in place",
       then(old_report(kHiddenSystem), failing("BCryptGenRandom", ERROR_GEN_FAILURE)),
       u"r.txt",
       {},
       {{kPath, {.bytes = kReport, .attributes = kHiddenSystem}}}},
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
    // A new file is only ever made beside the file it replaces, under a name of the
    // generator's, or at the report's own path.
    const std::regex own_name(R"(\.qv-4242-[0-9a-f]{16}\.tmp)");
    for (const fake::Call& call : m.calls) {
      if (call.name != "CreateFileW" || call.size != CREATE_NEW) continue;
      const auto slash = call.key.rfind(u'\\');
      EXPECT_EQ(call.key.substr(0, slash), c.folder);
      const std::string name(call.key.begin() + slash + 1, call.key.end());
      EXPECT_TRUE(std::regex_match(name, own_name) || call.key.ends_with(c.path)) << name;
    }
  }
}

}  // namespace
}  // namespace qv

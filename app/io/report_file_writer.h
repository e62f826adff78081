// qv's report file writer. A report that goes to a file on disk arrives whole
// or not at all: it is written to a new file beside the report, flushed, and put
// in the report's place in one step, so that a write that fails partway (a full
// disk, a quota, a file-size limit, a share that drops) leaves the old report
// byte for byte as it was and no other file behind. The old file's attributes,
// hidden and system included, stay with the report.
//
// Devices and pipes (NUL, CON, \\.\pipe\name) take the bytes as they come. Where
// no new file can be made beside the report, or the old one can't be replaced,
// but the report file itself can be written, it is written in place.
//
//   FileReportWriter files;
//   if (auto written = files.write_file(u"reports\\pc.txt", report); !written) {
//     ...  // written.error(): the system's reason, for the "Couldn't write" line
//   }
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "files.h"

namespace qv {

class FileReportWriter final : public ReportWriter {
 public:
  [[nodiscard]] std::expected<void, std::string> write_file(std::u16string_view path,
                                                            std::string_view bytes) override;
};

}  // namespace qv

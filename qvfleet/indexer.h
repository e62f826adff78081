// Puts reports into a fleet index: each report file becomes one snapshot of its
// host. A report's bytes are stored once however many files hold them, each
// device section once however many reports hold it, and each driver once; a
// snapshot then costs little more than its list of device states.
//
//   auto indexer = Indexer::make(db);
//   if (!*indexer->known(file)) {
//     const auto added = indexer->add(file, bytes);  // inside the caller's transaction
//   }
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "database.h"
#include "report_reader.h"

namespace qv {

// A report file as found: where it is and how it was when last written.
struct ReportFile {
  std::string path;           // UTF-8, absolute
  std::int64_t size = 0;      // bytes
  std::int64_t mtime_ns = 0;  // last write, in nanoseconds since 1970-01-01 UTC
};

// "2026-12-07T06:00:00Z": a moment as the index keeps it, to the second, UTC.
[[nodiscard]] std::string utc_text(std::int64_t ns_since_1970);

class Indexer {
 public:
  [[nodiscard]] static std::expected<Indexer, std::string> make(Database& db);
  Indexer(Indexer&&) noexcept;
  Indexer& operator=(Indexer&&) noexcept;
  ~Indexer();

  // Whether a snapshot of this file as it is (path, size, last write) exists.
  [[nodiscard]] std::expected<bool, std::string> known(const ReportFile& file);

  // Adds the file's bytes as a snapshot, in the caller's transaction. The
  // reader's error when the bytes are no report (nothing is then written); the
  // database's failure as the unexpected value.
  [[nodiscard]] std::expected<std::optional<ReportError>, std::string> add(const ReportFile& file,
                                                                           std::string_view bytes);

 private:
  struct Statements;
  explicit Indexer(std::unique_ptr<Statements> statements);

  // A device state's row and its driver's.
  struct StateRef {
    std::int64_t state = 0;
    std::optional<std::int64_t> driver;
  };

  std::expected<std::int64_t, std::string> host_id(std::string_view name);
  std::expected<StateRef, std::string> state(const SectionView& section);
  std::expected<StateRef, std::string> new_state(const SectionView& section,
                                                 std::span<const std::uint8_t> digest);
  std::expected<std::optional<std::int64_t>, std::string> driver_id(const SectionFields& fields);
  std::expected<std::int64_t, std::string> add_report(const std::string& sha256,
                                                      const ReportView& report,
                                                      std::int64_t host);

  std::unique_ptr<Statements> statements_;
  // name: host_id. A run that rolls a transaction back stops there, so a row
  // remembered here is never one that was taken back.
  std::unordered_map<std::string, std::int64_t> hosts_;
};

}  // namespace qv

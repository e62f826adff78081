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

#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database.h"
#include "digest_map.h"
#include "id_lists.h"
#include "prepared_report.h"
#include "report_reader.h"
#include "share.h"

namespace qv {

// A report's lists as its row keeps them: its distinct device states and its
// drivers as JSON lists of ids in ascending order, and, only when a state stands
// more than once, each state's count in the same order.
struct ReportLists {
  std::string states;
  std::optional<std::string> copies;
  std::string drivers;
};
[[nodiscard]] ReportLists report_lists(std::vector<std::int64_t> states,
                                       std::vector<std::int64_t> drivers);

// "2026-12-07T06:00:00Z": a moment as the index keeps it, to the second, UTC.
[[nodiscard]] std::string utc_text(std::int64_t ns_since_1970);

class Indexer {
 public:
  [[nodiscard]] static std::expected<Indexer, std::string> make(Database& db);
  Indexer(Indexer&&) noexcept;
  Indexer& operator=(Indexer&&) noexcept;
  ~Indexer();

  // Whether a snapshot of this file as it is exists: one of the same size and
  // last write, and of the same file or path. A snapshot made by version 1 has
  // no file identity and, on Windows, a last write to the second: the same path
  // and size with the file's last write rounded down to the second are it too.
  [[nodiscard]] std::expected<bool, std::string> known(const ReportFile& file);

  // Adds the file's bytes as a snapshot, in the caller's transaction. The
  // reader's error when the bytes are no report, and then nothing of the file
  // is written. The database's failure as the unexpected value: part of the
  // report may then be written, and the caller rolls the transaction back and
  // says so with rolled_back(). A savepoint per report would spare that, but
  // its journal copies every page the report changes, a tenth of a run.
  [[nodiscard]] std::expected<std::optional<ReportError>, std::string> add(
      const ReportFile& file, const PreparedReport& report);
  [[nodiscard]] std::expected<std::optional<ReportError>, std::string> add(const ReportFile& file,
                                                                           std::string_view bytes);

  // Writes the rows of device_id_states for the device states made in the
  // caller's transaction, which it then commits; outside a transaction, add
  // writes them itself.
  [[nodiscard]] std::expected<void, std::string> write_id_lists();
  // The caller's transaction ended: what it wrote stays known, or, rolled back,
  // is forgotten, so that no row remembered here is one that was taken back.
  void committed();
  void rolled_back();

 private:
  struct Statements;
  Indexer(std::unique_ptr<Statements> statements, Database& db);

  // A device state's row and its driver's.
  struct StateRef {
    std::int64_t state = 0;
    std::optional<std::int64_t> driver;
  };

  std::expected<std::int64_t, std::string> host_id(std::string_view name);
  // `fields` are the section's when its preparation read them.
  std::expected<StateRef, std::string> state(const SectionView& section,
                                             const SectionDigest& digest,
                                             const SectionFields* fields = nullptr);
  std::expected<bool, std::string> states_all_known();
  std::expected<StateRef, std::string> stored_state(const SectionView& section,
                                                    const SectionDigest& digest,
                                                    const SectionFields* fields);
  std::expected<StateRef, std::string> new_state(const SectionView& section,
                                                 std::span<const std::uint8_t> digest,
                                                 const SectionFields* fields);
  std::expected<std::optional<std::int64_t>, std::string> driver_id(const SectionFields& fields);
  std::expected<std::optional<std::int64_t>, std::string> stored_driver(const SectionFields& fields,
                                                                        const SectionDigest& key);
  std::expected<std::int64_t, std::string> add_report(const PreparedReport& prepared,
                                                      std::int64_t host);
  std::expected<void, std::string> add_repeated(std::int64_t report_id,
                                                std::span<const std::size_t> positions,
                                                std::span<const std::int64_t> states);
  std::expected<void, std::string> learn_order(std::int64_t report_id, std::string_view bytes);
  std::expected<std::optional<ReportError>, std::string> add_snapshot(
      const ReportFile& file, const PreparedReport& prepared);

  std::unique_ptr<Statements> statements_;
  Database* db_;
  // The device states of the transaction under way that hold each id value.
  IdLists id_lists_;
  // The index's data version when the run began with no device state in it,
  // while no other connection has written since.
  std::optional<std::int64_t> alone_since_;
  // name: host_id.
  std::unordered_map<std::string, std::int64_t> hosts_;
  std::vector<std::string> new_hosts_;  // made in the transaction under way
  // Every device state this run has met, by digest, so that a section seen
  // before costs no lookup in the index; forgotten as the hosts are.
  DigestMap<StateRef> states_;
  std::vector<SectionDigest> new_states_;  // made in the transaction under way
  // Every driver this run has met, by the digest of its key; forgotten likewise.
  DigestMap<std::int64_t> drivers_;
  std::vector<SectionDigest> new_drivers_;
};

}  // namespace qv

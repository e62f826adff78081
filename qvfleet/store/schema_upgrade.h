// The order of devices that share an instance id, which version 1 of the index
// did not keep: qvdiff pairs such devices in the order of their report, so the
// upgrade to version 2 recovers it.
//
//   db.execute(sql_that_adds_repeated_device);
//   order_repeated_devices(db);  // in the same transaction
#pragma once

#include <expected>
#include <string>

#include "database.h"

namespace qv {

// Fills repeated_device for every report whose sections repeat an instance id.
// The order is the report's own when a file of one of its snapshots is still
// there with the report's SHA-256; otherwise, among the devices of one id, that
// of their states' rows (the order in which the index first met them), at
// negative positions, until Indexer::add meets the report's bytes again.
[[nodiscard]] std::expected<void, std::string> order_repeated_devices(Database& db);

}  // namespace qv

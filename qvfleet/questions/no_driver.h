// `nodriver`: every device of the hosts' latest snapshots that has no driver, by
// host and instance id, with its first hardware id. The devices are found here
// in each report's list of device states, where SQL looked each of a fleet's
// millions of devices up; docs/fleet.md has the same question in SQL
// (kNoDriverQuery), which the tests hold to the same answers.
#pragma once

#include <expected>
#include <optional>
#include <string>

#include "database.h"
#include "queries.h"

namespace qv {

// `text`: only the devices whose description, instance id or a hardware or
// compatible id holds it, without regard to ASCII case.
[[nodiscard]] std::expected<void, std::string> write_no_driver(
    Database& db, const std::optional<std::string>& text, TableFormat format, const LineSink& out);

}  // namespace qv

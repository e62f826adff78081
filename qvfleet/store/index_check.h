// What every fleet index must hold, checked from outside the writer, which
// for speed checks no foreign key and keeps the id lists in memory: SQLite's
// integrity check passes; each id a row or a report's list refers to exists;
// and device_id_states lists each device state under each of its ids, once,
// as the lists made again from device_id do. The tests check every index they
// write with it.
//
//   for (const auto& path : fleet_indexes_under(folder)) {
//     for (const std::string& fault : index_file_faults(path)) ...
//   }
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "database.h"

namespace qv {

// One line for each fault found, at most a few of each kind; none when sound.
[[nodiscard]] std::vector<std::string> index_faults(Database& db);

// The same of the index in the file, opened only to read.
[[nodiscard]] std::vector<std::string> index_file_faults(const std::filesystem::path& path);

// The files under the folder that are fleet indexes of this version, links
// neither followed nor taken.
[[nodiscard]] std::vector<std::filesystem::path> fleet_indexes_under(
    const std::filesystem::path& folder);

}  // namespace qv

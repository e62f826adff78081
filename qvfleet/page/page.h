// `qvfleet page`: one HTML file that shows a fleet index in a browser, with
// nothing to install and nothing that reaches the network. The file carries its
// data as compressed JSON (page_pack.h) and its own script, which unpacks it and
// draws the page from it; a Content-Security-Policy lets nothing else run or
// load, so a value that a report holds stays text whatever it is.
//
//   auto summary = write_page(db, "fleet.html", {.title = "Plant 3"});
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "database.h"
#include "page_data.h"

namespace qv {

// The page around its data (read_page_data's, packed) and its title.
[[nodiscard]] std::string page_html(std::string_view title, std::string_view packed_data);

// What the summary line tells.
struct PageSummary {
  std::int64_t hosts = 0;
  std::int64_t snapshots = 0;
  std::int64_t drivers = 0;
  std::int64_t bytes = 0;
};

// Reads the index in one read transaction and writes the page to a new file
// beside `file`, which then takes the file's place: the file is the new page
// whole or stays as it was. A file that is no page (the index above all) is
// refused before anything is read or written. A failure is one sentence; for the
// file, it names it with the reason.
[[nodiscard]] std::expected<PageSummary, std::string> write_page(Database& db,
                                                                 const std::filesystem::path& file,
                                                                 const PageOptions& options);

}  // namespace qv

// `qvfleet index FLEET.db PATH...`: every report under the paths into the index,
// in transactions of a few hundred reports, with a progress line on a terminal
// and a one-line summary at the end.
#pragma once

#include <span>
#include <string>

#include "output.h"

namespace qv {

// Where the run writes: its summary on `out`; refusals, trouble and, when `err`
// is a terminal, its progress on `err`.
struct IndexStreams {
  OutputSink& out;
  OutputSink& err;
  bool err_is_terminal = false;
};

// 0: every file indexed or known already; 1: some refused (each said on
// standard error); 2: the index can't be opened or written, or is busy.
[[nodiscard]] int run_index(const std::string& index_path, std::span<const std::string> paths,
                            const IndexStreams& streams);

}  // namespace qv

// One run of qvfleet: a command, the index it works on, and its arguments.
// Streams come as sinks, so the run is the same natively, on Windows and in
// tests; files are the real file system's.
//
//   qvfleet index FLEET.db PATH...      0: all indexed or known, 1: some refused, 2: trouble
//   qvfleet hosts|drivers|behind|nodriver|find|changes|sql|export|page FLEET.db ...
//                                       0, or 2 on trouble
#pragma once

#include <span>
#include <string>

#include "output.h"

namespace qv {

struct FleetStreams {
  OutputSink& out;
  OutputSink& err;
  bool err_is_terminal = false;  // then the index run shows its progress there
};

// `arguments` are the arguments after the program's name, as UTF-8.
[[nodiscard]] int run_qvfleet(std::span<const std::string> arguments, const FleetStreams& streams);

}  // namespace qv

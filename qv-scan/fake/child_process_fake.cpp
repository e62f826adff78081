// The stand-in child: no process, just the machine's prepared output.
#include "child_process.h"
#include "fake_machine.h"
#include "win_api.h"

namespace qv {

std::optional<std::string> capture_output(std::u16string_view application,
                                          std::u16string_view command_line) {
  auto& m = fake::machine();
  m.child_application = application;
  m.child_command_line = command_line;
  if (const auto code = m.begin_call({.name = "CreateProcessW", .key = m.child_application})) {
    SetLastError(*code);
    return std::nullopt;
  }
  return m.child_output;
}

}  // namespace qv

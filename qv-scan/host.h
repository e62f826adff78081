// The host facts of a scan: best effort, never an error.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The variable's value when it is set (even to the empty text) and is valid
// UTF-16; absent when it is unset, unreadable or holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> read_environment(std::string_view name);

[[nodiscard]] std::string host_name();
// PROCESSOR_ARCHITEW6432, else PROCESSOR_ARCHITECTURE, lower-cased in ASCII.
[[nodiscard]] std::string architecture();
// True unless ProductType is missing, empty or WinNT (any case).
[[nodiscard]] bool server_edition();

// The version number from the output of "cmd /d /c ver"; empty when none is found.
[[nodiscard]] std::string os_version_text();

// The first word of `output` that starts with a digit and holds two dots, with
// its closing brackets removed; empty when the output is not UTF-8 or no word
// qualifies.
[[nodiscard]] std::string version_from_ver_output(std::string_view output);

}  // namespace qv

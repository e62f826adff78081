// Reading a whole file into memory, by the platform's own path type.
#pragma once

#include <expected>
#include <string>

namespace qv {

#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// The file's bytes, or the system's reason it could not be read:
// "No such file or directory. (os error 2)".
[[nodiscard]] std::expected<std::string, std::string> read_whole_file(const NativePath& path);

}  // namespace qv

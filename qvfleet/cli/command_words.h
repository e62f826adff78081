// The words of a qvfleet command after the index's path: its plain words and its
// options, each a flag (--csv) or one that takes the word after it (--since DATE).
// Which options a command takes is a list of their names split by spaces.
//
//   const Words words = words_of(arguments);
//   if (words.unknown_option || !fits(words, 0, 1, "--csv --by-inf")) ...usage...
//   if (auto trouble = value_trouble(words)) ...one line, status 2...
//   if (words.count("--by-inf") == 1) ...
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct GivenOption {
  std::string_view name;
  int count = 0;
  std::optional<std::string> value;  // none when the option is the last word
};

struct Words {
  std::vector<std::string> plain;
  std::vector<GivenOption> options;  // each option of qvfleet's, in a fixed order
  std::optional<std::string> unknown_option;

  [[nodiscard]] int count(std::string_view option) const;
  [[nodiscard]] const std::optional<std::string>& value(std::string_view option) const;
};

[[nodiscard]] Words words_of(std::span<const std::string> arguments);

// Whether the words are what a command takes, leaving the values aside: from `least`
// to `most` plain words, and each option given at most once and only if `options`
// names it.
[[nodiscard]] bool fits(const Words& words, std::size_t least, std::size_t most,
                        std::string_view options);

[[nodiscard]] bool takes(std::string_view options, std::string_view option);

// The sentence that refuses an option's value: none given, or a date that is not
// one of the calendar's.
[[nodiscard]] std::optional<std::string> value_trouble(const Words& words);

// The numbers of a version as the index writes versions, "31.0.101.4502"; none for
// any other text.
[[nodiscard]] std::optional<std::array<std::int64_t, 4>> version_numbers(std::string_view text);

}  // namespace qv

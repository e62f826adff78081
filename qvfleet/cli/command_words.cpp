#include "command_words.h"

#include "dates.h"
#include "identity_text.h"
#include "report_format.h"

namespace qv {
namespace {

// Every option of qvfleet's, and what one that takes a value needs, for its message.
struct OptionForm {
  std::string_view name;
  std::string_view needs;  // empty for a flag
  bool date = false;
};

constexpr OptionForm kOptions[] = {
    {"--csv", ""},
    {"--by-inf", ""},
    {"--since", "a date", true},
    {"--seen-before", "a date", true},
    {"--host", "a host's name"},
    {"--version", "a version, as 31.0.101.4502"},
    {"--title", "a text"},
};

const OptionForm* option_form(std::string_view name) {
  for (const OptionForm& form : kOptions) {
    if (form.name == name) return &form;
  }
  return nullptr;
}

}  // namespace

int Words::count(std::string_view option) const {
  for (const GivenOption& given : options) {
    if (given.name == option) return given.count;
  }
  return 0;
}

const std::optional<std::string>& Words::value(std::string_view option) const {
  static const std::optional<std::string> kNone;
  for (const GivenOption& given : options) {
    if (given.name == option) return given.value;
  }
  return kNone;
}

Words words_of(std::span<const std::string> arguments) {
  Words words;
  for (const OptionForm& form : kOptions)
    words.options.push_back({.name = form.name, .count = 0, .value = std::nullopt});
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const OptionForm* form = option_form(word);
    if (form != nullptr) {
      GivenOption& given = words.options[static_cast<std::size_t>(form - kOptions)];
      ++given.count;
      if (!form->needs.empty() && i + 1 < arguments.size()) given.value = arguments[++i];
    } else if (word.starts_with("--") && word.size() > 2) {
      if (!words.unknown_option) words.unknown_option = word;
    } else {
      words.plain.push_back(word);
    }
  }
  return words;
}

bool takes(std::string_view options, std::string_view option) {
  while (!options.empty()) {
    const std::size_t space = options.find(' ');
    if (options.substr(0, space) == option) return true;
    options.remove_prefix(space == std::string_view::npos ? options.size() : space + 1);
  }
  return false;
}

bool fits(const Words& words, std::size_t least, std::size_t most, std::string_view options) {
  if (words.plain.size() < least || words.plain.size() > most) return false;
  for (const GivenOption& given : words.options) {
    if (given.count > (takes(options, given.name) ? 1 : 0)) return false;
  }
  return true;
}

std::optional<std::string> value_trouble(const Words& words) {
  for (const GivenOption& given : words.options) {
    const OptionForm& form = *option_form(given.name);
    if (given.count == 0 || form.needs.empty()) continue;
    const std::string name(given.name);
    const std::string forms = form.date ? ": " + std::string(kDateForms) : "";
    if (!given.value)
      return "The option " + name + " needs " + std::string(form.needs) + forms + ".";
    if (form.date && !is_utc_date_or_time(*given.value)) {
      return "The date after " + name + " is not a day or a time of the calendar" +
             (", " + std::string(kDateForms)) + ": " + one_line_text(*given.value) + ".";
    }
  }
  return std::nullopt;
}

std::optional<std::array<std::int64_t, 4>> version_numbers(std::string_view text) {
  // A date and a version is a driver's identity, not a version.
  if (text.find(' ') != std::string_view::npos) return std::nullopt;
  const auto identity = parse_driver_identity_text(text);
  if (!identity) return std::nullopt;
  std::array<std::int64_t, 4> numbers{};
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = identity->version.parts[i];
  return numbers;
}

}  // namespace qv

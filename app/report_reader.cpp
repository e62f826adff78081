#include "report_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <utility>

#include "identity_text.h"

namespace qv {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// Section keys in the order the format fixes; `none` stands before the first.
enum class Key {
  none,
  instance_id,
  description,
  class_guid,
  hwid,
  cid,
  driver_ver,
  driver_desc,
  driver_provider,
  driver_inf,
  driver_ext,
  driver_matching_id,
};

constexpr std::array<std::string_view, 12> kKeyNames = {
    "[device]",   "instance_id",       "description", "class_guid",      "hwid",
    "cid",        "driver_ver",        "driver_desc", "driver_provider", "driver_inf",
    "driver_ext", "driver_matching_id"};

constexpr std::array<std::string_view, 4> kHeaderKeys = {"host", "os", "arch", "server"};

std::string_view name_of(Key key) { return kKeyNames[static_cast<std::size_t>(key)]; }

std::optional<Key> key_of(std::string_view name) {
  for (std::size_t i = 1; i < kKeyNames.size(); ++i) {
    if (kKeyNames[i] == name) return static_cast<Key>(i);
  }
  return std::nullopt;
}

bool repeats(Key key) { return key == Key::hwid || key == Key::cid; }

// What the writer replaces by a space: U+0000..U+001F, U+007F and U+0080..U+009F
// (C2 80..C2 9F). Any other byte, well-formed or not, may stand in a value.
bool has_control(std::string_view line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte < 0x20 || byte == 0x7F) return true;
    if (byte == 0xC2 && i + 1 < line.size()) {
      const auto next = static_cast<unsigned char>(line[i + 1]);
      if (next >= 0x80 && next <= 0x9F) return true;
    }
  }
  return false;
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.append(1, '"').append(text).append(1, '"');
  return out;
}

// A key is named in a message only when it is short printable ASCII.
std::string key_in_message(std::string_view key) {
  bool plain = !key.empty() && key.size() <= 40;
  for (const char c : key) plain = plain && c > 0x20 && c < 0x7F;
  return plain ? "The key " + quoted(key) : "The line's key"s;
}

// One line at a time, without its line feed and a carriage return before it.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {
    if (text_.starts_with("\xEF\xBB\xBF")) position_ = 3;
  }
  [[nodiscard]] bool next(std::string_view& line) {
    if (position_ == text_.size()) return false;
    const std::size_t end = std::min(text_.find('\n', position_), text_.size());
    line = text_.substr(position_, end - position_);
    position_ = std::min(end + 1, text_.size());
    if (line.ends_with('\r')) line.remove_suffix(1);
    ++number_;
    return true;
  }
  [[nodiscard]] std::size_t number() const { return number_; }
  // Where the line after the current one starts.
  [[nodiscard]] std::size_t position() const { return position_; }
  [[nodiscard]] std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  std::size_t number_ = 0;
};

using Failure = std::unexpected<ReportError>;

// Checks a whole report and keeps its sections; or, given one section's text,
// reads its fields.
class Parser {
 public:
  enum class Input { report, section };

  Parser(std::string_view text, Input input) : lines_(text) {
    if (input == Input::section) {
      in_section_ = true;
      return;
    }
    // Sizes the lists: "[device]" may also stand inside values, never too few.
    std::size_t sections = 0;
    for (std::size_t at = text.find("[device]"); at != std::string_view::npos;
         at = text.find("[device]", at + 1)) {
      ++sections;
    }
    report_.devices.reserve(sections);
    first_lines_.reserve(sections);
  }

  std::expected<ReportView, ReportError> report() {
    if (auto header = read_header(); !header) return Failure(std::move(header.error()));
    if (auto sections = read_sections(); !sections) return Failure(std::move(sections.error()));
    return std::move(report_);
  }

  DeviceView section() {
    // A section from report() has been checked: nothing can fail here.
    (void)read_sections();
    return std::move(device_);
  }

 private:
  using Step = std::expected<void, ReportError>;

  Failure fail(std::string message) const { return fail_at(lines_.number(), std::move(message)); }
  static Failure fail_at(std::size_t line, std::string message) {
    return Failure(ReportError{line, std::move(message)});
  }
  // A line that must come next is missing; the message names the line before.
  Failure not_followed(std::string_view before, std::string_view needed) const {
    const auto article =
        "aeiou"sv.find(needed.front()) != std::string_view::npos ? "an "sv : "a "sv;
    return fail_at(previous_, "The " + quoted(before) + " line is not followed by " +
                                  std::string(article) + quoted(needed) + " line.");
  }
  static std::string control_message() {
    return "The line holds a control character, which a report never does.";
  }

  Step read_header() {
    std::string_view line;
    if (!lines_.next(line) || line != "qvdev1") {
      return fail_at(1, "The first line is not \"qvdev1\".");
    }
    std::string_view before = "qvdev1";
    std::array<std::string_view, kHeaderKeys.size()> values;
    for (std::size_t i = 0; i < kHeaderKeys.size(); ++i) {
      previous_ = lines_.number();
      const std::string_view key = kHeaderKeys[i];
      if (!lines_.next(line) || !line.starts_with(key) || line.substr(key.size(), 1) != "=") {
        return not_followed(before, key);
      }
      if (has_control(line)) return fail(control_message());
      values[i] = line.substr(key.size() + 1);
      before = key;
    }
    if (values[3] != "0" && values[3] != "1") {
      return fail("The \"server\" value is neither \"0\" nor \"1\".");
    }
    report_.host = values[0];
    report_.os = values[1];
    report_.arch = values[2];
    report_.server = values[3] == "1";
    return {};
  }

  Step read_sections() {
    std::string_view line;
    while (lines_.next(line)) {
      if (auto step = take(line); !step) return step;
    }
    return end_section();
  }

  Step take(std::string_view line) {
    const std::size_t number = lines_.number();
    if (has_control(line)) return fail(control_message());
    if (line == "[device]") {
      if (auto end = end_section(); !end) return end;
      start_section();
      previous_ = number;
      return {};
    }
    if (line.empty()) return fail("The line is empty.");
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      return fail("The line is neither \"[device]\" nor a key=value line.");
    }
    if (!in_section_) return fail("A value line comes before the first \"[device]\".");
    const std::string_view name = line.substr(0, eq);
    const std::optional<Key> key = key_of(name);
    if (!key) return fail(key_in_message(name) + " is not one of the report's keys.");
    if (auto order = check_order(*key); !order) return order;
    if (auto stored = store(*key, line.substr(eq + 1)); !stored) return stored;
    last_ = *key;
    previous_ = number;
    section_end_ = lines_.position();
    return {};
  }

  Step check_order(Key key) const {
    const bool need_next =
        last_ == Key::none || last_ == Key::instance_id || last_ == Key::driver_ver;
    const auto next = static_cast<Key>(static_cast<int>(last_) + 1);
    if (need_next && key != next) return not_followed(name_of(last_), name_of(next));
    const auto line = [&] { return "The " + quoted(name_of(key)) + " line"; };
    if (key >= Key::driver_desc && last_ < Key::driver_ver) {
      return fail(line() + " comes without a \"driver_ver\" line before it.");
    }
    if (key == last_ && !repeats(key)) return fail(line() + " appears twice in the section.");
    if (key < last_) {
      return fail(line() + " comes after the " + quoted(name_of(last_)) +
                  " line, out of the report's order.");
    }
    return {};
  }

  Step store(Key key, std::string_view value) {
    DeviceView& device = device_;
    switch (key) {
      case Key::none:
        break;
      case Key::instance_id: {
        const auto [at, added] = first_lines_.try_emplace(value, lines_.number());
        if (!added) {
          return fail("The instance id already names the device on line " +
                      std::to_string(at->second) + ".");
        }
        device.instance_id = value;
        break;
      }
      case Key::description:
        device.description = value;
        break;
      case Key::class_guid:
        device.class_guid = value;
        break;
      case Key::hwid:
        device.hardware_ids.push_back(value);
        break;
      case Key::cid:
        device.compatible_ids.push_back(value);
        break;
      case Key::driver_ver: {
        const auto identity = parse_driver_identity_text(value, scratch_);
        if (!identity) {
          return fail("The \"driver_ver\" value is not a valid driver date and version.");
        }
        device.driver = DriverView{.identity = *identity, .identity_text = value};
        break;
      }
      case Key::driver_desc:
        device.driver->description = value;
        break;
      case Key::driver_provider:
        device.driver->provider = value;
        break;
      case Key::driver_inf:
        device.driver->inf_path = value;
        break;
      case Key::driver_ext:
        device.driver->inf_section_ext = value;
        break;
      case Key::driver_matching_id:
        device.driver->matching_device_id = value;
        break;
    }
    return {};
  }

  // The lists keep their storage from one section to the next.
  void start_section() {
    in_section_ = true;
    last_ = Key::none;
    section_start_ = section_end_ = lines_.position();
    device_.class_guid.reset();
    device_.hardware_ids.clear();
    device_.compatible_ids.clear();
    device_.driver.reset();
  }

  // A section needs its instance id and description, and a driver its description.
  Step end_section() {
    if (!in_section_) return {};
    if (last_ == Key::none || last_ == Key::instance_id || last_ == Key::driver_ver) {
      return not_followed(name_of(last_), name_of(static_cast<Key>(static_cast<int>(last_) + 1)));
    }
    const std::string_view text =
        lines_.text().substr(section_start_, section_end_ - section_start_);
    report_.devices.push_back(SectionView{device_.instance_id, text});
    return {};
  }

  Lines lines_;
  ReportView report_;
  DeviceView device_;  // the section being read
  bool in_section_ = false;
  Key last_ = Key::none;
  std::size_t previous_ = 0;  // the number of the last line taken
  std::size_t section_start_ = 0;
  std::size_t section_end_ = 0;
  std::unordered_map<std::string_view, std::size_t> first_lines_;  // instance id: its line
  std::string scratch_;
};

std::optional<std::string> text(const std::optional<std::string_view>& view) {
  if (!view) return std::nullopt;
  return std::string(*view);
}

DeviceRecord record_of(const DeviceView& device) {
  DeviceRecord record{
      .instance_id = std::string(device.instance_id),
      .description = std::string(device.description),
      .class_guid = text(device.class_guid),
      .hardware_ids = {device.hardware_ids.begin(), device.hardware_ids.end()},
      .compatible_ids = {device.compatible_ids.begin(), device.compatible_ids.end()}};
  if (const auto& driver = device.driver) {
    record.driver = DriverInfo{.identity = driver->identity,
                               .description = std::string(driver->description),
                               .provider = text(driver->provider),
                               .inf_path = text(driver->inf_path),
                               .inf_section_ext = text(driver->inf_section_ext),
                               .matching_device_id = text(driver->matching_device_id)};
  }
  return record;
}

}  // namespace

std::expected<ReportView, ReportError> parse_report(std::string_view text) {
  return Parser(text, Parser::Input::report).report();
}

DeviceView device_of(const SectionView& section) {
  return Parser(section.text, Parser::Input::section).section();
}

std::expected<ScanResult, ReportError> read_report(std::string_view text) {
  auto report = parse_report(text);
  if (!report) return std::unexpected(std::move(report.error()));
  ScanResult result{.host = std::string(report->host),
                    .os = std::string(report->os),
                    .arch = std::string(report->arch),
                    .server = report->server};
  result.devices.reserve(report->devices.size());
  for (const SectionView& section : report->devices) {
    result.devices.push_back(record_of(device_of(section)));
  }
  return result;
}

}  // namespace qv

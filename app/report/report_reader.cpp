#include "report_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "identity_text.h"
#include "report_bytes.h"

namespace qv {

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

using Failure = std::unexpected<ReportError>;

constexpr std::size_t npos = std::string_view::npos;

Failure fail_at(std::size_t line, std::string message) {
  return Failure(ReportError{line, std::move(message)});
}

std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.append(1, '"').append(text).append(1, '"');
  return out;
}

// The line that must stand after `before` is missing; the message names the line before.
Failure not_followed(std::size_t line, std::string_view before, std::string_view needed) {
  const auto article = "aeiou"sv.find(needed.front()) != std::string_view::npos ? "an "sv : "a "sv;
  return fail_at(line, "The " + quoted(before) + " line is not followed by " +
                           std::string(article) + quoted(needed) + " line.");
}

// A key is named in a message only when it is short printable ASCII.
std::string key_in_message(std::string_view key) {
  bool plain = !key.empty() && key.size() <= 40;
  for (const char c : key) plain = plain && c > 0x20 && c < 0x7F;
  return plain ? "The key " + quoted(key) : "The line's key"s;
}

// Whether the line starts with the key's name and "=".
bool starts_with_key(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == '=' && line.starts_with(name);
}

std::optional<Key> key_named(std::string_view name) {
  for (const SectionKey& key : kSectionKeys) {
    if (key.name == name) return key.key;
  }
  return std::nullopt;
}

// One line at a time, without its line feed and a carriage return before it;
// refuses a line whose bytes a report never holds, and a last line that does
// not end in a line feed.
class Lines {
 public:
  Lines(std::string_view text, std::size_t first_number) : text_(text), number_(first_number - 1) {}

  void skip_byte_order_mark() {
    if (text_.starts_with("\xEF\xBB\xBF")) position_ = 3;
  }
  [[nodiscard]] bool at_end() const { return position_ == text_.size(); }
  // The next line as it stands, before any check.
  [[nodiscard]] std::string_view next_raw() {
    const std::size_t end = text_.find('\n', position_);
    terminated_ = end != std::string_view::npos;
    const std::size_t stop = terminated_ ? end : text_.size();
    std::string_view line = text_.substr(position_, stop - position_);
    position_ = terminated_ ? end + 1 : text_.size();
    if (line.ends_with('\r')) line.remove_suffix(1);
    ++number_;
    return line;
  }
  [[nodiscard]] std::expected<void, ReportError> check_raw(std::string_view line) const {
    if (!terminated_) {
      return fail_at(number_,
                     "The report is cut short: its last line does not end in a line feed.");
    }
    if (auto fault = line_fault(line)) return fail_at(number_, std::move(*fault));
    return {};
  }
  // The next line, checked: a sound one in a single pass over its bytes.
  [[nodiscard]] std::expected<std::string_view, ReportError> next() {
    if (const std::size_t stop = sound_line_end(text_, position_); stop != npos) {
      const std::string_view line = text_.substr(position_, stop - position_);
      position_ = stop + (text_[stop] == '\r' ? 2 : 1);
      ++number_;
      return line;
    }
    // Any other the careful way, which names what is wrong.
    const std::string_view line = next_raw();
    if (auto checked = check_raw(line); !checked) return Failure(std::move(checked.error()));
    return line;
  }
  // Goes on to `end`, past the line feeds that the bytes before it hold.
  void skip(std::size_t end, std::size_t line_feeds) {
    position_ = end;
    number_ += line_feeds;
  }
  // Takes the line back, so that the next call gives it again.
  void put_back(std::size_t start) {
    position_ = start;
    --number_;
  }
  [[nodiscard]] std::size_t number() const { return number_; }
  [[nodiscard]] std::size_t position() const { return position_; }
  [[nodiscard]] std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  std::size_t number_;
  bool terminated_ = true;
};

}  // namespace

std::span<const Field> SectionFields::lines(Key key) const {
  const auto begin = std::ranges::find(fields_, key, &Field::key);
  const auto end = std::find_if(begin, fields_.end(), [&](const Field& f) { return f.key != key; });
  return {begin, end};
}

std::optional<std::string_view> SectionFields::value(Key key) const {
  const auto found = lines(key);
  if (found.empty()) return std::nullopt;
  return found.front().value;
}

// Reads the value lines of one section, after its "[device]" line, up to the
// next "[device]" line or the end; every check of a section is here.
class SectionReader {
 public:
  explicit SectionReader(Lines& lines) : lines_(lines) {}

  std::expected<void, ReportError> read(SectionFields& fields) {
    fields.fields_.clear();
    // A section has a dozen lines or so: one allocation for most.
    fields.fields_.reserve(16);
    previous_ = lines_.number();
    while (!lines_.at_end()) {
      const std::size_t start = lines_.position();
      auto line = lines_.next();
      if (!line) return Failure(std::move(line.error()));
      if (section_line_at(lines_.text(), start)) {
        lines_.put_back(start);
        break;
      }
      auto key = usual_key(*line);
      if (!key) {
        auto taken = take(*line);
        if (!taken) return Failure(std::move(taken.error()));
        key = *taken;
      }
      fields.fields_.push_back(Field{*key, value_of(*key, *line)});
      last_ = *key;
      previous_ = lines_.number();
    }
    if (const auto next = required_after(); next) {
      return not_followed(previous_, last_name(), name_of(*next));
    }
    return {};
  }

 private:
  static std::string_view value_of(Key key, std::string_view line) {
    return line.substr(name_of(key).size() + 1);
  }

  // The key of a line in the order and the shape of nearly every line, found
  // without building any failure; take's checks name what is wrong with the rest.
  [[nodiscard]] std::optional<Key> usual_key(std::string_view line) const {
    const auto key = expected_key(line);
    if (!key || order_fault(*key) != OrderFault::none) return std::nullopt;
    if (*key == Key::driver_ver && !usual_identity_text(value_of(*key, line))) return std::nullopt;
    return key;
  }

  std::expected<Key, ReportError> take(std::string_view line) {
    const auto key = key_by_name(line);
    if (!key) return key;
    if (const OrderFault fault = order_fault(*key); fault != OrderFault::none) {
      return order_failure(fault, *key);
    }
    if (*key == Key::driver_ver && !parse_driver_identity_text(value_of(*key, line), scratch_)) {
      return fail("The \"driver_ver\" value is not a valid driver date and version.");
    }
    return key;
  }

  std::expected<Key, ReportError> key_by_name(std::string_view line) const {
    if (line.empty()) return fail("The line is empty.");
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      return fail("The line is neither \"[device]\" nor a key=value line.");
    }
    const std::string_view name = line.substr(0, eq);
    const std::optional<Key> key = key_named(name);
    if (!key) return fail(key_in_message(name) + " is not one of the report's keys.");
    return *key;
  }

  // The key that the section's order makes likely, when the line starts with
  // its name and "=": the last line's key if it repeats, or a later one up to
  // the next that is required. Nearly every line is found so, with a compare or two.
  [[nodiscard]] std::optional<Key> expected_key(std::string_view line) const {
    std::size_t next = 0;
    if (last_) next = index_of(*last_) + (section_key(*last_).repeats ? 0 : 1);
    for (; next < kSectionKeys.size(); ++next) {
      const SectionKey& candidate = kSectionKeys[next];
      if (starts_with_key(line, candidate.name)) return candidate.key;
      if (candidate.required) break;
    }
    return std::nullopt;
  }

  // The key whose line must come next, if any: instance_id after "[device]",
  // description after it, and a driver's description after its driver_ver.
  [[nodiscard]] std::optional<Key> required_after() const {
    const std::size_t next = last_ ? index_of(*last_) + 1 : 0;
    if (next < kSectionKeys.size() && kSectionKeys[next].required) return kSectionKeys[next].key;
    return std::nullopt;
  }

  // What keeps a line of `key` from standing after the last line taken. Told
  // apart from its message, which is made only for a report that is refused.
  enum class OrderFault { none, required_missing, no_driver_ver, twice, backwards };

  [[nodiscard]] OrderFault order_fault(Key key) const {
    if (const auto next = required_after(); next && key != *next) {
      return OrderFault::required_missing;
    }
    const SectionKey& rule = section_key(key);
    if (rule.driver && key != Key::driver_ver && (!last_ || *last_ < Key::driver_ver)) {
      return OrderFault::no_driver_ver;
    }
    if (last_ == key && !rule.repeats) return OrderFault::twice;
    if (last_ && key < *last_) return OrderFault::backwards;
    return OrderFault::none;
  }

  [[nodiscard]] Failure order_failure(OrderFault fault, Key key) const {
    const std::string line = "The " + quoted(name_of(key)) + " line";
    switch (fault) {
      case OrderFault::required_missing:
        return not_followed(previous_, last_name(), name_of(*required_after()));
      case OrderFault::no_driver_ver:
        return fail(line + " comes without a \"driver_ver\" line before it.");
      case OrderFault::twice:
        return fail(line + " appears twice in the section.");
      case OrderFault::backwards:
      case OrderFault::none:
        break;
    }
    return fail(line + " comes after the " + quoted(name_of(*last_)) +
                " line, out of the report's order.");
  }

  [[nodiscard]] std::string_view last_name() const {
    return last_ ? name_of(*last_) : kSectionLine;
  }
  [[nodiscard]] Failure fail(std::string message) const {
    return fail_at(lines_.number(), std::move(message));
  }

  Lines& lines_;
  std::optional<Key> last_;   // the key of the last line taken
  std::size_t previous_ = 0;  // the number of the last line taken
  std::string scratch_;
};

namespace {

using HeaderValues = std::array<std::string_view, kHeaderKeys.size()>;

std::expected<HeaderValues, ReportError> read_header(Lines& lines) {
  // The tag is looked at before anything else: a file that is no report at all
  // is named as such, whatever its bytes.
  const std::string_view first = lines.at_end() ? ""sv : lines.next_raw();
  if (first != kFormatTag) return fail_at(1, "The first line is not \"qvdev1\".");
  if (auto checked = lines.check_raw(first); !checked) return Failure(std::move(checked.error()));
  std::string_view before = kFormatTag;
  HeaderValues values;
  for (std::size_t i = 0; i < kHeaderKeys.size(); ++i) {
    const std::string_view key = kHeaderKeys[i];
    const std::size_t previous = lines.number();
    if (lines.at_end()) return not_followed(previous, before, key);
    auto line = lines.next();
    if (!line) return Failure(std::move(line.error()));
    if (!line->starts_with(key) || line->substr(key.size(), 1) != "=") {
      return not_followed(previous, before, key);
    }
    values[i] = line->substr(key.size() + 1);
    before = key;
  }
  if (values[3] != "0" && values[3] != "1") {
    return fail_at(lines.number(), "The \"server\" value is neither \"0\" nor \"1\".");
  }
  return values;
}

// What is wrong with a line between the header and the first section.
std::string before_first_section(std::string_view line) {
  if (line.empty()) return "The line is empty.";
  if (line.find('=') == std::string_view::npos) {
    return "The line is neither \"[device]\" nor a key=value line.";
  }
  return "A value line comes before the first \"[device]\".";
}

}  // namespace

bool section_line_at(std::string_view text, std::size_t pos) {
  const std::string_view rest = text.substr(pos);
  if (!rest.starts_with(kSectionLine)) return false;
  const std::string_view end = rest.substr(kSectionLine.size());
  return end.starts_with('\n') || end.starts_with("\r\n");
}

std::size_t next_section_line(std::string_view text, std::size_t pos) {
  for (const std::size_t first = pos;; ++pos) {
    pos = text.find('[', pos);
    if (pos == npos) return text.size();
    if ((pos == first || text[pos - 1] == '\n') && section_line_at(text, pos)) return pos;
  }
}

std::vector<std::string_view> section_texts(std::string_view text) {
  std::vector<std::string_view> texts;
  texts.reserve(text.size() / 256);
  for (std::size_t at = next_section_line(text, 0); at < text.size();) {
    const std::size_t start = text.find('\n', at) + 1;  // after the line's end
    at = next_section_line(text, start);
    texts.push_back(text.substr(start, at - start));
  }
  return texts;
}

std::expected<ReportView, ReportError> parse_report(std::string_view text) {
  return parse_report(text, KnownSection());
}

std::expected<ReportView, ReportError> parse_report(std::string_view text,
                                                    const KnownSection& known) {
  Lines lines(text, 1);
  lines.skip_byte_order_mark();
  const auto header = read_header(lines);
  if (!header) return Failure(header.error());
  ReportView report{.host = (*header)[0],
                    .os = (*header)[1],
                    .arch = (*header)[2],
                    .server = (*header)[3] == "1"};
  // A section takes a few hundred bytes: room for most reports without a pass to count.
  report.sections.reserve(text.size() / 256);
  SectionFields fields;
  while (!lines.at_end()) {
    const std::size_t heading_at = lines.position();
    const auto line = lines.next();
    if (!line) return Failure(line.error());
    if (!section_line_at(text, heading_at)) {
      return fail_at(lines.number(), before_first_section(*line));
    }
    const std::size_t heading = lines.number();
    const std::size_t start = lines.position();
    // The cache is asked only of a section as the reader itself ends it.
    if (known) {
      const std::string_view section = text.substr(start, next_section_line(text, start) - start);
      if (known(section)) {
        // Read soundly before: its first line is its instance id's.
        std::string_view id = section.substr(0, section.find('\n'));
        if (id.ends_with('\r')) id.remove_suffix(1);
        id.remove_prefix(name_of(Key::instance_id).size() + 1);
        report.sections.push_back(SectionView{.instance_id = id, .text = section, .line = heading});
        lines.skip(start + section.size(), line_feed_count(section));
        continue;
      }
    }
    SectionReader reader(lines);
    if (auto read = reader.read(fields); !read) return Failure(std::move(read.error()));
    report.sections.push_back(SectionView{.instance_id = *fields.value(Key::instance_id),
                                          .text = text.substr(start, lines.position() - start),
                                          .line = heading});
  }
  return report;
}

std::expected<SectionFields, ReportError> read_section(const SectionView& section) {
  Lines lines(section.text, section.line + 1);
  SectionFields fields;
  SectionReader reader(lines);
  if (auto read = reader.read(fields); !read) return Failure(std::move(read.error()));
  if (!lines.at_end()) return fail_at(lines.number() + 1, "The section holds a \"[device]\" line.");
  return fields;
}

namespace {

std::string text_of(std::string_view view) { return std::string(view); }

std::optional<std::string> optional_text(const std::optional<std::string_view>& view) {
  if (!view) return std::nullopt;
  return std::string(*view);
}

std::vector<std::string> texts_of(std::span<const Field> lines) {
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (const Field& field : lines) texts.emplace_back(field.value);
  return texts;
}

}  // namespace

DeviceRecord device_record(const SectionFields& fields) {
  DeviceRecord record{.instance_id = text_of(fields.value(Key::instance_id).value_or("")),
                      .description = text_of(fields.value(Key::description).value_or("")),
                      .class_guid = optional_text(fields.value(Key::class_guid)),
                      .hardware_ids = texts_of(fields.lines(Key::hwid)),
                      .compatible_ids = texts_of(fields.lines(Key::cid))};
  if (const auto identity_text = fields.value(Key::driver_ver)) {
    record.driver = DriverInfo{
        .identity = parse_driver_identity_text(*identity_text).value_or(DriverIdentity{}),
        .description = text_of(fields.value(Key::driver_desc).value_or("")),
        .provider = optional_text(fields.value(Key::driver_provider)),
        .inf_path = optional_text(fields.value(Key::driver_inf)),
        .inf_section_ext = optional_text(fields.value(Key::driver_ext)),
        .matching_device_id = optional_text(fields.value(Key::driver_matching_id))};
  }
  return record;
}

std::expected<ScanResult, ReportError> read_report(std::string_view text) {
  auto report = parse_report(text);
  if (!report) return Failure(std::move(report.error()));
  ScanResult result{.host = std::string(report->host),
                    .os = std::string(report->os),
                    .arch = std::string(report->arch),
                    .server = report->server};
  result.devices.reserve(report->sections.size());
  for (const SectionView& section : report->sections) {
    auto fields = read_section(section);
    if (!fields) return Failure(std::move(fields.error()));
    result.devices.push_back(device_record(*fields));
  }
  return result;
}

}  // namespace qv

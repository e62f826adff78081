#include "identity_text.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>

namespace qv {
namespace {

template <typename T>
std::optional<T> read_digits(std::string_view piece) {
  T value{};
  const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  if (piece.empty() || error != std::errc{} || end != piece.data() + piece.size()) {
    return std::nullopt;
  }
  return value;
}

// Cuts `text` at `separator` into exactly N pieces.
template <std::size_t N>
std::optional<std::array<std::string_view, N>> split_exactly(std::string_view text,
                                                             char separator) {
  std::array<std::string_view, N> pieces;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    const std::size_t cut = text.find(separator);
    if (cut == std::string_view::npos) return std::nullopt;
    pieces[i] = text.substr(0, cut);
    text.remove_prefix(cut + 1);
  }
  if (text.find(separator) != std::string_view::npos) return std::nullopt;
  pieces[N - 1] = text;
  return pieces;
}

std::optional<DriverDate> read_date(std::string_view text) {
  const auto pieces = split_exactly<3>(text, '-');
  if (!pieces) return std::nullopt;
  const auto year = read_digits<std::uint16_t>((*pieces)[0]);
  const auto month = read_digits<std::uint8_t>((*pieces)[1]);
  const auto day = read_digits<std::uint8_t>((*pieces)[2]);
  // Parsed years are 100 or more: smaller ones are read as 19xx or 20xx.
  if (!year || !month || !day || *year < 100 || *month < 1 || *month > 12 || *day < 1 ||
      *day > 31) {
    return std::nullopt;
  }
  return DriverDate{*year, *month, *day};
}

// Reads the numbers, then requires the display's own text back, which rules
// out missing padding, leading zeros and the like.
}  // namespace

std::optional<DriverIdentity> parse_driver_identity_text(std::string_view text,
                                                         std::string& scratch) {
  DriverIdentity identity;
  std::string_view version = text;
  if (const std::size_t space = text.find(' '); space != std::string_view::npos) {
    identity.date = read_date(text.substr(0, space));
    if (!identity.date) return std::nullopt;
    version = text.substr(space + 1);
  }
  const auto pieces = split_exactly<4>(version, '.');
  if (!pieces) return std::nullopt;
  for (std::size_t i = 0; i < pieces->size(); ++i) {
    const auto part = read_digits<std::uint16_t>((*pieces)[i]);
    if (!part) return std::nullopt;
    identity.version.parts[i] = *part;
  }
  if (!identity.date && identity.version == DriverVersion{}) return std::nullopt;
  scratch.clear();
  append_driver_identity_text(scratch, identity);
  if (scratch != text) return std::nullopt;
  return identity;
}

std::optional<DriverIdentity> parse_driver_identity_text(std::string_view text) {
  std::string scratch;
  return parse_driver_identity_text(text, scratch);
}

}  // namespace qv

#include "dates.h"

#include <chrono>
#include <optional>

namespace qv {
namespace {

// The number written in text[from, from + count), all of it ASCII digits.
std::optional<unsigned> number(std::string_view text, std::size_t from, std::size_t count) {
  if (text.size() < from + count) return std::nullopt;
  unsigned value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return value;
}

bool is_date(std::string_view text) {
  const auto year = number(text, 0, 4);
  const auto month = number(text, 5, 2);
  const auto day = number(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return false;
  return std::chrono::year_month_day(std::chrono::year(static_cast<int>(*year)),
                                     std::chrono::month(*month), std::chrono::day(*day))
      .ok();
}

// "THH:MM:SSZ"; a leap second never stands in the index, whose times come from files.
bool is_time_of_day(std::string_view text) {
  const auto hour = number(text, 1, 2);
  const auto minute = number(text, 4, 2);
  const auto second = number(text, 7, 2);
  return text.size() == 10 && text[0] == 'T' && text[3] == ':' && text[6] == ':' &&
         text[9] == 'Z' && hour && *hour < 24 && minute && *minute < 60 && second &&
         *second < 60;
}

}  // namespace

bool is_utc_date_or_time(std::string_view text) {
  if (text.size() != 10 && text.size() != 20) return false;
  if (!is_date(text.substr(0, 10))) return false;
  return text.size() == 10 || is_time_of_day(text.substr(10));
}

}  // namespace qv

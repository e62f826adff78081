#include "report_bytes.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "identity_text.h"
#include "report_format.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv {

using namespace std::string_literals;

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The bytes of a word that lie outside printable ASCII, 0x20..0x7E, as their
// top bits: a byte below 0x20 borrows into its top bit, one above 0x7E carries
// into it or has it. A borrow or carry reaches a byte only from a lower one that
// is flagged itself, so the lowest flag is exact; flags above it may be false.
constexpr std::uint64_t not_printable_bytes(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kTops = 0x8080808080808080;
  const std::uint64_t below = (word - kOnes * 0x20) & ~word & kTops;
  const std::uint64_t above = ((word + kOnes * (0x7F - 0x7E)) | word) & kTops;
  return below | above;
}

constexpr bool is_printable_ascii(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

// Where the run of printable ASCII that starts at `pos` ends: many bytes at a
// time, since nearly all of a report is such runs.
std::size_t printable_end(std::string_view text, std::size_t pos) {
#if defined(__SSE2__)
  // Sixteen where there is SSE2, as on every x86-64. Its compares are signed,
  // so the bytes from 0x80 up fall below 0x20.
  const __m128i below = _mm_set1_epi8(0x20);
  const __m128i above = _mm_set1_epi8(0x7E);
  for (; pos + 16 <= text.size(); pos += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    const __m128i outside = _mm_or_si128(_mm_cmplt_epi8(bytes, below), _mm_cmpgt_epi8(bytes, above));
    if (const int flags = _mm_movemask_epi8(outside); flags != 0) {
      return pos + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(flags)));
    }
  }
#endif
  for (; pos + 8 <= text.size(); pos += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + pos, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
    if (const std::uint64_t flags = not_printable_bytes(word); flags != 0) {
      return pos + static_cast<std::size_t>(std::countr_zero(flags)) / 8;
    }
  }
  while (pos < text.size() && is_printable_ascii(static_cast<unsigned char>(text[pos]))) ++pos;
  return pos;
}

// Whether the character at `pos` is a C1 control, C2 80..C2 9F.
bool is_c1_control(std::string_view text, std::size_t pos) {
  return text[pos] == '\xC2' && pos + 1 < text.size() &&
         is_c1_second_byte(static_cast<unsigned char>(text[pos + 1]));
}

}  // namespace

// The first fault of a line's bytes: a control character, or bytes that are not
// UTF-8.
std::optional<std::string> line_fault(std::string_view line) {
  for (std::size_t pos = printable_end(line, 0); pos < line.size();
       pos = printable_end(line, pos)) {
    const auto byte = static_cast<unsigned char>(line[pos]);
    const std::size_t length = well_formed_length(line, pos);
    if (length == 0) return "The line is not valid UTF-8."s;
    if (is_control_byte(byte) || is_c1_control(line, pos)) {
      return "The line holds a control character, which a report never does."s;
    }
    pos += length;
  }
  return std::nullopt;
}

// Where the text of the line that starts at `pos` ends, before its line feed or
// its carriage return and line feed, found in the same pass that checks its
// bytes; npos when it holds a fault or does not end in a line feed, for the
// slower reading that names what is wrong. A character's bytes never include a
// carriage return or a line feed, so checking them in the whole text is
// checking them in the line.
std::size_t sound_line_end(std::string_view text, std::size_t pos) {
  for (pos = printable_end(text, pos); pos < text.size(); pos = printable_end(text, pos)) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte == '\n') return pos;
    if (byte == '\r') return pos + 1 < text.size() && text[pos + 1] == '\n' ? pos : npos;
    if (is_control_byte(byte) || is_c1_control(text, pos)) return npos;
    const std::size_t length = well_formed_length(text, pos);
    if (length == 0) return npos;
    pos += length;
  }
  return npos;
}

std::size_t line_feed_count(std::string_view text) {
  std::size_t count = 0;
  std::size_t pos = 0;
#if defined(__SSE2__)
  // Each byte of `counts` counts the line feeds of its lane, up to 255 blocks of
  // 16 bytes at a time; the two sums of eight bytes then add them up. (The
  // processor's popcount is not in the baseline x86-64 that is built for.)
  const __m128i feed = _mm_set1_epi8('\n');
  while (pos + 16 <= text.size()) {
    __m128i counts = _mm_setzero_si128();
    for (int block = 0; block < 255 && pos + 16 <= text.size(); ++block, pos += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, feed));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  return count + static_cast<std::size_t>(std::count(text.begin() + pos, text.end(), '\n'));
}

namespace {

// The number that the `count` digits at `pos` write, or -1.
int digits_at(std::string_view text, std::size_t pos, std::size_t count) {
  int value = 0;
  for (const char c : text.substr(pos, count)) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

// Whether `text` is a driver identity in the shape nearly every driver's has,
// "2006-06-21 10.0.19041.1" with a four-digit year, just as the display writes
// it: parse_driver_identity_text's round trip through the display's text, which
// costs more than the rest of a line's reading, is then not needed.
bool usual_identity_text(std::string_view text) {
  if (text.size() < 12 || text[4] != '-' || text[7] != '-' || text[10] != ' ') return false;
  const int month = digits_at(text, 5, 2);
  const int day = digits_at(text, 8, 2);
  if (digits_at(text, 0, 4) < 100 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  std::size_t pos = 11;
  for (int part = 0; part < 4; ++part) {
    if (part != 0 && (pos == text.size() || text[pos++] != '.')) return false;
    // One to five digits, without a leading zero, up to 65535.
    std::size_t count = 0;
    while (count < 6 && pos + count < text.size() && digits_at(text, pos + count, 1) >= 0) ++count;
    const int value = count == 0 || count > 5 ? -1 : digits_at(text, pos, count);
    if (value < 0 || value > 65535 || (count > 1 && text[pos] == '0')) return false;
    pos += count;
  }
  return pos == text.size();
}

}  // namespace qv

#include "output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chunks.h"
#include "fake_sink.h"

namespace qv {
namespace {

TEST(StandardOutput, SaysTheFirstFailureOnceAndWritesNothingAfterIt) {
  const WriteOutcome full = failure(112, "Disk full.");
  const std::string said = "Couldn't write standard output: Disk full. (os error 112)\n";
  const struct {
    const char* name;
    std::vector<WriteOutcome> answers;
    std::string out;
    std::string err;
    bool failed;
    std::size_t writes;
  } cases[] = {
      {"every write taken", {}, "abc", "", false, 3},
      {"second write fails", {{}, full}, "a", said, true, 2},
      {"reader left: silent", {reader_left(232)}, "", "", true, 1},
      {"no stream: no failure", {kAbsent, kAbsent, kAbsent}, "", "", false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSink out_sink(c.answers);
    FakeSink err;
    StandardOutput out(out_sink, err);
    for (const char* piece : {"a", "b", "c"}) out.write(piece);
    EXPECT_EQ(out_sink.text, c.out);
    EXPECT_EQ(out_sink.writes, c.writes);
    EXPECT_EQ(err.text, c.err);
    EXPECT_EQ(out.failed(), c.failed);
  }
}

// Each call is answered from `takes` (units taken, or -code for an error); what
// each call was given is kept.
struct ScriptedWrite {
  std::vector<long> takes;
  std::vector<std::u16string> given{};
  ChunkWritten operator()(std::u16string_view piece) {
    given.emplace_back(piece);
    const long take = takes.at(given.size() - 1);
    if (take < 0) return std::unexpected(static_cast<std::uint32_t>(-take));
    return static_cast<std::size_t>(take);
  }
};

TEST(WriteInChunks, PiecesKeepSurrogatePairsWholeAndEveryUnitArrivesOnce) {
  constexpr std::uint32_t kNoProgress = 29;
  const std::u16string smile = u"\U0001F600";
  const std::u16string ascii(8191, u'a');
  const struct {
    const char* name;
    std::u16string text;
    std::size_t limit;
    std::vector<long> takes;
    std::vector<std::u16string> given;
    std::expected<void, std::uint32_t> result;
  } cases[] = {
      {"one piece", u"abc", 8, {3}, {u"abc"}, {}},
      {"a pair across the limit waits for the next piece",
       ascii + smile,
       8192,
       {8191, 2},
       {ascii, smile},
       {}},
      {"a pair inside the limit stays", u"a" + smile, 3, {3}, {u"a" + smile}, {}},
      {"a short write goes on from where it stopped", u"abcdef", 4, {2, 4}, {u"abcd", u"cdef"}, {}},
      {"an error ends the writing", u"abcdef", 4, {4, -112}, {u"abcd", u"ef"},
       std::unexpected(112u)},
      {"no unit taken ends as a failure", u"abc", 8, {0}, {u"abc"},
       std::unexpected(kNoProgress)},
      {"nothing to write: no call", u"", 8, {}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedWrite write{c.takes};
    const auto result =
        write_in_chunks<char16_t>(std::u16string_view(c.text), c.limit, kNoProgress, write);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(write.given, c.given);
  }
}

}  // namespace
}  // namespace qv

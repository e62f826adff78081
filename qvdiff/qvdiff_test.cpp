#include "qvdiff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

const std::string kReport =
    "qvdev1\nhost=PC\nos=1\narch=amd64\nserver=0\n[device]\ninstance_id=A\ndescription=d\n";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::size_t> reads;
};

// `files` holds each input's content, or its read error after a '!'.
Outcome run(std::vector<std::string> names, std::vector<std::string> files, bool out_works = true) {
  Outcome result;
  const ReadInput read = [&](std::size_t i) -> std::expected<std::string, std::string> {
    result.reads.push_back(i);
    if (files.at(i).starts_with('!')) return std::unexpected(files[i].substr(1));
    return files[i];
  };
  result.status = run_qvdiff(
      names, read,
      [&](std::string_view bytes) {
        result.out += bytes;
        return out_works;
      },
      [&](std::string_view bytes) {
        result.err += bytes;
        return true;
      });
  return result;
}

TEST(RunQvdiff, StatusOutputAndMessages) {
  struct Case {
    const char* name;
    std::vector<std::string> names;
    std::vector<std::string> files;
    int status;
    std::string out;
    std::string err;
    std::vector<std::size_t> reads;
  };
  const std::string usage =
      "Usage: qvdiff OLD NEW, where OLD and NEW are report files written by qv.\n";
  const std::string changed = kReport.substr(0, kReport.size() - 2) + "e\n";
  const Case cases[] = {
      {"same", {"a", "b"}, {kReport, kReport}, 0, "", "", {0, 1}},
      {"differ",
       {"a", "b"},
       {kReport, changed},
       1,
       "changed   A\nold       description=d\nnew       description=e\n",
       "",
       {0, 1}},
      {"no arguments", {}, {}, 2, "", usage, {}},
      {"one argument", {"a"}, {kReport}, 2, "", usage, {}},
      {"three arguments", {"a", "b", "c"}, {kReport, kReport, kReport}, 2, "", usage, {}},
      {"old unreadable",
       {"old.txt", "new.txt"},
       {"!File not found. (os error 2)", kReport},
       2,
       "",
       "Couldn't read old.txt: File not found. (os error 2)\n",
       {0}},
      {"new unreadable",
       {"old.txt", "dir"},
       {kReport, "!Access denied. (os error 5)"},
       2,
       "",
       "Couldn't read dir: Access denied. (os error 5)\n",
       {0, 1}},
      {"old not a report",
       {"old.txt", "new.txt"},
       {"qvdev2\n", kReport},
       2,
       "",
       "old.txt, line 1: The first line is not \"qvdev1\".\n",
       {0}},
      {"new damaged",
       {"old.txt", "new.txt"},
       {kReport, kReport + "driver_ver=0.0.0.0\n"},
       2,
       "",
       "new.txt, line 9: The \"driver_ver\" value is not a valid driver date and version.\n",
       {0, 1}},
  };
  for (const Case& c : cases) {
    const Outcome result = run(c.names, c.files);
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.out, c.out) << c.name;
    EXPECT_EQ(result.err, c.err) << c.name;
    EXPECT_EQ(result.reads, c.reads) << c.name;
  }
}

TEST(RunQvdiff, OutputThatCannotBeWrittenIsTrouble) {
  const std::string changed = kReport.substr(0, kReport.size() - 2) + "e\n";
  const Outcome result = run({"a", "b"}, {kReport, changed}, false);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "Couldn't write the differences to standard output.\n");
  EXPECT_EQ(run({"a", "b"}, {kReport, kReport}, false).status, 0);  // nothing to write
}

}  // namespace
}  // namespace qv

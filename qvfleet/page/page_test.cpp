#include "page.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "fake_sink.h"
#include "json_text.h"
#include "page_files.h"
#include "page_pack.h"
#include "page_fleet.h"
#include "qvfleet.h"
#include "report.h"
#include "sha256.h"
#include "test_folder.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

constexpr std::size_t kNoBound = std::numeric_limits<std::size_t>::max();

std::string json_of(std::string_view text) {
  std::string json;
  append_json_string(json, text);
  return json;
}

// Every value comes from a report any machine could have written: nothing in it
// may end the element that holds the data, nor arrive as anything but its text.
TEST(PageJson, EscapesWhatCouldEndItsElementAndKeepsTheRest) {
  using namespace std::string_literals;
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"Intel(R) Ethernet", R"("Intel(R) Ethernet")"},
      {"<img src=x onerror=alert(1)>", R"("\u003cimg src=x onerror=alert(1)\u003e")"},
      {"</script><script>alert(1)</script>",
       R"("\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e")"},
      {"<!-- a & b -->", R"("\u003c!-- a \u0026 b --\u003e")"},
      {R"(say "hi" \ it's)", R"("say \"hi\" \\ it's")"},
      {"a\xE2\x80\xA8"
       "b\xE2\x80\xA9"
       "c",
       R"("a\u2028b\u2029c")"},
      {"\x01\t\n\r\x1F\x7F"
       "\xC2\x80\xC2\x9F"s +
           '\0',
       R"("\u0001\u0009\u000a\u000d\u001f\u007f\u0080\u009f\u0000")"},
      // A right-to-left override and characters outside the BMP stay as they are.
      {"\xE2\x80\xAE"
       "evil \xF0\x9F\x98\x80 \xC3\xA9",
       "\"\xE2\x80\xAE"
       "evil \xF0\x9F\x98\x80 \xC3\xA9\""},
      // Each byte that is not well-formed UTF-8 is one U+FFFD.
      {"a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},
      {"\xE2\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // cut short
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
      {"\xC0\xBC", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // an overlong '<'
      {"\xF4\x90\x80\x80",
       "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // past U+10FFFF
      {"", R"("")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(json_of(c.text), c.json);
  }
  std::string long_value;
  std::string long_json = "\"";
  for (int i = 0; i < 2500; ++i) {
    long_value += "<a\xE2\x80\xA8&";
    long_json += "\\u003ca\\u2028\\u0026";
  }
  EXPECT_EQ(long_value.size(), 15000u);
  EXPECT_EQ(json_of(long_value), long_json + "\"");
}

TEST(PageJson, EscapesTheTitleForHtml) {
  const struct {
    std::string title;
    std::string html;
  } cases[] = {
      {"qv fleet", "qv fleet"},
      {R"(<b>"Plant" & 'Yard'</b>)", "&lt;b&gt;&quot;Plant&quot; &amp; &#39;Yard&#39;&lt;/b&gt;"},
      {"</title><script>x</script>", "&lt;/title&gt;&lt;script&gt;x&lt;/script&gt;"},
      {"a\nb\tc", "a b c"},
      {"caf\xC3\xA9 \xFF", "caf\xC3\xA9 \xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(html_text(c.title), c.html);
    const std::string page = page_html(c.title, "{}");
    EXPECT_NE(page.find("<title>" + c.html + "</title>\n"), std::string::npos) << page;
  }
}

std::string between(const std::string& text, const std::string& before, const std::string& after) {
  const std::size_t start = text.find(before);
  if (start == std::string::npos) return "(no " + before + ")";
  const std::size_t from = start + before.size();
  return text.substr(from, text.find(after, from) - from);
}

std::string from_base64(std::string_view text) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    bits = (bits << 6) | static_cast<std::uint32_t>(kAlphabet.find(c));
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return bytes;
}

std::string hex_of_base64(std::string_view text) {
  const std::string bytes = from_base64(text);
  return to_hex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// The data as the page's script reads it: base64, then zlib's format.
std::string unpacked(std::string_view packed) {
  const std::string bytes = from_base64(packed);
  for (uLongf room = 4 * bytes.size() + 64;; room *= 2) {
    std::string json(room, '\0');
    uLongf size = room;
    const int status = uncompress(reinterpret_cast<Bytef*>(json.data()), &size,
                                  reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
    if (status == Z_OK) return json.substr(0, size);
    if (status != Z_BUF_ERROR) return "(not zlib's format: " + std::to_string(status) + ")";
  }
}

constexpr std::string_view kDataStart = "<script type=\"text/plain\" id=\"fleet-data\">";

// The JSON a page holds.
std::string data_of(const std::string& page) {
  return unpacked(between(page, std::string(kDataStart), "</script>"));
}

TEST(PagePack, UnpacksToWhatWasPackedAndHoldsNoMarkup) {
  std::string large;
  for (int i = 0; i < 20000; ++i) large += R"({"a":"\u003cscript\u003e",)" + std::to_string(i);
  for (const std::string& json : {std::string(), std::string(R"({"a":1})"), large}) {
    const auto packed = pack_data(json);
    ASSERT_TRUE(packed);
    EXPECT_EQ(unpacked(*packed), json);
    EXPECT_EQ(packed->find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(packed->size() % 4, 0u);
  }
  EXPECT_LT(pack_data(large)->size(), large.size() / 4);
  // zlib's own format at level 6: its header, then the same bytes on every system.
  EXPECT_EQ(*pack_data(R"({"a":1})"), "eJyrVkpUsjKsBQAIKgIJ");
}

// The policy lets exactly the page's own script and style run, and nothing load.
TEST(PageHtml, ItsPolicyAllowsItsOwnScriptAndStyleByHash) {
  const std::string page = page_html("t", *pack_data(R"({"a":1})"));
  const std::string policy = between(page, "Content-Security-Policy\" content=\"", "\"");
  EXPECT_TRUE(policy.starts_with("default-src 'none'; script-src 'sha256-")) << policy;
  EXPECT_TRUE(policy.ends_with("; img-src 'none'; base-uri 'none'; form-action 'none'")) << policy;
  const std::string script = between(page, "<script>", "</script>");
  const std::string style = between(page, "<style>", "</style>");
  EXPECT_EQ(script, page_script());
  EXPECT_EQ(style, page_style());
  EXPECT_EQ(hex_of_base64(between(policy, "script-src 'sha256-", "'")), to_hex(sha256(script)));
  EXPECT_EQ(hex_of_base64(between(policy, "style-src 'sha256-", "'")), to_hex(sha256(style)));
  EXPECT_EQ(data_of(page), R"({"a":1})");
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n"));
  EXPECT_TRUE(page.ends_with("</body></html>\n"));
  EXPECT_EQ(page.find('\r'), std::string::npos);
}

// A host's age on the page: whole days before the newest snapshot, by the calendar.
// The script rebuilds an id from the UTF-16 units it shares with the id before:
// a character of two or four bytes is one or two units, and is never split.
TEST(PageJson, SharedBeginningsAreWholeCharactersCountedAsAScriptCounts) {
  const struct {
    std::string before;
    std::string id;
    std::pair<std::size_t, std::size_t> shared;  // units, bytes
  } cases[] = {
      {"", "USB\\1", {0, 0}},
      {"USB\\1", "USB\\1", {5, 5}},
      {"USB\\1", "USB\\2", {4, 4}},
      {"USB\\\xc3\xbc\\1", "USB\\\xc3\xbc\\2", {6, 7}},  // U+00FC
      {"USB\\\xc3\xbc", "USB\\\xc3\xa4", {4, 4}},        // U+00FC, U+00E4
      {"USB\\\xe2\x80\xae"
       "1",
       "USB\\\xe2\x80\xae"
       "2",
       {5, 7}},  // U+202E
      {"USB\\\xf0\x9f\x98\x80"
       "a",
       "USB\\\xf0\x9f\x98\x80"
       "b",
       {6, 8}},  // U+1F600
      {"USB\\\xf0\x9f\x98\x80", "USB\\\xf0\x9f\x98\x81", {4, 4}},
      {"A\xff", "A\xff", {0, 0}},  // not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(shared_beginning(c.before, c.id), c.shared) << c.id;
}

TEST(PageAge, CountsWholeDaysBeforeTheNewestSnapshot) {
  const struct {
    std::string then;
    std::string now;
    std::int64_t days;
  } cases[] = {
      {"2026-12-07T06:00:00Z", "2026-12-07T06:00:00Z", 0},
      {"2026-12-06T18:00:01Z", "2026-12-07T06:00:00Z", 0},
      {"2026-12-06T06:00:00Z", "2026-12-07T06:00:00Z", 1},
      {"2026-12-06T06:00:01Z", "2026-12-07T06:00:00Z", 0},
      {"2024-02-28T06:00:00Z", "2024-03-01T06:00:00Z", 2},  // a leap year
      {"2025-12-31T23:59:59Z", "2026-12-31T23:59:59Z", 365},
      {"2026-12-07", "2026-12-07T06:00:00Z", 0},  // not a time of the index
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.then + " " + c.now);
    EXPECT_EQ(days_between(c.then, c.now), c.days);
  }
}

DeviceRecord stick(std::string instance) {
  return {.instance_id = std::move(instance),
          .description = "Stick",
          .hardware_ids = {"USB\\X", "USB\\Y"}};
}
const DeviceRecord kGadget{.instance_id = "USB\\G\\1", .description = "Old gadget"};
const DeviceRecord kMystery{.instance_id = "ACPI\\M\\0", .description = "Mystery"};
DeviceRecord camera(std::string description) {
  return {.instance_id = "USB\\CAM\\1",
          .description = std::move(description),
          .driver = DriverInfo{.identity = {DriverDate{2024, 1, 2}, {{2, 0, 0, 0}}},
                               .description = "Camera",
                               .provider = "Cams",
                               .inf_path = "cam.inf"}};
}
const DeviceRecord kAudio{
    .instance_id = "HDAUDIO\\A\\1",
    .description = "Audio",
    .driver = DriverInfo{.identity = {std::nullopt, {{5, 0, 0, 0}}}, .description = "Audio"}};

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "share");
    index_ = (root_ / "fleet.db").string();
  }

  // A fleet with a driver in two versions, a host that stopped reporting, a host
  // named with markup, devices without a driver on several hosts, a device whose
  // section stands twice in its report, and a pair of snapshots with a device
  // removed, one added and one changed.
  void make_fleet() {
    put("PC-1/a.txt", {intel_ethernet(9), stick("USB\\X\\1"), kGadget}, "PC-1", 5);
    put("PC-1/b.txt", {intel_ethernet(10), stick("USB\\X\\1"), camera("Camera")}, "PC-1", 7);
    put("PC-2/a.txt", {kMystery, stick("USB\\X\\2"), intel_ethernet(9), kAudio, intel_ethernet(9)},
        "PC-2", 7);
    put("pc-3/a.txt", {intel_ethernet(10)}, "pc-3", 1);
    put("pc-3/b.txt", {intel_ethernet(10)}, "pc-3", 2);
    put("x/a.txt", {camera("</script><script>alert(1)</script>")}, "<b>x</b>", 6);
    ASSERT_EQ(run({"index", index_, (root_ / "share").string()}).status, 0);
  }

  void put(const std::string& name, std::vector<DeviceRecord> devices, const std::string& host,
           unsigned day) {
    put_report(root_ / "share" / name, std::move(devices), host, sys_days{2026y / 12 / day} + 6h);
  }
  static CommandOutcome run(const std::vector<std::string>& arguments) {
    return run_command(arguments);
  }

  // The data of the page of the index, as read_page_data writes it.
  std::expected<PageData, std::string> read(std::optional<PageBudget> budget = std::nullopt) {
    auto db = Database::open(index_, Database::Mode::read_only);
    if (!db) return std::unexpected(db.error());
    return read_page_data(*db, {.title = "qv fleet", .budget = budget});
  }
  std::string data(std::optional<PageBudget> budget = std::nullopt) {
    const auto data = read(budget);
    if (!data) return data.error();
    EXPECT_EQ(unpacked(data->packed), data->json);
    return data->json;
  }
  std::size_t packed_size() { return read().value().packed.size(); }

  const TestFolder folder_{"qvfleet_page"};
  const fs::path root_ = folder_.path();
  std::string index_;
};

TEST_F(PageTest, DataOfAFleet) {
  make_fleet();
  // Hosts by name in byte order; a driver by provider and description, its versions
  // newest first by number, each with its INF and whether it is behind the newest;
  // the driver with the most versions first, then the one on most hosts.
  const std::string hosts =
      R"("hosts":[["\u003cb\u003ex\u003c/b\u003e","2026-12-06T06:00:00Z","10.0",1,0,1],)"
      R"(["PC-1","2026-12-07T06:00:00Z","10.0",3,1,0],)"
      R"(["PC-2","2026-12-07T06:00:00Z","10.0",5,2,0],)"
      R"(["pc-3","2026-12-02T06:00:00Z","10.0",1,0,5]],)";
  const std::string drivers =
      R"("drivers":[["Intel","Ethernet",[["1.10.0.0","2024-01-02","net.inf",0,[1,2]],)"
      R"(["1.9.0.0","2024-01-02","net.inf",1,[2]]],["pci\\ven_8086\u0026dev_1"]],)"
      R"(["Cams","Camera",[["2.0.0.0","2024-01-02","cam.inf",0,[0,1]]],[]],)"
      R"([null,"Audio",[["5.0.0.0",null,null,0,[2]]],[]]],)";
  // Each state's id as what it shares with the one before and the rest; its texts
  // as places in "texts", its hardware and compatible ids as places in "ids". The
  // texts hold the descriptions of the devices that the changes the page holds name.
  const auto states = [](bool gadget) {
    const auto at = [&](int place) { return std::to_string(place + (gadget ? 1 : 0)); };
    return R"("texts":["2024-01-02 1.10.0.0","2024-01-02 1.9.0.0","2024-01-02 2.0.0.0","5.0.0.0",)"
           R"("\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e","Audio","Camera",)"
           R"("Cams","Ethernet","Intel","Mystery",)" +
           std::string(gadget ? R"("Old gadget",)" : "") +
           R"("Stick","cam.inf","net.inf"],)"
           R"("ids":["PCI\\VEN_8086\u0026DEV_1","USB\\X","USB\\Y"],)"
           R"("states":[[0,"ACPI\\M\\0",10,-1,-1,-1,-1,[]],[0,"HDAUDIO\\A\\1",5,3,-1,-1,-1,[]],)"
           R"([0,"PCI\\VEN_8086\u0026DEV_1\\3",8,0,9,)" +
           at(13) + R"(,-1,[0]],[20,"",8,1,9,)" + at(13) + R"(,-1,[0]],[0,"USB\\CAM\\1",4,2,7,)" +
           at(12) + R"(,-1,[]],[9,"",6,2,7,)" + at(12) + R"(,-1,[]],[4,"X\\1",)" + at(11) +
           R"(,-1,-1,-1,-1,[1,1]],[6,"2",)" + at(11) + R"(,-1,-1,-1,-1,[1,1]]],)";
  };
  // Each snapshot with its changes against the one before in qvdiff's words.
  const std::string pair =
      R"("removed   USB\\G\\1\u000aold       description=Old gadget\u000a)"
      R"(added     USB\\CAM\\1\u000anew       description=Camera\u000a)"
      R"(new       driver_ver=2024-01-02 2.0.0.0\u000anew       driver_desc=Camera\u000a)"
      R"(new       driver_provider=Cams\u000anew       driver_inf=cam.inf\u000a)"
      R"(changed   PCI\\VEN_8086\u0026DEV_1\\3\u000aold       driver_ver=2024-01-02 1.9.0.0\u000a)"
      R"(new       driver_ver=2024-01-02 1.10.0.0\u000a")"
      // and the places in "texts" of the descriptions of the devices it names, in order
      R"(,[11,6,8])";
  const auto details = [&](const std::string& changes, const std::string& left_out) {
    return R"("host_details":[{"devices":[4],"snapshots":[["2026-12-06T06:00:00Z",1,0,0,0,null,null]]},)"
           R"({"devices":[2,3,1],"snapshots":[["2026-12-05T06:00:00Z",3,0,0,0,null,null],)"
           R"(["2026-12-07T06:00:00Z",3,1,1,1,)" +
           changes +
           R"(]]},{"devices":[0,1,2,0,4],"snapshots":[["2026-12-07T06:00:00Z",5,0,0,0,null,null]]},)"
           R"({"devices":[2],"snapshots":[["2026-12-01T06:00:00Z",1,0,0,0,null,null],)"
           R"(["2026-12-02T06:00:00Z",1,0,0,0,null,null]]}],"details_left_out":)" +
           left_out + ",";
  };
  const std::string changes =
      R"("days":[["2026-12-01",0,0,0],["2026-12-02",0,0,0],["2026-12-05",0,0,0],)"
      R"(["2026-12-06",0,0,0],["2026-12-07",1,1,1]],)";
  const std::string no_driver = R"("no_driver":[["Stick","USB\\X",[1,1]],["Mystery",null,[2]]]})";
  const auto head = [&](bool gadget) {
    return R"({"title":"qv fleet","newest":"2026-12-07T06:00:00Z",)"
           R"("totals":{"hosts":4,"snapshots":6,"drivers":3,"no_driver":3},)" +
           hosts + drivers + states(gadget);
  };
  const std::string whole = data();
  EXPECT_EQ(whole, head(true) + details(pair, "null") + changes + no_driver);
  // Over its budget, the page leaves out the oldest pairs' changes first, then the
  // devices' ids, then the devices and snapshots of each host, and says so.
  EXPECT_EQ(
      data(PageBudget{.packed = packed_size() - 1, .opened = kNoBound}),
      head(false) +
          details("null,null", R"("Left out, in this order: the changes of the oldest pair )"
                               R"(of snapshots, up to one taken at 2026-12-07T06:00:00Z. With )"
                               R"(them the page would be 0.0 MB, over its budget of 0.0 MB.")") +
          changes + no_driver);
  const std::string small = data(PageBudget{.packed = 100, .opened = 100});
  EXPECT_NE(
      small.find(
          R"("texts":[],"ids":[],"states":[],"host_details":null,"details_left_out":"Left out, )"
          R"(in this order: the changes of the oldest pair of snapshots, up to one taken at )"
          R"(2026-12-07T06:00:00Z; the hardware and compatible ids of the hosts' devices, which )"
          R"(the hosts filter finds hosts by; the devices and snapshots of each host. With )"
          R"(them the page would be 0.0 MB, over its budget of 0.0 MB.","days":)"),
      std::string::npos)
      << small;
  EXPECT_NE(small.find(hosts + drivers), std::string::npos);
}

// The changes without any pair's, and the places of their devices' descriptions:
// what the budget leaves out first.
std::string without_changes(const std::string& json) {
  static const std::regex kDifferences(
      R"re("(removed|added|changed)   ([^"\\]|\\.)*",\[[-0-9,]*\])re");
  return std::regex_replace(json, kDifferences, "null,null");
}

// Over its budget, packed or once opened, the page leaves out the oldest pairs'
// changes and keeps the newest, whichever host each belongs to; then the devices'
// ids; then each host's devices and snapshots.
TEST_F(PageTest, TheBudgetLeavesOutTheOldestChangesFirstThenTheIds) {
  put("A/1.txt", {kGadget, stick("USB\\X\\1")}, "A", 1);
  put("A/2.txt", {kMystery, stick("USB\\X\\1")}, "A", 2);
  put("B/1.txt", {kGadget}, "B", 3);
  put("B/2.txt", {kAudio}, "B", 4);
  // C still runs the gadget, so that its description is in the page with the changes or without.
  put("C/1.txt", {kGadget}, "C", 4);
  ASSERT_EQ(run({"index", index_, (root_ / "share").string()}).status, 0);
  const std::string whole = data();
  const std::string oldest = R"("2026-12-02T06:00:00Z",2,1,1,0,"removed   USB\\G)";
  const std::string newest = R"("2026-12-04T06:00:00Z",1,1,1,0,"removed   USB\\G)";
  const std::string ids = R"("ids":["USB\\X","USB\\Y"])";
  ASSERT_NE(whole.find(oldest), std::string::npos) << whole;
  ASSERT_NE(whole.find(newest), std::string::npos);
  ASSERT_NE(whole.find(ids), std::string::npos);
  const std::size_t packed = packed_size();
  const std::size_t unchanged = pack_data(without_changes(whole)).value().size();
  const std::string one = "the changes of the oldest pair of snapshots, up to one taken at "
                          "2026-12-02T06:00:00Z";
  const std::string both = "the changes of the oldest 2 pairs of snapshots, up to one taken at "
                           "2026-12-04T06:00:00Z";
  const std::string no_ids =
      "the hardware and compatible ids of the hosts' devices, which the hosts filter finds "
      "hosts by";
  const std::string over = ". With them the page would be 0.0 MB, over its budget of 0.0 MB.";
  const struct {
    PageBudget budget;
    std::string left_out;  // empty: nothing
    bool oldest, newest, ids, details;
  } cases[] = {
      {{packed, whole.size()}, "", true, true, true, true},
      {{packed - 1, kNoBound}, one + over, false, true, true, true},
      {{kNoBound, whole.size() - 1},
       one + ". With them the page's data would be 0.0 MB once opened, over its budget of 0.0 MB.",
       false, true, true, true},
      {{unchanged, kNoBound}, both + over, false, false, true, true},
      {{unchanged - 1, kNoBound}, both + "; " + no_ids + over, false, false, false, true},
      {{100, kNoBound}, both + "; " + no_ids + "; the devices and snapshots of each host" + over,
       false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left_out);
    const std::string lean = data(c.budget);
    EXPECT_EQ(lean.find(oldest) != std::string::npos, c.oldest);
    EXPECT_EQ(lean.find(newest) != std::string::npos, c.newest);
    EXPECT_EQ(lean.find(ids) != std::string::npos, c.ids);
    EXPECT_EQ(lean.find(R"("host_details":null)") == std::string::npos, c.details);
    EXPECT_NE(lean.find(c.left_out.empty()
                            ? std::string(R"("details_left_out":null)")
                            : R"("details_left_out":"Left out, in this order: )" + c.left_out + '"'),
              std::string::npos)
        << lean;
  }
}

TEST_F(PageTest, DataOfAnEmptyIndex) {
  ASSERT_EQ(run({"index", index_, (root_ / "share").string()}).status, 0);
  EXPECT_EQ(
      data(),
      R"({"title":"qv fleet","newest":null,)"
      R"("totals":{"hosts":0,"snapshots":0,"drivers":0,"no_driver":0},"hosts":[],)"
      R"("drivers":[],"texts":[],"ids":[],"states":[],"host_details":[],"details_left_out":null,)"
      R"("days":[],"no_driver":[]})");
}

// The page is replaced whole or not at all, and the same index gives the same bytes.
TEST_F(PageTest, WritesThePageWholeOrLeavesTheOldOne) {
  make_fleet();
  const fs::path page = root_ / "fleet.html";
  const CommandOutcome first = run({"page", index_, page.string(), "--title", "Plant <3>"});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");
  const std::string bytes = file_bytes(page);
  EXPECT_EQ(first.out, "wrote " + page.string() + ": 4 hosts, 6 snapshots, 3 drivers, " +
                           std::to_string(bytes.size()) + " bytes\n");
  EXPECT_NE(bytes.find("<title>Plant &lt;3&gt;</title>"), std::string::npos);
  EXPECT_TRUE(data_of(bytes).starts_with(R"({"title":"Plant \u003c3\u003e","newest")"));
  EXPECT_EQ(run({"page", index_, page.string(), "--title", "Plant <3>"}).status, 0);
  EXPECT_EQ(file_bytes(page), bytes);

  // Each failure leaves what was there as it was, and no new file beside it.
  fs::create_directories(root_ / "folder.html");
  std::ofstream(root_ / "notes.txt") << "the old page";
  const fs::path missing = root_ / "missing" / "fleet.html";
  const std::string missing_db = (root_ / "missing.db").string();
  const std::string other_db = (root_ / "other.db").string();
  ASSERT_EQ(run({"index", other_db, (root_ / "share").string()}).status, 0);
  const std::string spelled = (root_ / "share" / ".." / "fleet.db").string();
  const struct {
    std::vector<std::string> arguments;
    std::string err;  // its start
  } cases[] = {
      {{"page", index_, (root_ / "folder.html").string()},
       "Couldn't write " + (root_ / "folder.html").string() + ": "},
      {{"page", index_, missing.string()}, "Couldn't write " + missing.string() + ": "},
      {{"page", missing_db, page.string()}, "Couldn't open the index " + missing_db + ": "},
      {{"page", index_, index_}, "Couldn't write " + index_ + ": that is the index itself.\n"},
      {{"page", index_, spelled}, "Couldn't write " + spelled + ": that is the index itself.\n"},
      {{"page", index_, index_ + "-wal"},
       "Couldn't write " + index_ + "-wal: that is the index itself.\n"},
      {{"page", index_, other_db},
       "Couldn't write " + other_db + ": that is an SQLite database.\n"},
      {{"page", index_, (root_ / "notes.txt").string()},
       "Couldn't write " + (root_ / "notes.txt").string() +
           ": that is not a page that qvfleet made.\n"},
  };
  const std::string index_bytes = file_bytes(index_);
  const std::string other_bytes = file_bytes(other_db);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    const CommandOutcome outcome = run(c.arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(outcome.err.starts_with(c.err)) << outcome.err;
    EXPECT_EQ(std::ranges::count(outcome.err, '\n'), 1) << outcome.err;
  }
  EXPECT_EQ(file_bytes(page), bytes);
  EXPECT_EQ(file_bytes(index_), index_bytes);
  EXPECT_EQ(file_bytes(other_db), other_bytes);
  EXPECT_EQ(file_bytes(root_ / "notes.txt"), "the old page");
  EXPECT_TRUE(fs::is_directory(root_ / "folder.html"));
  EXPECT_TRUE(fs::is_empty(root_ / "folder.html"));
  EXPECT_FALSE(fs::exists(root_ / "missing"));
  for (const auto& entry : fs::directory_iterator(root_)) {
    EXPECT_FALSE(entry.path().extension() == ".tmp") << entry.path();
  }
}

TEST_F(PageTest, TakesItsWordsAsTheOtherCommandsDo) {
  ASSERT_EQ(run({"index", index_, (root_ / "share").string()}).status, 0);
  const std::string page = (root_ / "fleet.html").string();
  const std::string usage = "Usage: qvfleet page FLEET.db OUT.html [--title TEXT]\n";
  const struct {
    std::vector<std::string> arguments;
    std::string err;
  } cases[] = {
      {{"page"}, usage},
      {{"page", index_}, usage},
      {{"page", index_, page, "more"}, usage},
      {{"page", index_, page, "--csv"}, usage},
      {{"page", index_, page, "--since", "2026-12-07"}, usage},
      {{"page", index_, page, "--title", "a", "--title", "b"}, usage},
      {{"page", index_, page, "--title"}, "The option --title needs a text.\n"},
      {{"page", index_, page, "--all"}, "The option --all is not one of qvfleet's.\n"},
      {{"hosts", index_, "--title", "a"},
       "Usage: qvfleet hosts FLEET.db [--seen-before DATE] [--csv]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    expect_outcome(run(c.arguments), {2, "", c.err});
  }
  EXPECT_FALSE(fs::exists(page));
  EXPECT_NE(
      run({"--help"})
          .out.find(
              "\n  page FLEET.db OUT.html [--title TEXT]         the fleet as one HTML page, to "
              "look at in a browser\n"),
      std::string::npos);
  // The title may come anywhere after the index, as --since may.
  const CommandOutcome titled = run({"page", index_, "--title", "T", page});
  EXPECT_EQ(titled.status, 0) << titled.err;
  EXPECT_EQ(titled.out, "wrote " + page + ": 0 hosts, 0 snapshots, 0 drivers, " +
                            std::to_string(fs::file_size(page)) + " bytes\n");
}

}  // namespace
}  // namespace qv

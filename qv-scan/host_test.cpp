#include "host.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "machine_test.h"

namespace qv {
namespace {

using Environment = std::map<std::u16string, std::u16string>;

class HostTest : public fake::MachineTest {};

TEST(VersionFromVerOutput, TakesTheFirstDottedWordThatStartsWithADigit) {
  struct Case {
    std::string output;
    std::string version;
  };
  const std::vector<Case> cases = {
      {"\r\nMicrosoft Windows [Version 10.0.19045.3803]\r\n", "10.0.19045.3803"},
      {"Microsoft Windows 6.1.7601\r\n", "6.1.7601"},
      {"v1.2.3 then 6.1.7601]] and 7.0.0", "6.1.7601"},
      {"Version 10.0 only", ""},
      {"a.b.c 1..", "1.."},
      {"4.5.6]", "4.5.6"},
      {"1.2.3\u00A09.9.9", "1.2.3"},            // no-break space separates
      {"x\u30002.0.1\v", "2.0.1"},              // ideographic space, vertical tab
      {"5.6.7\u200B", "5.6.7\u200B"},           // zero-width space is no White_Space
      {"Windows [Version 10.0.1.2] \xFF", ""},  // not UTF-8 anywhere
      {"\xC0\xAF 10.0.1.2", ""},
      {"", ""},
      {"]]]", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(version_from_ver_output(c.output), c.version) << c.output;
}

TEST_F(HostTest, StandInEnvironmentBehavesAsWindowsDoes) {
  m.environment = {{u"SET", u"abc"}, {u"EMPTY", u""}};
  WCHAR buffer[8] = {u'x', u'x', u'x', u'x'};
  SetLastError(7);
  EXPECT_EQ(GetEnvironmentVariableW(u"UNSET", buffer, 8), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ENVVAR_NOT_FOUND});
  SetLastError(7);
  EXPECT_EQ(GetEnvironmentVariableW(u"EMPTY", buffer, 8), 0u);
  EXPECT_EQ(GetLastError(), 7u);
  EXPECT_EQ(GetEnvironmentVariableW(u"SET", nullptr, 0), 4u);  // size with the NUL
  EXPECT_EQ(GetEnvironmentVariableW(u"SET", buffer, 3), 4u);
  EXPECT_EQ(GetEnvironmentVariableW(u"SET", buffer, 4), 3u);  // length without it
  EXPECT_EQ(std::u16string(buffer), u"abc");
}

TEST_F(HostTest, HostNameAndArchitectureFromTheEnvironment) {
  const std::u16string lone_surrogate(1, char16_t{0xD800});
  struct Case {
    const char* name;
    Environment environment;
    std::string host;
    std::string arch;
  };
  const std::vector<Case> cases = {
      {"nothing set", {}, "", ""},
      {"case kept for the host",
       {{u"COMPUTERNAME", u"MY-PC"}, {u"PROCESSOR_ARCHITECTURE", u"AMD64"}},
       "MY-PC",
       "amd64"},
      {"WOW64 variable first",
       {{u"PROCESSOR_ARCHITEW6432", u"AMD64"}, {u"PROCESSOR_ARCHITECTURE", u"x86"}},
       "",
       "amd64"},
      {"only the plain variable", {{u"PROCESSOR_ARCHITECTURE", u"ARM64"}}, "", "arm64"},
      {"empty WOW64 variable still wins",
       {{u"PROCESSOR_ARCHITEW6432", u""}, {u"PROCESSOR_ARCHITECTURE", u"x86"}},
       "",
       ""},
      {"unpaired surrogate counts as unset",
       {{u"COMPUTERNAME", u"PC" + lone_surrogate},
        {u"PROCESSOR_ARCHITEW6432", lone_surrogate},
        {u"PROCESSOR_ARCHITECTURE", u"IA64"}},
       "",
       "ia64"},
      {"only ASCII letters are lowered",
       {{u"COMPUTERNAME", u" \u00C4 "}, {u"PROCESSOR_ARCHITECTURE", u"\u00C4MD_64"}},
       " \xC3\x84 ",
       "\xC3\x84md_64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m.environment = c.environment;
    SetLastError(ERROR_ENVVAR_NOT_FOUND);  // stale codes must not make a set variable unset
    EXPECT_EQ(host_name(), c.host);
    EXPECT_EQ(architecture(), c.arch);
  }
}

TEST_F(HostTest, EnvironmentReadTellsUnsetFromEmptyAndFailsSilently) {
  m.environment = {{u"EMPTY", u""}, {u"SET", u"v"}};
  EXPECT_EQ(read_environment("EMPTY"), "");
  EXPECT_EQ(read_environment("UNSET"), std::nullopt);
  EXPECT_EQ(read_environment("SET"), "v");
  m.fail_call("GetEnvironmentVariableW", ERROR_GEN_FAILURE,
              m.count_calls("GetEnvironmentVariableW") + 2);
  EXPECT_EQ(read_environment("SET"), std::nullopt);  // the read after the probe failed
}

TEST_F(HostTest, ServerUnlessProductTypeIsWinNT) {
  const std::u16string path = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
  struct Case {
    std::optional<std::string> value;  // absent: no key at all
    bool server;
  };
  const std::vector<Case> cases = {
      {fake::sz(u"WinNT"), false},   {fake::sz(u"WINNT"), false},   {fake::sz(u"winnt"), false},
      {fake::sz(u"ServerNT"), true}, {fake::sz(u"LanmanNT"), true}, {fake::sz(u"WinNT "), true},
      {fake::raw(u"WinNT"), false},  {fake::sz(u""), false},        {std::nullopt, false},
  };
  for (const auto& c : cases) {
    m = fake::Machine{};
    if (c.value) m.registry[path].values[u"ProductType"] = *c.value;
    EXPECT_EQ(server_edition(), c.server) << (c.value ? *c.value : "no key");
  }
  m.registry[path] = {.open_status = ERROR_ACCESS_DENIED,
                      .values = {{u"ProductType", fake::sz(u"ServerNT")}}};
  EXPECT_FALSE(server_edition());
}

TEST_F(HostTest, ProductOptionsKeyIsClosedRightAfterTheRead) {
  m.registry[u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions"].values[u"ProductType"] =
      fake::sz(u"ServerNT");
  EXPECT_TRUE(server_edition());
  std::vector<std::string> names;
  for (const auto& call : m.calls) names.push_back(call.name);
  EXPECT_EQ(names, (std::vector<std::string>{"RegOpenKeyExW", "RegQueryValueExW",
                                             "RegQueryValueExW", "RegCloseKey"}));
}

TEST_F(HostTest, StartsTheInterpreterFromTheSystemDirectory) {
  struct Case {
    const char* name;
    std::optional<std::u16string> system_directory;
    std::optional<std::string> output;
    std::u16string application;  // empty: nothing started
    std::string os;
  };
  const std::vector<Case> cases = {
      {"usual", u"C:\\Windows\\system32", "\r\nMicrosoft Windows [Version 6.1.7601]\r\n",
       u"C:\\Windows\\system32\\cmd.exe", "6.1.7601"},
      {"trailing backslash", u"D:\\", "10.0.1.2", u"D:\\cmd.exe", "10.0.1.2"},
      {"no system directory", std::nullopt, "10.0.1.2", u"", ""},
      {"the child cannot start", u"C:\\W", std::nullopt, u"C:\\W\\cmd.exe", ""},
      {"output not UTF-8", u"C:\\W", "Version 10.0.1.2 \x80", u"C:\\W\\cmd.exe", ""},
      {"no version word", u"C:\\W", "Microsoft Windows", u"C:\\W\\cmd.exe", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m = fake::Machine{};
    m.system_directory = c.system_directory;
    m.child_output = c.output;
    EXPECT_EQ(os_version_text(), c.os);
    EXPECT_EQ(m.child_application, c.application);
    EXPECT_EQ(m.child_command_line, c.application.empty() ? u"" : u"cmd /d /c ver");
  }
}

}  // namespace
}  // namespace qv

#include "host.h"

#include <map>
#include <optional>
#include <string>

#include "machine_test.h"

namespace qv {
namespace {

class HostTest : public fake::MachineTest {};

TEST(VersionFromVerOutput, TakesTheFirstDottedWordThatStartsWithADigit) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"\r\nMicrosoft Windows [Version 10.0.19045.3803]\r\n", "10.0.19045.3803"},
      {"v1.2.3 then 6.1.7601]] and 7.0.0", "6.1.7601"},
      {"Version 10.0 only", ""},
      {"a.b.c 1..", "1.."},
      {"x\u30002.0.1\v", "2.0.1"},              // ideographic space, vertical tab
      {"Windows [Version 10.0.1.2] \xFF", ""},  // not UTF-8 anywhere
      {"", ""},
  };
  for (const auto& [output, version] : cases) {
    EXPECT_EQ(version_from_ver_output(output), version) << output;
  }
}

// A zero result means "unset" only with ERROR_ENVVAR_NOT_FOUND; the host code
// relies on the stand-in doing as Windows does.
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
  const std::u16string lone(1, char16_t{0xD800});
  const std::u16string pc = u"COMPUTERNAME", w64 = u"PROCESSOR_ARCHITEW6432",
                       arch = u"PROCESSOR_ARCHITECTURE";
  const struct {
    const char* name;
    std::map<std::u16string, std::u16string> environment;
    std::string host;
    std::string arch;
  } cases[] = {
      {"nothing set", {}, "", ""},
      {"case kept for the host", {{pc, u"MY-PC"}, {arch, u"AMD64"}}, "MY-PC", "amd64"},
      {"WOW64 variable first", {{w64, u"AMD64"}, {arch, u"x86"}}, "", "amd64"},
      {"only the plain variable", {{arch, u"ARM64"}}, "", "arm64"},
      {"empty WOW64 variable still wins", {{w64, u""}, {arch, u"x86"}}, "", ""},
      {"lone surrogate: unset", {{pc, u"PC" + lone}, {w64, lone}, {arch, u"IA64"}}, "", "ia64"},
      {"only ASCII lowered", {{pc, u" \u00C4 "}, {arch, u"\u00C4MD64"}}, " \u00C4 ", "\u00C4md64"},
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
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {fake::sz(u"WinNT"), false}, {fake::sz(u"WINNT"), false},  {fake::sz(u"ServerNT"), true},
      {fake::sz(u"WinNT "), true}, {fake::raw(u"WinNT"), false}, {fake::sz(u""), false},
      {std::nullopt, false},  // no key at all
  };
  for (const auto& [value, server] : cases) {
    m = fake::Machine{};
    if (value) m.registry[path].values[u"ProductType"] = *value;
    EXPECT_EQ(server_edition(), server) << (value ? *value : "no key");
  }
  m.registry[path] = {.open_status = ERROR_ACCESS_DENIED,
                      .values = {{u"ProductType", fake::sz(u"ServerNT")}}};
  EXPECT_FALSE(server_edition());
}

TEST_F(HostTest, StartsTheInterpreterFromTheSystemDirectory) {
  const struct {
    const char* name;
    std::optional<std::u16string> system_directory;
    std::optional<std::string> output;
    std::u16string application;  // empty: nothing started
    std::string os;
  } cases[] = {
      {"usual", u"C:\\Windows\\system32", "\r\nMicrosoft Windows [Version 6.1.7601]\r\n",
       u"C:\\Windows\\system32\\cmd.exe", "6.1.7601"},
      {"trailing backslash", u"D:\\", "10.0.1.2", u"D:\\cmd.exe", "10.0.1.2"},
      {"no system directory", std::nullopt, "10.0.1.2", u"", ""},
      {"the child cannot start", u"C:\\W", std::nullopt, u"C:\\W\\cmd.exe", ""},
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

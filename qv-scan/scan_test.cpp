#include "scan.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "machine_test.h"

namespace qv {
namespace {

using fake::multi_sz;
using fake::sz;

const std::u16string kClass = u"SYSTEM\\CurrentControlSet\\Control\\Class\\";

// Five devices of which three are listed (one has no instance id, one is absent)
// and host facts from every source.
fake::Machine sample_machine() {
  fake::Machine m;
  m.environment = {{u"COMPUTERNAME", u"BUILD-PC"},
                   {u"PROCESSOR_ARCHITEW6432", u"AMD64"},
                   {u"PROCESSOR_ARCHITECTURE", u"x86"}};
  m.child_output = "\r\nMicrosoft Windows [Version 10.0.19045.3803]\r\n";
  m.registry[u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions"].values = {
      {u"ProductType", sz(u"ServerNT")}};
  m.devices = {{u"PCI\\BRIDGE",
                {{SPDRP_HARDWAREID, multi_sz({u"PCI\\B"})},
                 {SPDRP_COMPATIBLEIDS, multi_sz({u"PCI\\CC_0600", u"PCI"})},
                 {SPDRP_FRIENDLYNAME, sz(u"Bridge")},
                 {SPDRP_DEVICEDESC, sz(u"PCI bridge")},
                 {SPDRP_CLASSGUID, sz(u"{97d}")},
                 {SPDRP_DRIVER, sz(u"{97d}\\0001")}}},
               {std::nullopt, {{SPDRP_HARDWAREID, multi_sz({u"ROOT\\HIDDEN"})}}},
               {u"ROOT\\DISK",
                {{SPDRP_HARDWAREID, multi_sz({u"GenDisk"})},
                 {SPDRP_DEVICEDESC, sz(u"Disk drive")},
                 {SPDRP_DRIVER, sz(u"{967}\\0000")}}},
               {u"USB\\OLD", {{SPDRP_HARDWAREID, multi_sz({u"USB\\OLD"})}}, false},
               {u"ACPI\\KBD",
                {{SPDRP_COMPATIBLEIDS, multi_sz({u"PNP0303"})},
                 {SPDRP_FRIENDLYNAME, sz(u"Keyboard")},
                 {SPDRP_DRIVER, sz(u"{96b}\\0000")}}}};
  m.registry[kClass + u"{97d}\\0001"].values = {
      {u"DriverDate", sz(u"6-21-2006")},    {u"DriverVersion", sz(u"10.0.19041.1")},
      {u"DriverDesc", sz(u"Bridge")},       {u"ProviderName", sz(u"MS")},
      {u"InfPath", sz(u"m.inf")},           {u"InfSectionExt", sz(u".NT")},
      {u"MatchingDeviceId", sz(u"pci\\cc")}};
  m.registry[kClass + u"{967}\\0000"].values = {{u"DriverDesc", sz(u"Disk drive")}};
  m.registry[kClass + u"{96b}\\0000"].values = {{u"DriverVersion", sz(u"1.2")}};
  return m;
}

ScanResult sample_result() {
  const DriverInfo bridge{
      {DriverDate{2006, 6, 21}, {{10, 0, 19041, 1}}}, "Bridge", "MS", "m.inf", ".NT", "pci\\cc"};
  const DriverInfo keyboard{{std::nullopt, {{1, 2, 0, 0}}}};
  std::vector<DeviceRecord> devices = {
      {"PCI\\BRIDGE", "Bridge", "{97d}", {"PCI\\B"}, {"PCI\\CC_0600", "PCI"}, bridge},
      {"ROOT\\DISK", "Disk drive", std::nullopt, {"GenDisk"}, {}, std::nullopt},
      {"ACPI\\KBD", "Keyboard", std::nullopt, {}, {"PNP0303"}, keyboard}};
  return {"BUILD-PC", "10.0.19045.3803", "amd64", true, devices};
}

class ScanTest : public fake::MachineTest {};

TEST_F(ScanTest, GathersHostFactsInOrderThenTheDevices) {
  m = sample_machine();
  EXPECT_EQ(scan(), sample_result());
  std::vector<std::string> host_steps;
  for (const auto& call : m.calls) {
    if (call.name == "SetupDiGetClassDevsW") break;
    host_steps.push_back(call.name + " " + std::string(call.key.begin(), call.key.end()));
  }
  const std::vector<std::string> expected = {
      "GetEnvironmentVariableW COMPUTERNAME",
      "GetEnvironmentVariableW COMPUTERNAME",
      "GetSystemDirectoryW ",
      "GetSystemDirectoryW ",
      "CreateProcessW C:\\Windows\\system32\\cmd.exe",
      "GetEnvironmentVariableW PROCESSOR_ARCHITEW6432",
      "GetEnvironmentVariableW PROCESSOR_ARCHITEW6432",
      "RegOpenKeyExW SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
      "RegQueryValueExW SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
      "RegQueryValueExW SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
      "RegCloseKey SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
  };
  EXPECT_EQ(host_steps, expected);
}

// What a scan gives when `call` fails with `code`: the error it stands for, or
// else the same result as a clean scan of a machine without that call's source.
std::expected<ScanResult, ScanError> outcome_without(fake::Machine machine, const fake::Call& call,
                                                     DWORD code) {
  if (call.name == "SetupDiGetClassDevsW") {
    return std::unexpected(scan_error_from_code("The list of devices couldn't be read.", code));
  }
  if (call.name == "SetupDiEnumDeviceInfo") {
    return std::unexpected(scan_error_from_code("The device list ended unexpectedly.", code));
  }
  if (call.name == "GetEnvironmentVariableW") {
    machine.environment.erase(call.key);
  } else if (call.name == "GetSystemDirectoryW") {
    machine.system_directory.reset();
  } else if (call.name == "CreateProcessW") {
    machine.child_output.reset();
  } else if (call.name == "RegOpenKeyExW") {
    machine.registry.erase(call.key);
  } else if (call.name == "RegQueryValueExW") {
    machine.registry[call.key].values.erase(call.value);
  } else if (call.name == "SetupDiGetDeviceInstanceIdW") {
    machine.devices.at(call.device.value()).instance_id.reset();
  } else if (call.name == "SetupDiGetDeviceRegistryPropertyW") {
    machine.devices.at(call.device.value()).properties.erase(call.property.value());
  } else if (call.name != "RegCloseKey" && call.name != "SetupDiDestroyDeviceInfoList") {
    ADD_FAILURE() << "no rule for " << call.name;
  }
  fake::machine() = std::move(machine);
  return scan();
}

TEST_F(ScanTest, FailingAnyOnePlatformCallGivesAFallbackOrTheError) {
  const fake::Machine base = sample_machine();
  m = base;
  ASSERT_EQ(scan(), sample_result());
  const std::vector<fake::Call> clean_calls = m.calls;
  for (std::size_t number = 1; number <= clean_calls.size(); ++number) {
    const fake::Call& call = clean_calls[number - 1];
    SCOPED_TRACE("call " + std::to_string(number) + ": " + call.name);
    const DWORD code = number % 2 == 0 ? ERROR_GEN_FAILURE : ERROR_ACCESS_DENIED;
    const auto expected = outcome_without(base, call, code);
    m = base;
    m.fail_call_number(number, code);
    EXPECT_EQ(scan(), expected);
    EXPECT_EQ(m.open_handles(), 0u);
    EXPECT_EQ(m.handle_misuse, 0u);
  }
  RecordProperty("swept_calls", static_cast<int>(clean_calls.size()));
  std::cout << "[   SWEPT  ] " << clean_calls.size() << " platform calls, each failed once\n";
}

}  // namespace
}  // namespace qv

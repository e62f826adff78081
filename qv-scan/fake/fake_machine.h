// The in-memory machine behind the stand-in Windows API. Tests fill it with
// devices, registry keys, environment variables and the interpreter's output,
// make chosen calls fail, and then look at the calls made and the handles left
// open:
//   auto& m = fake::machine();
//   m.devices.push_back({.instance_id = u"PCI\\X",
//                        .properties = {{SPDRP_HARDWAREID, multi_sz({u"PCI\\X"})}}});
//   m.registry[u"SYSTEM\\...\\Class\\{guid}\\0000"].values[u"DriverVersion"] = sz(u"1.0");
//   m.environment[u"COMPUTERNAME"] = u"PC";
//   m.child_output = "Microsoft Windows [Version 10.0.19045.3803]\r\n";
//   m.fail_call("RegOpenKeyExW", ERROR_ACCESS_DENIED);  // every call of that name
//   m.fail_call_number(7, ERROR_GEN_FAILURE);           // the 7th counted call
//   m.files[u"C:\\work\\r.txt"] = {.bytes = "old", .attributes = FILE_ATTRIBUTE_HIDDEN};
//   m.files[u"C:\\work\\s.txt"] = {.link = u"D:\\r.txt"};      // a symbolic link
//   m.disk_room = 100;                                  // the 101st byte fails
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "win_api.h"

namespace qv::fake {

// UTF-16 units as the little-endian bytes Windows stores.
[[nodiscard]] std::string raw(std::u16string_view units);
// A REG_SZ: the text and its terminating zero unit.
[[nodiscard]] std::string sz(std::u16string_view text);
// A REG_MULTI_SZ: each text with its zero unit, then the closing zero unit.
[[nodiscard]] std::string multi_sz(const std::vector<std::u16string>& texts);

struct Device {
  // Absent: the instance id query reports a required size of 0.
  std::optional<std::u16string> instance_id{};
  std::map<DWORD, std::string> properties{};  // property code to raw bytes
  bool present = true;
};

struct Key {
  LONG open_status = ERROR_SUCCESS;                // e.g. ERROR_ACCESS_DENIED
  std::map<std::u16string, std::string> values{};  // value name to raw bytes
};

// A file of the machine's file system: a file on disk, or a device or pipe that
// keeps what is written to it, or a symbolic link.
struct File {
  std::string bytes{};
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  DWORD type = FILE_TYPE_DISK;
  std::u16string link{};  // a symbolic link: the full path it names, there or not
  DWORD index = 0;        // the file's number on its volume; the machine numbers what it makes
};

struct Folder {
  bool can_create = true;  // false: files in it may be written but none made
  bool can_remove = true;  // false: files in it may be made, but none renamed or removed
};

// One counted platform call and what it asked for.
struct Call {
  std::string name{};
  std::u16string key{};                 // registry key path or environment variable name
  std::u16string value{};               // registry value name
  std::optional<std::size_t> device{};  // position in Machine::devices
  std::optional<DWORD> property{};
  bool buffer = false;  // whether a data buffer was passed
  DWORD size = 0;       // the buffer size passed in, in bytes or units as the call counts
};

struct Fault {
  std::size_t call_number = 0;  // 1-based over all counted calls; 0: by name
  std::string name{};           // with call_number 0: every call of this name...
  std::size_t occurrence = 0;   // ...or only its Nth (1-based) when nonzero
  DWORD code = 0;
};

struct Machine {
  // What the machine holds.
  std::vector<Device> devices;
  std::unordered_map<std::u16string, Key> registry;  // paths below HKEY_LOCAL_MACHINE
  std::map<std::u16string, std::u16string> environment;
  std::optional<std::u16string> system_directory = u"C:\\Windows\\system32";
  std::optional<std::string> child_output;  // absent: the child cannot start
  // The file system: files and folders by full path ("C:\\work\\r.txt"), devices
  // and pipes by the name they are opened with ("NUL"). A relative path is taken
  // from current_directory; a path has no other spellings.
  std::map<std::u16string, File> files;
  std::map<std::u16string, Folder> folders = {{u"C:\\work", {}}};
  std::u16string current_directory = u"C:\\work";
  // What the disk still takes: a write past it writes what fits and fails with
  // ERROR_DISK_FULL, as a full disk, a quota or a file-size limit does.
  std::optional<std::size_t> disk_room;
  // What BCryptGenRandom hands out next: this byte, then each one up from it.
  std::uint8_t next_random = 0;

  // Failures to inject. A failing call returns the code (registry) or sets it
  // as the last error (the others); a failing close still releases its handle.
  // The child process counts as one call, "CreateProcessW".
  std::vector<Fault> faults;
  void fail_call_number(std::size_t number, DWORD code);
  void fail_call(std::string name, DWORD code, std::size_t occurrence = 0);
  // Runs as each counted call begins, before its fault: another program's work
  // between two of the code's calls.
  std::function<void(const Call&)> on_call;

  // What the code under test did. GetLastError and SetLastError are not counted.
  // A benchmark turns the record off, and with it every fault, so that the
  // stand-in costs as little as it can.
  bool record_calls = true;
  std::vector<Call> calls;
  std::size_t handle_misuse = 0;  // unknown, closed or wrong handles passed in
  std::u16string child_application;
  std::u16string child_command_line;
  [[nodiscard]] std::size_t open_handles() const;
  [[nodiscard]] std::size_t count_calls(std::string_view name) const;

  // Bookkeeping of the stand-in itself.
  std::map<std::uintptr_t, std::u16string> open_keys;
  std::map<std::uintptr_t, std::vector<std::size_t>> open_sets;  // members
  struct OpenFile {
    std::u16string path;
    std::size_t position = 0;
    bool remove_on_close = false;
  };
  std::map<std::uintptr_t, OpenFile> open_files;
  std::uintptr_t next_handle = 0x1000;
  DWORD next_index = 0x100;

  // Records the call; returns the code to fail it with, if a fault matches.
  std::optional<DWORD> begin_call(Call call);
};

// The one machine that the stand-in API works on; tests reset it with `= {}`.
Machine& machine();

}  // namespace qv::fake

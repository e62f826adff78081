// The child process with both output streams on pipes. Only the child's three
// standard handles are inherited: they are listed explicitly, and our own pipe
// ends are never inheritable.
#include <cstddef>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "kernel_handle.h"
#include "win_api.h"

namespace qv {
namespace {

using Handle = KernelHandle;

struct Pipe {
  Handle read;   // ours
  Handle write;  // the child's
};

std::optional<Pipe> make_pipe() {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, nullptr, 0)) return std::nullopt;
  Pipe pipe{Handle(read), Handle(write)};
  if (!SetHandleInformation(write, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return std::nullopt;
  return pipe;
}

// Owns a one-entry attribute list naming the handles the child may inherit.
class InheritList {
 public:
  InheritList() = default;
  InheritList(const InheritList&) = delete;
  InheritList& operator=(const InheritList&) = delete;
  ~InheritList() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }

  // `handles` must outlive the list.
  bool init(std::vector<HANDLE>& handles) {
    SIZE_T size = 0;
    (void)InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return false;
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    list_ = list;
    return UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                     handles.size() * sizeof(HANDLE), nullptr, nullptr) != FALSE;
  }
  [[nodiscard]] LPPROC_THREAD_ATTRIBUTE_LIST get() const noexcept { return list_; }

 private:
  std::vector<std::byte> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Reads until the child's end closes; false when a read fails otherwise. The
// pipe is closed on return either way, so a child still writing gets an error
// instead of blocking on a full pipe.
bool drain(Handle pipe, std::string* sink) {
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe.get(), chunk, sizeof chunk, &got, nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE;
    }
    if (sink != nullptr) sink->append(chunk, got);
  }
}

// Starts the child with the given standard handles; the process handle or an
// invalid one.
Handle start(std::u16string_view application, std::u16string_view command_line, HANDLE input,
             HANDLE output, HANDLE error) {
  std::vector<HANDLE> inherited{input, output, error};
  InheritList inherit;
  if (!inherit.init(inherited)) return Handle();
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = error;
  startup.lpAttributeList = inherit.get();
  const std::u16string app(application);
  std::u16string line(command_line);  // CreateProcessW may write to it
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(as_wchar(app.c_str()), as_wchar(line.data()), nullptr, nullptr, TRUE,
                      EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                      &info)) {
    return Handle();
  }
  CloseHandle(info.hThread);
  return Handle(info.hProcess);
}

}  // namespace

std::optional<std::string> capture_output(std::u16string_view application,
                                          std::u16string_view command_line) {
  auto out = make_pipe();
  auto err = make_pipe();
  if (!out || !err) return std::nullopt;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input.valid()) return std::nullopt;
  const Handle process =
      start(application, command_line, input.get(), out->write.get(), err->write.get());
  // The child has its own copies now; ours must go so that the reads see the end.
  input.reset();
  out->write.reset();
  err->write.reset();
  if (!process.valid()) return std::nullopt;

  std::string output;
  bool complete = false;
  {
    std::thread errors;
    try {
      errors = std::thread(drain, std::move(err->read), nullptr);
    } catch (const std::system_error&) {
      err->read.reset();  // no reader: the child's writes to it fail instead
    }
    complete = drain(std::move(out->read), &output);
    if (errors.joinable()) errors.join();
  }
  WaitForSingleObject(process.get(), INFINITE);
  if (!complete) return std::nullopt;
  return output;
}

}  // namespace qv

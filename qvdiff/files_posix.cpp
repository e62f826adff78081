#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files.h"

namespace qv {
namespace {

std::unexpected<std::string> system_error(int code) {
  return std::unexpected(std::string(std::strerror(code)) + ". (os error " + std::to_string(code) +
                         ")");
}

// Closes the descriptor exactly once, keeping errno for the caller.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) {
      const int saved = errno;
      ::close(fd_);
      errno = saved;
    }
  }
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::expected<std::string, std::string> read_whole_file(const NativePath& path) {
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return system_error(errno);
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return system_error(errno);
  // One byte over the size, so that the read that finds the end needs no growth.
  std::string bytes(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 0) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);  // the file grew
    const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return system_error(errno);
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

}  // namespace qv

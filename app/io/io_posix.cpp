// The standard streams and files on a POSIX system, where archived reports are
// compared and indexed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "chunks.h"
#include "files.h"
#include "output.h"

namespace qv {
namespace {

// One call never asks for more, whatever the system allows.
constexpr std::size_t kChunk = std::size_t{1} << 30;

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

std::unexpected<std::string> last_error() { return std::unexpected(system_error_text(errno)); }

}  // namespace

std::string system_error_text(std::uint32_t code) {
  return std::string(std::strerror(static_cast<int>(code))) + ". (os error " +
         std::to_string(code) + ")";
}

std::expected<std::string, std::string> read_whole_file(const NativePath& path,
                                                        std::uint64_t limit) {
  // Not blocking: opening a pipe would otherwise wait for a writer before the
  // check below could refuse it.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) return last_error();
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return last_error();
  if (!S_ISREG(status.st_mode)) return std::unexpected(not_a_file_text());
  const auto size = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
  return read_all(size, limit, [&](char* room, std::size_t room_size) {
    for (;;) {
      const ssize_t got = ::read(file.get(), room, std::min(room_size, kChunk));
      if (got >= 0) return std::expected<std::size_t, std::string>(static_cast<std::size_t>(got));
      if (errno != EINTR) return std::expected<std::size_t, std::string>(last_error());
    }
  });
}

StandardStreamSink::StandardStreamSink(Stream stream)
    : descriptor_(stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO) {
  // A process started with the descriptor closed has no such stream.
  if (::fcntl(descriptor_, F_GETFD) < 0) descriptor_ = -1;
}

bool StandardStreamSink::is_terminal() const { return descriptor_ >= 0 && ::isatty(descriptor_) == 1; }

WriteOutcome StandardStreamSink::write(std::string_view bytes) {
  if (descriptor_ < 0) return {.kind = WriteOutcome::Kind::absent};
  const auto written =
      write_in_chunks<char>(bytes, kChunk, EIO, [&](std::string_view piece) -> ChunkWritten {
        for (;;) {
          const ssize_t taken = ::write(descriptor_, piece.data(), piece.size());
          if (taken >= 0) return static_cast<std::size_t>(taken);
          if (errno != EINTR) return std::unexpected(static_cast<std::uint32_t>(errno));
        }
      });
  if (written) return {};
  const std::uint32_t code = written.error();
  // SIGPIPE is ignored by the programs, so a reader that has left shows as EPIPE.
  if (code == EPIPE) return {.kind = WriteOutcome::Kind::reader_left, .code = code};
  return {.kind = WriteOutcome::Kind::failed, .code = code, .text = system_error_text(code)};
}

}  // namespace qv

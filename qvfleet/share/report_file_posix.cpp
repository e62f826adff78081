// The files of a share on a POSIX system: a file is its device and inode.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "files.h"
#include "report_file.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string last_error() { return system_error_text(static_cast<std::uint32_t>(errno)); }

FileFacts facts_of(const struct stat& status) {
  char id[40];
  std::snprintf(id, sizeof id, "%llx:%llx", static_cast<unsigned long long>(status.st_dev),
                static_cast<unsigned long long>(status.st_ino));
  return {.file_id = id,
          .size = static_cast<std::int64_t>(status.st_size),
          .mtime_ns = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                      status.st_mtim.tv_nsec};
}

FileLook::Kind kind_of(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return FileLook::Kind::file;
  if (S_ISDIR(status.st_mode)) return FileLook::Kind::folder;
  return FileLook::Kind::other;
}

class PosixFile final : public OpenFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;
  ~PosixFile() override { ::close(fd_); }

  std::expected<std::size_t, std::string> read(char* room, std::size_t room_size) override {
    for (;;) {
      const ssize_t got = ::read(fd_, room, std::min<std::size_t>(room_size, std::size_t{1} << 30));
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) return std::unexpected(last_error());
    }
  }
  std::expected<FileFacts, std::string> facts() override {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return std::unexpected(last_error());
    return facts_of(status);
  }
  std::expected<void, std::string> rewind() override {
    if (::lseek(fd_, 0, SEEK_SET) != 0) return std::unexpected(last_error());
    return {};
  }

 private:
  int fd_;
};

}  // namespace

std::expected<FileLook, std::string> look_up(const fs::path& path, bool resolved) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return std::unexpected(errno == ENOENT ? missing_text() : last_error());
  }
  const bool link = S_ISLNK(status.st_mode);
  if (link && ::stat(path.c_str(), &status) != 0) {
    return std::unexpected(errno == ENOENT ? dangling_link_text() : last_error());
  }
  FileLook look{.kind = kind_of(status), .path = utf8_path(path), .facts = facts_of(status)};
  if (link || !resolved) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return std::unexpected(last_error());
    look.path = real;
    std::free(real);
  }
  return look;
}

std::expected<std::vector<fs::path>, std::string> folder_entries(const fs::path& folder) {
  DIR* const walk = ::opendir(folder.c_str());
  if (walk == nullptr) return std::unexpected(last_error());
  std::vector<fs::path> entries;
  errno = 0;
  while (const dirent* entry = ::readdir(walk)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") entries.push_back(folder / name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(walk);
  if (error != 0) return std::unexpected(system_error_text(static_cast<std::uint32_t>(error)));
  return entries;
}

std::expected<std::unique_ptr<OpenFile>, std::string> open_file(const std::string& utf8_path) {
  // Not blocking: opening a pipe would otherwise wait for a writer before the
  // check below could refuse it.
  const int fd = ::open(utf8_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::unexpected(errno == ENOENT ? missing_text() : last_error());
  auto file = std::make_unique<PosixFile>(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::unexpected(last_error());
  if (!S_ISREG(status.st_mode)) return std::unexpected(not_a_file_text());
  return file;
}

void read_in_the_background() {
  // Linux keeps a nice value for each thread; a step relative to the process's
  // own, which a caller may have lowered already. It is only a hint: a failure
  // changes nothing else.
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  if (errno == 0) {
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), std::min(now + 5, 19));
  }
}

}  // namespace qv

// Preloaded into a program by a test, makes every flush to disk fail as a disk
// that loses its cache does (EIO), so that the test sees what a user sees then.
#include <cerrno>

extern "C" int fsync(int) {
  errno = EIO;
  return -1;
}

extern "C" int fdatasync(int) {
  errno = EIO;
  return -1;
}

// SHA-256 by Windows' CNG (bcrypt.dll, in every Windows since Vista). The
// algorithm provider is opened once for the process; a hash object is made for
// each digest.
#include <windows.h>
// bcrypt.h needs windows.h first.
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sha256.h"

namespace qv {
namespace {

[[noreturn]] void out_of_memory() {
  std::fputs("qvfleet: out of memory while hashing\n", stderr);
  std::abort();
}

bool succeeded(NTSTATUS status) { return status >= 0; }

BCRYPT_ALG_HANDLE provider() {
  static const BCRYPT_ALG_HANDLE handle = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      out_of_memory();
    }
    return opened;
  }();
  return handle;
}

}  // namespace

Sha256Digest sha256(std::string_view bytes) {
  Sha256Digest out;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!succeeded(BCryptCreateHash(provider(), &hash, nullptr, 0, nullptr, 0, 0))) out_of_memory();
  // One call takes at most 4 GiB.
  bool ok = true;
  for (std::string_view rest = bytes; ok && !rest.empty();) {
    const std::size_t piece = std::min<std::size_t>(rest.size(), std::size_t{1} << 30);
    auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data()));
    ok = succeeded(BCryptHashData(hash, data, static_cast<ULONG>(piece), 0));
    rest.remove_prefix(piece);
  }
  ok = ok && succeeded(BCryptFinishHash(hash, out.data(), static_cast<ULONG>(out.size()), 0));
  BCryptDestroyHash(hash);
  if (!ok) out_of_memory();
  return out;
}

}  // namespace qv

// SHA-256 by OpenSSL's libcrypto. The digest and a context are fetched once per
// thread: fetching them for each of a few hundred thousand short sections would
// cost more than hashing them.
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>

#include "sha256.h"

namespace qv {
namespace {

[[noreturn]] void out_of_memory() {
  std::fputs("qvfleet: out of memory while hashing\n", stderr);
  std::abort();
}

class Hasher {
 public:
  Hasher() : digest_(EVP_MD_fetch(nullptr, "SHA256", nullptr)), context_(EVP_MD_CTX_new()) {
    if (digest_ == nullptr || context_ == nullptr) out_of_memory();
  }
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;
  ~Hasher() {
    EVP_MD_CTX_free(context_);
    EVP_MD_free(digest_);
  }

  Sha256Digest hash(std::string_view bytes) {
    Sha256Digest out;
    unsigned int size = 0;
    if (EVP_DigestInit_ex2(context_, digest_, nullptr) != 1 ||
        EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context_, out.data(), &size) != 1 || size != out.size()) {
      out_of_memory();
    }
    return out;
  }

 private:
  EVP_MD* digest_;
  EVP_MD_CTX* context_;
};

}  // namespace

Sha256Digest sha256(std::string_view bytes) {
  thread_local Hasher hasher;
  return hasher.hash(bytes);
}

}  // namespace qv

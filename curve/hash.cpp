#include "hash.hpp"

#include <openssl/evp.h>

#include <cstdlib>

namespace vemo::curve {

namespace {
template <std::size_t N>
std::array<unsigned char, N> digest(const EVP_MD* md, const unsigned char* data, std::size_t n) {
  std::array<unsigned char, N> out{};
  unsigned int len = 0;
  // EVP_Digest fails only on allocation failure inside OpenSSL; there is no
  // meaningful fallback for a hash, so that ends the process.
  if (EVP_Digest(data, n, out.data(), &len, md, nullptr) != 1 || len != N) std::abort();
  return out;
}
// The digest's implementation, fetched from the default provider once:
// EVP_sha256() and EVP_sha512() name the algorithm only, and every
// EVP_Digest call with them looks the implementation up again (a good part
// of the cost of hashing a short transcript). Where the fetch fails, the
// named form is used as before. Thread-safe (static initialisation); the
// fetched objects live as long as the process.
const EVP_MD* fetched(const char* name, const EVP_MD* named) {
  const EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  return md ? md : named;
}
}  // namespace

std::array<unsigned char, 32> sha256(const unsigned char* data, std::size_t n) {
  static const EVP_MD* const md = fetched("SHA256", EVP_sha256());
  return digest<32>(md, data, n);
}
std::array<unsigned char, 64> sha512(const unsigned char* data, std::size_t n) {
  static const EVP_MD* const md = fetched("SHA512", EVP_sha512());
  return digest<64>(md, data, n);
}

}  // namespace vemo::curve

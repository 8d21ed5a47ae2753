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
}  // namespace

std::array<unsigned char, 32> sha256(const unsigned char* data, std::size_t n) {
  return digest<32>(EVP_sha256(), data, n);
}
std::array<unsigned char, 64> sha512(const unsigned char* data, std::size_t n) {
  return digest<64>(EVP_sha512(), data, n);
}

}  // namespace vemo::curve

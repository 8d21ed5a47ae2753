// SHA-256 and SHA-512 over byte strings (OpenSSL's libcrypto).
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace vemo::curve {

enum class Digest { Sha256, Sha512 };

std::array<unsigned char, 32> sha256(const unsigned char* data, std::size_t n);
std::array<unsigned char, 64> sha512(const unsigned char* data, std::size_t n);
inline std::array<unsigned char, 32> sha256(const std::vector<unsigned char>& v) { return sha256(v.data(), v.size()); }
inline std::array<unsigned char, 64> sha512(const std::vector<unsigned char>& v) { return sha512(v.data(), v.size()); }

}  // namespace vemo::curve

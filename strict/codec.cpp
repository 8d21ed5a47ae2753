#include "codec.hpp"

#include <algorithm>

namespace vemo::strict {

using curve::Point;
using curve::Scalar;

namespace {

// Big-endian comparison of 32 bytes against a modulus's bytes: public data.
bool below(const unsigned char* b, const std::array<unsigned char, 32>& m) {
  return std::lexicographical_compare(b, b + 32, m.begin(), m.end());
}

std::array<unsigned char, 32> be_of(const curve::Limbs& l) {
  std::array<unsigned char, 32> out{};
  curve::limbs::to_be(l, out.data());
  return out;
}

std::string sized(std::string_view what, std::size_t want, std::size_t got) {
  return std::string(what) + ": expected " + std::to_string(want) + " bytes, got " + std::to_string(got);
}

}  // namespace

std::array<unsigned char, kPointBytes> encode_point(const Point& p) { return p.serialize_compressed(); }
std::array<unsigned char, kScalarBytes> encode_scalar(const Scalar& s) { return s.serialize(); }

Expected<Point> decode_point_vartime(std::string_view what, const unsigned char* b, std::size_t n,
                                     Identity identity) {
  static const std::array<unsigned char, 32> p_bytes = be_of(curve::FpParams::MOD);
  if (n != kPointBytes) return error(sized(what, kPointBytes, n));
  const bool larger = b[0] & 0x80, infinity = b[0] & 0x40;
  if (larger && infinity) return error(std::string(what) + ": both flag bits set");
  if (infinity) {
    if (b[0] != 0x40 || std::any_of(b + 1, b + n, [](unsigned char c) { return c != 0; }))
      return error(std::string(what) + ": the identity in a non-canonical form");
    if (identity == Identity::refused) return error(std::string(what) + ": the identity is not allowed here");
    return Point::zero();
  }
  unsigned char x[32];
  std::copy(b, b + 32, x);
  x[0] &= 0x3f;
  if (!below(x, p_bytes)) return error(std::string(what) + ": x coordinate not below p");
  auto pt = Point::deserialize(b, n);
  if (!pt.ok()) return error(std::string(what) + ": not a point of the curve");
  return pt.value();
}

Expected<Scalar> decode_scalar_vartime(std::string_view what, const unsigned char* b, std::size_t n) {
  static const std::array<unsigned char, 32> r_bytes = be_of(curve::FrParams::MOD);
  if (n != kScalarBytes) return error(sized(what, kScalarBytes, n));
  if (!below(b, r_bytes)) return error(std::string(what) + ": not below the group order");
  return Scalar::deserialize(b, n).value();
}

Expected<Point> checked_point(std::string_view what, const Point& p, Identity identity) {
  if (identity == Identity::refused && p.is_zero()) return error(std::string(what) + ": the identity is not allowed here");
  return p;
}

Expected<bool> ProofReader::expect_length(std::size_t n) const {
  if (bytes_.size() != n)
    return error(kind_ + " proof: expected " + std::to_string(n) + " bytes, got " + std::to_string(bytes_.size()));
  return true;
}

Expected<Point> ProofReader::point(std::string_view what) {
  if (bytes_.size() - at_ < kPointBytes) return error(kind_ + " proof: " + std::string(what) + ": truncated");
  auto p = decode_point_vartime(kind_ + " proof: " + std::string(what),
                                reinterpret_cast<const unsigned char*>(bytes_.data()) + at_, kPointBytes,
                                Identity::refused);
  at_ += kPointBytes;
  return p;
}

Expected<Scalar> ProofReader::scalar(std::string_view what) {
  if (bytes_.size() - at_ < kScalarBytes) return error(kind_ + " proof: " + std::string(what) + ": truncated");
  auto s = decode_scalar_vartime(kind_ + " proof: " + std::string(what),
                                 reinterpret_cast<const unsigned char*>(bytes_.data()) + at_, kScalarBytes);
  at_ += kScalarBytes;
  return s;
}

}  // namespace vemo::strict

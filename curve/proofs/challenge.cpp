#include "challenge.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

Bn254Scalar challenge_from_transcript(Digest digest, const Bn254Point* points, std::size_t n) {
  std::vector<unsigned char> buf;
  buf.reserve(64 * n + 4);
  for (std::size_t i = 0; i < n; ++i) {
    auto b = points[i].serialize_uncompressed();
    buf.insert(buf.end(), b.begin(), b.end());
  }
  buf.insert(buf.end(), {0, 0, 0, 0});
  if (digest == Digest::Sha256) {
    auto d = sha256(buf);
    return Bn254Scalar::deserialize(d.data(), 32).value();
  }
  auto d = sha512(buf);
  return Bn254Scalar::deserialize(d.data(), 32).value();
}

}  // namespace vemo::proofs

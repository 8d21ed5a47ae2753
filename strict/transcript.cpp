#include "transcript.hpp"

namespace vemo::strict {

using curve::Point;
using curve::Scalar;

Transcript::Transcript(std::string_view kind, std::string_view context) {
  hash_.frame("protocol", kTag);
  hash_.frame("kind", kind);
  hash_.frame("context", context);
}

void Transcript::absorb_point(std::string_view label, const Point& p) {
  const auto b = p.serialize_compressed();
  absorb(label, b.data(), b.size());
}

void Transcript::absorb_scalar(std::string_view label, const Scalar& s) {
  const auto b = s.serialize();
  absorb(label, b.data(), b.size());
}

Scalar Transcript::challenge(std::string_view label) {
  const std::array<unsigned char, 64> d = hash_.squeeze(label);
  return scalar_from_wide(d.data());
}

}  // namespace vemo::strict

// Value recovery for a key holder, and the diagnostic building blocks:
// multiples of the generators and of arbitrary points, a coordinate, the
// hash-to-scalar probes and a token print.
#include "curve/encoding.hpp"
#include "curve/fixed_base.hpp"
#include "curve/proofs/challenge.hpp"
#include "curve/small_dlog.hpp"
#include "api.hpp"

namespace vemo::api {

using namespace vemo::curve;

namespace {

// "<label>[", one byte per line (four spaces, decimal, comma), "]".
std::string byte_listing(const char* label, const Point& p) {
  std::string out = label;
  out += "[\n";
  for (unsigned char b : p.serialize_uncompressed()) {
    out += "    ";
    out += std::to_string((unsigned)b);
    out += ",\n";
  }
  out += "]\n";
  return out;
}

// Prints each point's bytes, then returns the SHA-256 challenge over them.
std::string hash_probe(std::initializer_list<Point> points) {
  static const char* const labels[] = {"a1uncompressed", "a2uncompressed", "a3uncompressed"};
  std::string listing;
  std::size_t i = 0;
  for (const Point& p : points) listing += byte_listing(labels[i++], p);
  write_stdout(listing);
  return parse_scep256k1scalar_to_string(proofs::challenge_from_transcript(Digest::Sha256, points));
}

}  // namespace

std::int32_t get_brut_v(const CommitV& c, const TokenV& t, const GHV& gh, const PbSkV& pbsk, std::int32_t range) {
  // sk·c − t = v·(sk·g) for c = v·g + r·h and t = r·sk·h.
  Point a = c.p.scalar_mul(pbsk.sk);
  a.sub_point_assign(t.p);
  Point b = scalar_mul_fixed(gh.g, pbsk.sk);
  // The search below runs in variable time on both points: how long it
  // takes reveals the amount's size, and its table lookups follow sk·g.
  ct::declassify(a);
  ct::declassify(b);
  if (range <= 0) return -1;
  // Candidates run over [−(range − 1), range − 1]; the logarithm is unique
  // there, so the first match of an ordered scan is the one found here.
  const auto v = small_dlog_vartime(a, b, (std::uint32_t)range - 1);
  return v ? (std::int32_t)*v : -1;
}

namespace {
// A point this call returns: derived from a secret, public from here on.
Point published(Point p) {
  ct::declassify(p);
  return p;
}
}  // namespace

HxV h_to_x(const GHV& gh, const RandR& x) { return HxV{published(gh.h.scalar_mul(x.s))}; }

CommitV g_to_x(const GHV& gh, std::int32_t val) { return CommitV{published(gh.g.scalar_mul(Scalar::from_i64(val)))}; }

CommitV g_to_r(const GHV& gh, const RandR& r) { return CommitV{published(gh.g.scalar_mul(r.s))}; }

CommitV p_to_x(const CommitV& p, const RandR& x) { return CommitV{published(p.p.scalar_mul(x.s))}; }

std::string get_y_coord(const CommitV& a1) { return a1.p.y_coord().to_hex(); }

std::string hash_test1(const CommitV& a1) { return hash_probe({a1.p}); }
std::string hash_test2(const CommitV& a1, const CommitV& a2) { return hash_probe({a1.p, a2.p}); }
std::string hash_test3(const CommitV& a1, const CommitV& a2, const CommitV& a3) {
  return hash_probe({a1.p, a2.p, a3.p});
}

std::string print_token(const TokenV& token) {
  write_stdout(token.p.debug_text_pretty() + "\n");
  return "ok";
}

}  // namespace vemo::api

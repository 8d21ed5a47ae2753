// Commitments, keys and tokens: the algebra a ledger client works with.
// A commitment is val·g + r·h, a key pair (sk, pk = sk·h), a token r·pk.
#include <unistd.h>

#include <cerrno>

#include "curve/encoding.hpp"
#include "curve/fixed_base.hpp"
#include "curve/hash.hpp"
#include "curve/hash_to_curve.hpp"
#include "api.hpp"
#include "curve/msm_vartime.hpp"

namespace vemo::api {

using namespace vemo::curve;

namespace {

// A point this call returns: derived from secrets, public from here on.
Point published(Point p) {
  ct::declassify(p);
  return p;
}

Outcome<Scalar> random_nonzero() {
  auto s = Scalar::random_nonzero();
  if (!s) return from_panic(randomness_unavailable());
  return *s;
}

Outcome<Point> decode_point(std::string_view s) {
  auto p = parse_string_to_scep256k1point(s);
  if (!p.ok()) return unwrap_failed(p.error().debug());
  return p.value();
}

}  // namespace

std::string curve_name() { return "Bn254"; }

Outcome<RandR> gen_r() {
  auto s = random_nonzero();
  if (!s.ok()) return Err{s.error()};
  return RandR{s.value()};
}

CommitV commit(std::int32_t val, const RandR& r, const GHV& gh) {
  // val·g + r·h in one pass over the pair's precomputed tables (the amount
  // needs only its low windows); the sum keeps the label of its first term,
  // as an in-place addition would.
  const Point c = amount_scalar_mul_fixed_proj(gh.g, val, gh.h, r.s).to_affine("scalar_mul");
  return CommitV{published(c)};
}

Outcome<std::string> print_commit(const CommitV& com) {
  write_stdout(com.p.debug_text_pretty() + "\n");
  return std::string("ok");
}

CommitV add(const CommitV& l, const CommitV& r) { return CommitV{l.p.add_point_vartime(r.p)}; }
CommitV sub(const CommitV& l, const CommitV& r) { return CommitV{l.p.sub_point_vartime(r.p)}; }

Outcome<std::string> add_value_commits(std::string_view l, std::string_view r) {
  auto a = decode_point(l);
  if (!a.ok()) return Err{a.error()};
  auto b = decode_point(r);
  if (!b.ok()) return Err{b.error()};
  return parse_scep256k1point_to_string(a.value().add_point_vartime(b.value()));
}

Outcome<std::string> sub_value_commits(std::string_view l, std::string_view r) {
  auto a = decode_point(l);
  if (!a.ok()) return Err{a.error()};
  auto b = decode_point(r);
  if (!b.ok()) return Err{b.error()};
  return parse_scep256k1point_to_string(a.value().sub_point_vartime(b.value()));
}

Outcome<CommitV> from_str(std::string_view s) {
  auto p = decode_point(s);
  if (!p.ok()) return Err{p.error()};
  return CommitV{p.value()};
}

Outcome<TokenV> to_token_from_str(std::string_view s) {
  auto p = decode_point(s);
  if (!p.ok()) return Err{p.error()};
  return TokenV{p.value()};
}

GHV gen_GH() {
  // The pair never changes, so it is derived once: h = G, g = the point
  // hashed from SHA-512 of the single byte 0x01 (the BigInt 1's bytes).
  static const GHV pair = [] {
    const auto one = BigInt::one().to_bytes();
    const auto digest = sha512(one);
    const auto bytes = BigInt::from_bytes(digest.data(), digest.size()).to_bytes();
    GHV gh{Point::generator(), generate_random_point(bytes.data(), bytes.size())};
    // Every verification over the ledger's pair sums multiples of g and h.
    const Point both[2] = {gh.h, gh.g};
    pin_vartime_tables(both, 2);
    // Every range proof's transcript takes y·h (h is the group's generator)
    // and its argument u = x_u·g.
    pin_fixed_base_vartime(gh.h);
    pin_fixed_base_vartime(gh.g);
    return gh;
  }();
  return pair;
}

GHV gen_new_GH(const CommitV& g, const CommitV& h) { return GHV{h.p, g.p}; }

Outcome<PbSkV> gen_pb_sk(const GHV& gh) {
  auto sk = random_nonzero();
  if (!sk.ok()) return Err{sk.error()};
  return PbSkV{sk.value(), published(scalar_mul_fixed(gh.h, sk.value()))};
}

PbSkV regen_pb_sk(const GHV& gh, const RandR& sk) { return PbSkV{sk.s, published(scalar_mul_fixed(gh.h, sk.s))}; }

Outcome<RandR> to_scalar_from_str(std::string_view s) {
  auto v = parse_string_to_scep256k1scalar(s);
  if (!v.ok()) return unwrap_failed(v.error().debug());
  return RandR{v.value()};
}

TokenV add_token(const TokenV& l, const TokenV& r) { return TokenV{l.p.add_point_vartime(r.p)}; }
TokenV sub_token(const TokenV& l, const TokenV& r) { return TokenV{l.p.sub_point_vartime(r.p)}; }
CommitV sub_commit_token(const CommitV& c, const TokenV& t) { return CommitV{c.p.sub_point_vartime(t.p)}; }
CommitV add_commit_token(const CommitV& c, const TokenV& t) { return CommitV{c.p.add_point_vartime(t.p)}; }

Outcome<TokenV> to_token_from_pk(std::string_view pk, const RandR& r) {
  auto p = decode_point(pk);
  if (!p.ok()) return Err{p.error()};
  return TokenV{published(p.value().scalar_mul(r.s))};
}

Outcome<CommitV> from_coords(std::string_view x, std::string_view y) {
  auto xs = parse_string_to_scep256k1scalar(x);
  if (!xs.ok()) return unwrap_failed(xs.error().debug());
  auto ys = parse_string_to_scep256k1scalar(y);
  if (!ys.ok()) return unwrap_failed(ys.error().debug());
  auto p = Point::from_coords(xs.value().to_bigint(), ys.value().to_bigint());
  if (!p.ok()) return unwrap_failed(p.error().debug());
  return CommitV{p.value()};
}

}  // namespace vemo::api

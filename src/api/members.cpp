// The members of the six value classes: what their properties and methods
// compute. Every method returns a new value; secrets (a rand_r's scalar, a
// PbSk's sk) only meet constant-time code.
#include "api.hpp"
#include "curve/ct.hpp"
#include "curve/encoding.hpp"

namespace vemo::api::members {

using namespace vemo::curve;

// Commit
std::string commit_get(const CommitV& c) { return parse_scep256k1point_to_string(c.p); }
bool commit_is_zero(const CommitV& c) { return c.p.is_zero(); }
CommitV commit_sum(const CommitV& a, const CommitV& b) { return CommitV{a.p.add_point_vartime(b.p)}; }
CommitV commit_sub(const CommitV& a, const CommitV& b) { return CommitV{a.p.sub_point_vartime(b.p)}; }
std::string commit_x(const CommitV& c) { return c.p.x_coord().to_dec(); }
std::string commit_y(const CommitV& c) { return c.p.y_coord().to_dec(); }
ByteList commit_to_bytes(const CommitV& c) {
  auto b = c.p.serialize_uncompressed();
  return ByteList{std::vector<unsigned char>(b.begin(), b.end())};
}
std::string commit_from_bytes(const CommitV&, const Bytes32& a) {
  return Scalar::deserialize(a.b.data(), a.b.size()).value().to_bigint().to_dec();
}

// rand_r
RandR rand_sum(const RandR& a, const RandR& b) { return RandR{a.s.add(b.s)}; }
RandR rand_sub(const RandR& a, const RandR& b) { return RandR{a.s.sub(b.s)}; }
RandR rand_neg(const RandR& a) { return RandR{Scalar::from_u64(0).sub(a.s)}; }
std::string rand_get(const RandR& a) { return parse_scep256k1scalar_to_string(a.s); }
bool rand_is_zero(const RandR& a) { return a.s.eq(Scalar::from_u64(0)); }

// GH
std::string gh_h(const GHV& gh) { return parse_scep256k1point_to_string(gh.h); }
std::string gh_g(const GHV& gh) { return parse_scep256k1point_to_string(gh.g); }

// Token
std::string token_get(const TokenV& t) { return parse_scep256k1point_to_string(t.p); }

// PbSk
TokenV pbsk_to_token(const PbSkV& k, const RandR& r) {
#ifdef VEMO_CT_MUTANT
  // The constant-time check's mutation run builds this library with a
  // variable-time multiplication here, and valgrind must report it.
  Point t = k.pk.scalar_mul_vartime(r.s);
#else
  Point t = k.pk.scalar_mul(r.s);
#endif
  ct::declassify(t);  // the token is public from here on
  return TokenV{t};
}
std::string pbsk_get_sk(const PbSkV& k) { return parse_scep256k1scalar_to_string(k.sk); }
std::string pbsk_get_pk(const PbSkV& k) { return parse_scep256k1point_to_string(k.pk); }

}  // namespace vemo::api::members

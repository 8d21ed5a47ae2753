// vemo_strict's work: each function builds its relation's table from the
// caller's values (relations.hpp) and runs the one engine (relation.hpp).
#include "strict.hpp"

#include "curve/ct.hpp"
#include "curve/fixed_base.hpp"
#include "strict/relations.hpp"

namespace vemo::api::strict {

namespace st = vemo::strict;
using curve::Point;
using curve::Scalar;

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A key text: the 32-byte strict encoding in hex (either case), then the
// strict point decoder, which refuses the identity. Public data.
Expected<Point> key_point(std::string what, std::string_view text) {
  if (text.size() != 2 * st::kPointBytes)
    return st::error(what + ": expected " + std::to_string(2 * st::kPointBytes) + " hex digits, got " +
                     std::to_string(text.size()) + " characters");
  unsigned char b[st::kPointBytes];
  for (std::size_t i = 0; i < st::kPointBytes; ++i) {
    const int hi = hex_digit(text[2 * i]), lo = hex_digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return st::error(what + ": not a hex digit at " + std::to_string(hi < 0 ? 2 * i : 2 * i + 1));
    b[i] = (unsigned char)(hi * 16 + lo);
  }
  return st::decode_point_vartime(what, b, st::kPointBytes, st::Identity::refused);
}

Expected<std::vector<Point>> key_points(const std::vector<std::string>& keys) {
  std::vector<Point> out;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    auto p = key_point("key " + std::to_string(i), keys[i]);
    if (!p.ok()) return Err{p.error()};
    out.push_back(p.value());
  }
  return out;
}

std::vector<Point> token_points(const std::vector<TokenV>& tokens) {
  std::vector<Point> out;
  for (const TokenV& t : tokens) out.push_back(t.p);
  return out;
}

// The secrets of a proof, wiped when it is made.
struct Secrets {
  std::vector<Scalar> w;
  ~Secrets() {
    for (Scalar& s : w) curve::wipe(s);
  }
};

Expected<std::string> prove(const Expected<st::Relation>& rel, Bytes context, Secrets&& secrets) {
  if (!rel.ok()) return Err{rel.error()};
  return st::prove(rel.value(), context.v, secrets.w);
}

Expected<Claims> claims(const Expected<st::Relation>& rel, Bytes context, Bytes proof) {
  if (!rel.ok()) return Err{rel.error()};
  return st::claims_vartime(rel.value(), context.v, proof.v);
}

}  // namespace

CommitV commit(std::uint64_t value, const RandR& r, const GHV& gh) {
  Point c = curve::u64_scalar_mul_fixed_proj(gh.g, value, gh.h, r.s).to_affine("add_point");
  ct::declassify(c);  // a commitment is published
  return CommitV{c};
}

Expected<std::string> prove_opening(Bytes context, std::uint64_t value, const RandR& r, const GHV& gh,
                                    const CommitV& commitment) {
  return prove(st::opening(gh.g, gh.h, commitment.p), context, Secrets{{Scalar::from_u64(value), r.s}});
}

Expected<Claims> opening_claims(Bytes context, Bytes proof, const GHV& gh, const CommitV& commitment) {
  return claims(st::opening(gh.g, gh.h, commitment.p), context, proof);
}

Expected<std::string> prove_consistency(Bytes context, std::uint64_t value, const RandR& r, const GHV& gh,
                                        const CommitV& commitment, const std::vector<std::string>& keys,
                                        const std::vector<TokenV>& tokens) {
  auto pks = key_points(keys);
  if (!pks.ok()) return Err{pks.error()};
  return prove(st::consistency(gh.g, gh.h, commitment.p, pks.value(), token_points(tokens)), context,
               Secrets{{Scalar::from_u64(value), r.s}});
}

Expected<Claims> consistency_claims(Bytes context, Bytes proof, const GHV& gh, const CommitV& commitment,
                                    const std::vector<std::string>& keys, const std::vector<TokenV>& tokens) {
  auto pks = key_points(keys);
  if (!pks.ok()) return Err{pks.error()};
  return claims(st::consistency(gh.g, gh.h, commitment.p, pks.value(), token_points(tokens)), context, proof);
}

Expected<std::string> prove_dleq(Bytes context, const PbSkV& pbsk, const GHV& gh, const CommitV& base,
                                 const TokenV& image) {
  return prove(st::dleq(gh.h, pbsk.pk, base.p, image.p), context, Secrets{{pbsk.sk}});
}

Expected<Claims> dleq_claims(Bytes context, Bytes proof, const GHV& gh, std::string_view key, const CommitV& base,
                             const TokenV& image) {
  auto pk = key_point("key", key);
  if (!pk.ok()) return Err{pk.error()};
  return claims(st::dleq(gh.h, pk.value(), base.p, image.p), context, proof);
}

Expected<std::string> sign(Bytes context, Bytes message, const PbSkV& pbsk, const GHV& gh) {
  return prove(st::signature(gh.h, pbsk.pk, message.v), context, Secrets{{pbsk.sk}});
}

Expected<Claims> signature_claims(Bytes context, Bytes signature, Bytes message, std::string_view key,
                                  const GHV& gh) {
  auto pk = key_point("key", key);
  if (!pk.ok()) return Err{pk.error()};
  return claims(st::signature(gh.h, pk.value(), message.v), context, signature);
}

Expected<std::string> prove_balance(Bytes context, std::uint64_t value, const PbSkV& pbsk, const RandR& new_r,
                                    const GHV& gh, const CommitV& commitment, const TokenV& token,
                                    const CommitV& new_commitment) {
  return prove(st::balance(gh.g, gh.h, pbsk.pk, commitment.p, token.p, new_commitment.p), context,
               Secrets{{Scalar::from_u64(value), st::balance_u(pbsk.sk), new_r.s}});
}

Expected<Claims> balance_claims(Bytes context, Bytes proof, const GHV& gh, std::string_view key,
                                const CommitV& commitment, const TokenV& token, const CommitV& new_commitment) {
  auto pk = key_point("key", key);
  if (!pk.ok()) return Err{pk.error()};
  return claims(st::balance(gh.g, gh.h, pk.value(), commitment.p, token.p, new_commitment.p), context, proof);
}

}  // namespace vemo::api::strict

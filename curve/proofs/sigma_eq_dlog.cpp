#include "sigma_eq_dlog.hpp"

#include "challenge.hpp"
#include "curve/fixed_base.hpp"
#include "curve/scalar_mul.hpp"
#include "json_record.hpp"
#include "sigma_common.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

Result<DLogEqProof, Panic> DLogEqProof::prove(Digest digest, const Bn254Scalar& x, const Bn254Point& g1,
                                              const Bn254Point& g2) {
  auto drawn = draw_nonzero();
  if (!drawn.ok()) return Err{drawn.error()};
  Bn254Scalar k = drawn.value();
  wipe(drawn.value());
  // G1 is often a fresh sum of blinding points; G2 is a generator that
  // recurs from call to call and has a fixed-base table.
  // G1's two multiples share its table; all four results share one
  // inversion.
  const Bn254Scalar ks[2] = {k, x};
  ProjPoint proj[4];
  scalar_mul_each(g1, ks, 2, proj);
  proj[2] = scalar_mul_fixed_proj(g2, k);
  proj[3] = scalar_mul_fixed_proj(g2, x);
  Bn254Point out[4];
  batch_to_affine(proj, 4, out, "scalar_mul");
  const Bn254Point &t_l = out[0], &pk_l = out[1], &t_r = out[2], &pk_r = out[3];
  publish(t_l, t_r, pk_l, pk_r);
  const Bn254Scalar c = challenge_from_transcript(digest, {t_l, t_r, g1, g2, pk_l, pk_r});
  const Bn254Scalar z = k.sub(c.mul(x));
  publish(z);
  wipe(k);
  return DLogEqProof{pk_l, pk_r, t_l, t_r, z, z, c};
}

Claims DLogEqProof::claims(Digest digest, const Bn254Point& g1, const Bn254Point& g2) const {
  const Bn254Scalar c = challenge_from_transcript(
      digest, {pk_t_rand_commitment_l, pk_t_rand_commitment_r, g1, g2, pk_l, pk_r});
  Claims out;
  // One nonce serves both bases, so an honest record has equal responses;
  // without this a record with pk_l = x·g1 and pk_r = y·g2, x ≠ y, verifies.
  out.checks_pass = c.eq(challenge) && !g1.eq(g2) && challenge_response_l.eq(challenge_response_r);
  const Bn254Scalar minus_one = Bn254Scalar::one().neg();
  Equation& left = out.equations.emplace_back();
  left.term(challenge_response_l, g1);
  left.term(c, pk_l);
  left.term(minus_one, pk_t_rand_commitment_l);
  Equation& right = out.equations.emplace_back();
  right.term(challenge_response_r, g2);
  right.term(c, pk_r);
  right.term(minus_one, pk_t_rand_commitment_r);
  return out;
}

namespace {

constexpr Member<DLogEqProof> kMembers[] = {
    member<&DLogEqProof::pk_l>("pk_l", as_point),
    member<&DLogEqProof::pk_r>("pk_r", as_point),
    member<&DLogEqProof::pk_t_rand_commitment_l>("pk_t_rand_commitment_l", as_point),
    member<&DLogEqProof::pk_t_rand_commitment_r>("pk_t_rand_commitment_r", as_point),
    member<&DLogEqProof::challenge_response_l>("challenge_response_l", as_scalar),
    member<&DLogEqProof::challenge_response_r>("challenge_response_r", as_scalar),
    member<&DLogEqProof::challenge>("challenge", as_scalar),
};

}  // namespace

nlohmann::ordered_json DLogEqProof::to_json() const { return write_record(kMembers, *this); }

Result<DLogEqProof, json::JsonError> DLogEqProof::from_json(std::string_view text) {
  return parse_record(text, "DLogEqProof", kMembers);
}

}  // namespace vemo::proofs

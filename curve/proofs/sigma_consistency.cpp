#include "sigma_consistency.hpp"

#include "challenge.hpp"
#include "curve/fixed_base.hpp"
#include "curve/msm_vartime.hpp"
#include "json_record.hpp"
#include "sigma_common.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

Result<ConsistencyProof, Panic> ConsistencyProof::prove(std::int64_t amount, const Bn254Scalar& r,
                                                        const Bn254Point& g, const Bn254Point& h,
                                                        const Bn254Point& cm, const Bn254Point& pk,
                                                        const Bn254Point& tk) {
  // The opening is secret: compare every coordinate before branching, so
  // only whether it matches the public cm is revealed.
  // Compared in projective form (X = x·Z, Y = y·Z, Z non-zero; or Z = 0
  // for the identity), which spares an inversion.
  const ProjPoint opened = amount_scalar_mul_fixed_proj(g, amount, h, r);
  const u64 z_zero = opened.Z.is_zero_flag();
  const u64 same_affine = opened.X.eq_flag(cm.x * opened.Z) & opened.Y.eq_flag(cm.y * opened.Z) & (1 ^ z_zero);
  u64 same = cm.infinity ? z_zero : same_affine;  // cm is public
  publish(same);  // the caller learns it from the outcome
  if (!same) return Err{assertion_failed()};
  auto d1 = draw_nonzero();
  if (!d1.ok()) return Err{d1.error()};
  auto d2 = draw_nonzero();
  if (!d2.ok()) {
    wipe(d1.value());
    return Err{d2.error()};
  }
  Bn254Scalar k1 = d1.value(), k2 = d2.value();
  wipe(d1.value());
  wipe(d2.value());
  bool equal_nonces = k1.eq(k2);
  publish(equal_nonces);  // never true in practice; refusing it reveals nothing of the values
  if (equal_nonces) {
    wipe(k1);
    wipe(k2);
    return Err{assertion_failed()};
  }
  // g, h and a busy account's key recur from call to call: fixed-base tables.
  // Both commitments share one inversion.
  const ProjPoint proj[2] = {double_scalar_mul_fixed_proj(g, k1, h, k2), scalar_mul_fixed_proj(pk, k2)};
  Bn254Point out[2];
  batch_to_affine(proj, 2, out, "add_point");
  const Bn254Point& t1 = out[0];
  Bn254Point& t2 = out[1];
  t2.purpose = "scalar_mul";
  publish(t1, t2);
  const Bn254Scalar c = challenge_from_transcript(Digest::Sha256, {g, h, t1, t2, pk, cm, tk});
  Bn254Scalar val = Bn254Scalar::from_i64(amount);
  const Bn254Scalar s1 = c.mul(val).add(k1);
  wipe(val);
  const Bn254Scalar s2 = c.mul(r).add(k2);
  publish(s1, s2);
  wipe(k1);
  wipe(k2);
  return ConsistencyProof{t1, t2, s1, s2, c};
}

Claims ConsistencyProof::claims(const Bn254Point& g, const Bn254Point& h, const Bn254Point& cm, const Bn254Point& pk,
                                const Bn254Point& tk) const {
  const Bn254Scalar c = challenge_from_transcript(Digest::Sha256, {g, h, t1, t2, pk, cm, tk});
  const Bn254Scalar minus_c = c.neg(), minus_one = Bn254Scalar::one().neg();
  Claims out;
  out.checks_pass = c.eq(challenge);
  Equation& commitment = out.equations.emplace_back();
  commitment.term(s1, g);
  commitment.term(s2, h);
  commitment.term(minus_c, cm);
  commitment.term(minus_one, t1);
  Equation& token = out.equations.emplace_back();
  token.term(s2, pk);
  token.term(minus_c, tk);
  token.term(minus_one, t2);
  return out;
}

ConsistencyProofMulWitness ConsistencyProof::generate_mul_witness(const Bn254Point& g, const Bn254Point& h,
                                                                  const Bn254Point& cm, const Bn254Point& pk,
                                                                  const Bn254Point& tk) const {
  // All public; g, h and pk have fixed-base tables, which beat a one-off
  // variable-time multiplication. prove checked cm = val·g + r·h, so
  // s1·g + s2·h − c·cm = t1 and c·cm is a sum of the products at hand. All
  // five results share one inversion.
  (void)cm;
  const ProjPoint s1g = scalar_mul_fixed_proj(g, s1), s2h = scalar_mul_fixed_proj(h, s2);
  const ProjPoint proj[5] = {s1g.add(s2h).add_any_affine(t1.neg()), msm_vartime(&challenge, &tk, 1),
                             scalar_mul_fixed_proj(pk, s2), s1g, s2h};
  Bn254Point out[5];
  batch_to_affine(proj, 5, out, "scalar_mul");
  return ConsistencyProofMulWitness{out[0], out[1], out[2], out[3], out[4]};
}

namespace {

constexpr Member<ConsistencyProofMulWitness> kWitnessMembers[] = {
    member<&ConsistencyProofMulWitness::chalcm>("chalcm", as_point),
    member<&ConsistencyProofMulWitness::chaltk>("chaltk", as_point),
    member<&ConsistencyProofMulWitness::s2pubkey>("s2pubkey", as_point),
    member<&ConsistencyProofMulWitness::s1g>("s1g", as_point),
    member<&ConsistencyProofMulWitness::s2h>("s2h", as_point),
};

constexpr Member<ConsistencyProof> kMembers[] = {
    member<&ConsistencyProof::t1>("t1", as_point),
    member<&ConsistencyProof::t2>("t2", as_point),
    member<&ConsistencyProof::s1>("s1", as_scalar),
    member<&ConsistencyProof::s2>("s2", as_scalar),
    member<&ConsistencyProof::challenge>("challenge", as_scalar),
};

}  // namespace

nlohmann::ordered_json ConsistencyProofMulWitness::to_json() const { return write_record(kWitnessMembers, *this); }

nlohmann::ordered_json ConsistencyProof::to_json() const { return write_record(kMembers, *this); }

Result<ConsistencyProof, json::JsonError> ConsistencyProof::from_json(std::string_view text) {
  return parse_record(text, "ConsistencyProof", kMembers);
}

}  // namespace vemo::proofs

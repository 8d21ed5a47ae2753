#include "sigma_eq_dlog_ped.hpp"

#include "challenge.hpp"
#include "curve/fixed_base.hpp"
#include "json_record.hpp"
#include "sigma_common.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

Result<DLogEqProofPed, Panic> DLogEqProofPed::prove(std::int32_t amount, const Bn254Point& g, const Bn254Point& h,
                                                    const Bn254Point& pk) {
  // r1, r2, then the nonces k1, k2, k3.
  Bn254Scalar drawn[5];
  for (auto& s : drawn) {
    auto d = draw_nonzero();
    if (!d.ok()) {
      for (auto& w : drawn) wipe(w);
      return Err{d.error()};
    }
    s = d.value();
    wipe(d.value());
  }
  // r1 and r2 are members of the record.
  const Bn254Scalar r1 = drawn[0], r2 = drawn[1];
  publish(r1, r2);
  Bn254Scalar k1 = drawn[2], k2 = drawn[3], k3 = drawn[4];
  for (auto& w : drawn) wipe(w);

  // g, h and pk recur from call to call (fixed-base tables). cm2 is fresh,
  // but it is v·g + r2·h, so the sums over cm2 and h are sums over g and h:
  //   cm3 = v·cm2 + e·h   = v²·g + (v·r2 + e)·h = v²·g + r1·h = cm1
  //         (e = r1 − r2·v),
  //   t2  = k3·cm2 + k2·h = (k3·v)·g + (k3·r2 + k2)·h,
  // the same points by the group law. Five results from the two tables,
  // brought to affine with one inversion.
  Bn254Scalar v = Bn254Scalar::from_i64(amount);
  std::int64_t amount_sq = (std::int64_t)amount * amount;  // below 2^62
  Bn254Scalar e = r1.sub(r2.mul(v));
  Bn254Scalar t2_g = k3.mul(v);
  Bn254Scalar t2_h = k3.mul(r2).add(k2);
  const ProjPoint proj[5] = {
      amount_scalar_mul_fixed_proj(g, amount_sq, h, r1),  amount_scalar_mul_fixed_proj(g, amount, h, r2),
      scalar_mul_fixed_proj(pk, r1),               double_scalar_mul_fixed_proj(g, k3, h, k1),
      double_scalar_mul_fixed_proj(g, t2_g, h, t2_h),
  };
  Bn254Point out[5];
  batch_to_affine(proj, 5, out, "add_point");
  const Bn254Point &cm1 = out[0], &cm2 = out[1], &cm3 = out[0], &t1 = out[3], &t2 = out[4];
  Bn254Point& token = out[2];
  token.purpose = "scalar_mul";
  publish(cm1, token, cm2, cm3, t1, t2);
  wipe(t2_g);
  wipe(t2_h);
  const Bn254Scalar c = challenge_from_transcript(Digest::Sha256, {t1, t2});
  const Bn254Scalar d = c.mul(v).add(k3);
  const Bn254Scalar d1 = c.mul(r2).add(k1);
  const Bn254Scalar d2 = c.mul(e).add(k2);
  publish(d, d1, d2);
  wipe(v);
  ct::wipe(amount_sq);
  wipe(e);
  wipe(k1);
  wipe(k2);
  wipe(k3);
  return DLogEqProofPed{cm1, cm2, cm3, token, r1, r2, c, d, d1, d2};
}

Claims DLogEqProofPed::claims(const Bn254Point& g, const Bn254Point& h) const {
  const Bn254Scalar minus_c = challenge.neg();
  const ProjPoint t1 = public_combination({challenge_response_D, challenge_response_D1, minus_c}, {g, h, cm2});
  const ProjPoint t2 = public_combination({challenge_response_D, challenge_response_D2, minus_c}, {cm2, h, cm3});
  const ProjPoint both[2] = {t1, t2};
  Bn254Point rebuilt[2];
  batch_to_affine(both, 2, rebuilt, "add_point");
  Claims out;
  out.checks_pass = challenge_from_transcript(Digest::Sha256, {rebuilt[0], rebuilt[1]}).eq(challenge);
  return out;
}

DLogEqProofPedMulWitness DLogEqProofPed::generate_mul_witness(const Bn254Point& g, const Bn254Point& h) const {
  // All public; g and h have fixed-base tables, cm2 and cm3 are fresh.
  return DLogEqProofPedMulWitness{
      scalar_mul_fixed(g, challenge_response_D),   scalar_mul_fixed(h, challenge_response_D1),
      cm2.scalar_mul_vartime(challenge),           cm2.scalar_mul_vartime(challenge_response_D),
      scalar_mul_fixed(h, challenge_response_D2),  cm3.scalar_mul_vartime(challenge),
  };
}

namespace {

constexpr Member<DLogEqProofPedMulWitness> kWitnessMembers[] = {
    member<&DLogEqProofPedMulWitness::chalRspDg>("chalRspDg", as_point),
    member<&DLogEqProofPedMulWitness::chalRspD1h>("chalRspD1h", as_point),
    member<&DLogEqProofPedMulWitness::challengecm2>("challengecm2", as_point),
    member<&DLogEqProofPedMulWitness::chalRspDcm2>("chalRspDcm2", as_point),
    member<&DLogEqProofPedMulWitness::chalRspD2h>("chalRspD2h", as_point),
    member<&DLogEqProofPedMulWitness::challengecm3>("challengecm3", as_point),
};

constexpr Member<DLogEqProofPed> kMembers[] = {
    member<&DLogEqProofPed::cm1>("cm1", as_point),
    member<&DLogEqProofPed::cm2>("cm2", as_point),
    member<&DLogEqProofPed::cm3>("cm3", as_point),
    member<&DLogEqProofPed::token>("token", as_point),
    member<&DLogEqProofPed::r1>("r1", as_scalar),
    member<&DLogEqProofPed::r2>("r2", as_scalar),
    member<&DLogEqProofPed::challenge>("challenge", as_scalar),
    member<&DLogEqProofPed::challenge_response_D>("challenge_response_D", as_scalar),
    member<&DLogEqProofPed::challenge_response_D1>("challenge_response_D1", as_scalar),
    member<&DLogEqProofPed::challenge_response_D2>("challenge_response_D2", as_scalar),
};

}  // namespace

nlohmann::ordered_json DLogEqProofPedMulWitness::to_json() const { return write_record(kWitnessMembers, *this); }

nlohmann::ordered_json DLogEqProofPed::to_json() const { return write_record(kMembers, *this); }

Result<DLogEqProofPed, json::JsonError> DLogEqProofPed::from_json(std::string_view text) {
  return parse_record(text, "DLogEqProofPed", kMembers);
}

}  // namespace vemo::proofs

#include "sigma_eq_dlog_ped.hpp"

#include "challenge.hpp"
#include "curve/encoding.hpp"
#include "curve/fixed_base.hpp"
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

nlohmann::ordered_json DLogEqProofPedMulWitness::to_json() const {
  nlohmann::ordered_json j;
  j["chalRspDg"] = point_to_json(chalRspDg);
  j["chalRspD1h"] = point_to_json(chalRspD1h);
  j["challengecm2"] = point_to_json(challengecm2);
  j["chalRspDcm2"] = point_to_json(chalRspDcm2);
  j["chalRspD2h"] = point_to_json(chalRspD2h);
  j["challengecm3"] = point_to_json(challengecm3);
  return j;
}

nlohmann::ordered_json DLogEqProofPed::to_json() const {
  nlohmann::ordered_json j;
  j["cm1"] = point_to_json(cm1);
  j["cm2"] = point_to_json(cm2);
  j["cm3"] = point_to_json(cm3);
  j["token"] = point_to_json(token);
  j["r1"] = scalar_to_json(r1);
  j["r2"] = scalar_to_json(r2);
  j["challenge"] = scalar_to_json(challenge);
  j["challenge_response_D"] = scalar_to_json(challenge_response_D);
  j["challenge_response_D1"] = scalar_to_json(challenge_response_D1);
  j["challenge_response_D2"] = scalar_to_json(challenge_response_D2);
  return j;
}

Result<DLogEqProofPed, json::JsonError> DLogEqProofPed::from_json(std::string_view text) {
  return json::parse_all<DLogEqProofPed>(text, [](json::Reader& r) -> Result<DLogEqProofPed, json::JsonError> {
    DLogEqProofPed p{};
    auto st = r.read_struct("DLogEqProofPed",
                            {"cm1", "cm2", "cm3", "token", "r1", "r2", "challenge", "challenge_response_D",
                             "challenge_response_D1", "challenge_response_D2"},
                            [&](std::size_t i) -> json::Status {
                              switch (i) {
                                case 0: return read_into(r.read_point(), p.cm1);
                                case 1: return read_into(r.read_point(), p.cm2);
                                case 2: return read_into(r.read_point(), p.cm3);
                                case 3: return read_into(r.read_point(), p.token);
                                case 4: return read_into(r.read_scalar(), p.r1);
                                case 5: return read_into(r.read_scalar(), p.r2);
                                case 6: return read_into(r.read_scalar(), p.challenge);
                                case 7: return read_into(r.read_scalar(), p.challenge_response_D);
                                case 8: return read_into(r.read_scalar(), p.challenge_response_D1);
                                default: return read_into(r.read_scalar(), p.challenge_response_D2);
                              }
                            });
    if (!st.ok()) return Err{st.error()};
    return p;
  });
}

}  // namespace vemo::proofs

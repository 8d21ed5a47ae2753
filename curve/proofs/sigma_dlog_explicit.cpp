#include "sigma_dlog_explicit.hpp"

#include "challenge.hpp"
#include "curve/encoding.hpp"
#include "curve/scalar_mul.hpp"
#include "json_record.hpp"
#include "sigma_common.hpp"

namespace vemo::proofs {

using namespace vemo::curve;

Result<DLogProofExplicit, Panic> DLogProofExplicit::prove(Digest digest, const Bn254Scalar& x, const Bn254Point& base) {
  auto drawn = draw_nonzero();
  if (!drawn.ok()) return Err{drawn.error()};
  Bn254Scalar k = drawn.value();
  // Both multiples of the base share its table and one inversion.
  const Bn254Scalar ks[2] = {k, x};
  ProjPoint proj[2];
  scalar_mul_each(base, ks, 2, proj);
  Bn254Point ty[2];
  batch_to_affine(proj, 2, ty, "scalar_mul");
  const Bn254Point& t = ty[0];
  const Bn254Point& y = ty[1];
  publish(t, y);
  const Bn254Scalar c = challenge_from_transcript(digest, {t, base, y});
  const Bn254Scalar z = k.sub(c.mul(x));
  publish(z);
  wipe(k);
  wipe(drawn.value());
  return DLogProofExplicit{y, t, z};
}

Claims DLogProofExplicit::claims(Digest digest, const Bn254Point& base, const Bn254Point& expected) const {
  const Bn254Scalar c = challenge_from_transcript(digest, {pk_t_rand_commitment, base, pk});
  Claims out;
  out.checks_pass = pk.eq(expected);
  Equation& e = out.equations.emplace_back();
  e.term(challenge_response, base);
  e.term(c, pk);
  e.term(Bn254Scalar::one().neg(), pk_t_rand_commitment);
  return out;
}

DLogProofExplicitMulWitness DLogProofExplicit::generate_mul_witness(const Bn254Point& base) const {
  const Bn254Scalar c = challenge_from_transcript(Digest::Sha256, {pk_t_rand_commitment, base, pk});
  const Bn254Point c_pk = pk.scalar_mul_vartime(c);
  return DLogProofExplicitMulWitness{pk_t_rand_commitment.sub_point_vartime(c_pk), c_pk};
}

namespace {

constexpr Member<DLogProofExplicitMulWitness> kWitnessMembers[] = {
    member<&DLogProofExplicitMulWitness::chalrsph2r>("chalrsph2r", as_point),
    member<&DLogProofExplicitMulWitness::challengepk>("challengepk", as_point),
};

constexpr Member<DLogProofExplicit> kMembers[] = {
    member<&DLogProofExplicit::pk>("pk", as_point),
    member<&DLogProofExplicit::pk_t_rand_commitment>("pk_t_rand_commitment", as_point),
    member<&DLogProofExplicit::challenge_response>("challenge_response", as_scalar),
};

}  // namespace

nlohmann::ordered_json DLogProofExplicitMulWitness::to_json() const { return write_record(kWitnessMembers, *this); }

nlohmann::ordered_json DLogProofExplicit::to_json() const { return write_record(kMembers, *this); }

Result<DLogProofExplicit, json::JsonError> DLogProofExplicit::from_json(std::string_view text) {
  return parse_record(text, "DLogProofExplicit", kMembers);
}

}  // namespace vemo::proofs

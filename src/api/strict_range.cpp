#include "strict_range.hpp"

#include "strict/range_proof.hpp"

namespace vemo::api::strict {

Expected<std::string> range_prove(std::string_view context, const GHV& gh, std::uint64_t bits,
                                  const std::vector<std::uint64_t>& values, const std::vector<RandR>& blindings) {
  std::vector<curve::Scalar> gamma;
  gamma.reserve(blindings.size());
  for (const RandR& r : blindings) gamma.push_back(r.s);
  auto proof = vemo::strict::range_prove(context, gh.g, gh.h, bits, values, gamma);
  for (curve::Scalar& s : gamma) curve::wipe(s);
  return proof;
}

Expected<proofs::Claims> range_claims(std::string_view context, const GHV& gh, std::uint64_t bits,
                                      const std::vector<CommitV>& commitments, std::string_view proof) {
  std::vector<curve::Point> V;
  V.reserve(commitments.size());
  for (const CommitV& c : commitments) V.push_back(c.p);
  return vemo::strict::range_claims_vartime(context, gh.g, gh.h, bits, V, proof);
}

Expected<std::string> prove_range(Bytes context, std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                  const std::vector<RandR>& blindings, const GHV& gh) {
  return range_prove(context.v, gh, bits, values, blindings);
}

Expected<proofs::Claims> range_proof_claims(Bytes context, Bytes proof, const GHV& gh, std::uint64_t bits,
                                            const std::vector<CommitV>& commitments) {
  return range_claims(context.v, gh, bits, commitments, proof.v);
}

}  // namespace vemo::api::strict

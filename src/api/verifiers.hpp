// vemo's eight verifying functions, declared once: each one's Python name,
// its parameter names, and the function that states its claims. vemo's
// function table takes its eight verify rows from here, and vemo_batch
// matches a queued verification's arguments against the same names, so a
// batched call is refused exactly as the function itself would refuse it.
// A verifier's verdict is verdict(claims(args...)) (VerdictOf). The strict
// suite declares its verifiers with the same two templates.
#pragma once

#include <array>
#include <cstddef>
#include <tuple>

#include "api.hpp"

namespace vemo::api {

template <auto F>
struct ClaimsArity;
template <class R, class... A, R (*F)(A...)>
struct ClaimsArity<F> {
  static constexpr std::size_t value = sizeof...(A);
};

template <auto ClaimsFn, std::size_t N>
struct Verifier {
  static_assert(N == ClaimsArity<ClaimsFn>::value, "a verifier's parameter names must match its claims function");
  static constexpr auto claims = ClaimsFn;
  const char* name;
  std::array<const char*, N> params;
};

// The verifying function of a claims function: same parameters, its verdict
// (Outcome<bool> for vemo's, Expected<bool> for the strict suite's).
template <auto F>
struct VerdictOf;
template <class R, class... A, R (*F)(A...)>
struct VerdictOf<F> {
  static auto call(A... a) { return verdict(F(a...)); }
};

inline constexpr Verifier<&range_proof_single_claims, 4> kRangeProofSingleVerify{
    "range_proof_single_verify", {"range_proof", "n_bit", "gh", "ped_cm"}};
inline constexpr Verifier<&consistency_proof_claims, 5> kConsistencyProofVerify{
    "consistency_proof_verify", {"proof", "gh", "ped_cm", "token", "pubkey"}};
inline constexpr Verifier<&sigma_dlog_proof_explicit_claims, 3> kSigmaDlogProofExplicitVerify{
    "sigma_dlog_proof_explicit_verify", {"ser_proof", "h_sumR", "sum_tokens"}};
inline constexpr Verifier<&sigma_dlog_proof_explicit_claims_sha256, 3> kSigmaDlogProofExplicitVerifySha256{
    "sigma_dlog_proof_explicit_verify_sha256", {"ser_proof", "h_sumR", "sum_tokens"}};
inline constexpr Verifier<&sigma_eq_dlog_claims, 4> kSigmaEqDlogVerify{
    "sigma_eq_dlog_verify", {"ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"}};
inline constexpr Verifier<&sigma_eq_dlog_claims_sha256, 4> kSigmaEqDlogVerifySha256{
    "sigma_eq_dlog_verify_sha256", {"ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"}};
inline constexpr Verifier<&sigma_eq_dlog_claims_same_secret, 3> kSigmaEqDlogVerifySameSecret{
    "sigma_eq_dlog_verify_same_secret", {"ser_dlog_eq_proof", "gh1", "gh2"}};
inline constexpr Verifier<&sigma_eq_dlog_ped_claims, 3> kSigmaEqDlogPedVerify{
    "sigma_eq_dlog_ped_verify", {"ser_dlog_eq_proof", "gh1", "gh2"}};

// All eight, for code that walks them (vemo_batch).
inline constexpr std::tuple kVerifiers{kRangeProofSingleVerify,       kConsistencyProofVerify,
                                       kSigmaDlogProofExplicitVerify, kSigmaDlogProofExplicitVerifySha256,
                                       kSigmaEqDlogVerify,            kSigmaEqDlogVerifySha256,
                                       kSigmaEqDlogVerifySameSecret,  kSigmaEqDlogPedVerify};

}  // namespace vemo::api

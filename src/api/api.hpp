// The work behind every Python function and class member, grouped by area,
// with no Python in it: each takes and returns C++ values only (the binding
// layer converts arguments and results), and every failure is a value
// (Outcome) that the module boundary raises. The C++ tests, the
// constant-time check and the fuzz replayer call these very functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "curve/proofs/claims.hpp"
#include "output.hpp"
#include "values.hpp"

namespace vemo::api {

// Commitments, keys and tokens.
std::string curve_name();
Outcome<RandR> gen_r();
CommitV commit(std::int32_t val, const RandR& r, const GHV& gh);
Outcome<std::string> print_commit(const CommitV& com);
CommitV add(const CommitV& l, const CommitV& r);
CommitV sub(const CommitV& l, const CommitV& r);
Outcome<std::string> add_value_commits(std::string_view l, std::string_view r);
Outcome<std::string> sub_value_commits(std::string_view l, std::string_view r);
Outcome<CommitV> from_str(std::string_view s);
Outcome<TokenV> to_token_from_str(std::string_view s);
GHV gen_GH();
Outcome<PbSkV> gen_pb_sk(const GHV& gh);
PbSkV regen_pb_sk(const GHV& gh, const RandR& sk);
Outcome<RandR> to_scalar_from_str(std::string_view s);
TokenV add_token(const TokenV& l, const TokenV& r);
TokenV sub_token(const TokenV& l, const TokenV& r);
CommitV sub_commit_token(const CommitV& c, const TokenV& t);
CommitV add_commit_token(const CommitV& c, const TokenV& t);
Outcome<TokenV> to_token_from_pk(std::string_view pk, const RandR& r);
GHV gen_new_GH(const CommitV& g, const CommitV& h);
Outcome<CommitV> from_coords(std::string_view x, std::string_view y);

// Value recovery and diagnostics.
std::int32_t get_brut_v(const CommitV& c, const TokenV& t, const GHV& gh, const PbSkV& pbsk, std::int32_t range);
HxV h_to_x(const GHV& gh, const RandR& x);
CommitV g_to_x(const GHV& gh, std::int32_t val);
CommitV g_to_r(const GHV& gh, const RandR& r);
CommitV p_to_x(const CommitV& p, const RandR& x);
std::string get_y_coord(const CommitV& a1);
std::string hash_test1(const CommitV& a1);
std::string hash_test2(const CommitV& a1, const CommitV& a2);
std::string hash_test3(const CommitV& a1, const CommitV& a2, const CommitV& a3);
std::string print_token(const TokenV& token);

// Sigma proofs.
Outcome<std::string> sigma_dlog_proof_explicit(const TokenV& sum_tokens, const PbSkV& pbsk, const CommitV& h_sumR);
Outcome<std::string> sigma_dlog_proof_explicit_sha256(const TokenV& sum_tokens, const PbSkV& pbsk, const CommitV& h_sumR);
Outcome<std::string> sigma_dlog_proof_explicit_sha256_with_witness(const TokenV& sum_tokens, const PbSkV& pbsk,
                                                                   const CommitV& h_sumR);
Outcome<bool> sigma_dlog_proof_explicit_verify(std::string_view ser_proof, const CommitV& h_sumR, const TokenV& sum_tokens);
Outcome<bool> sigma_dlog_proof_explicit_verify_sha256(std::string_view ser_proof, const CommitV& h_sumR,
                                                      const TokenV& sum_tokens);
Outcome<std::string> sigma_eq_dlog_proof(const TokenV& sum_tokens, const PbSkV& pbsk, const GHV& gh, const CommitV& h_sumR);
Outcome<std::string> sigma_eq_dlog_proof_sha256(const TokenV& sum_tokens, const PbSkV& pbsk, const GHV& gh,
                                                const CommitV& h_sumR);
Outcome<bool> sigma_eq_dlog_verify(std::string_view text, const GHV& gh, const CommitV& h_sumR, const TokenV& sum_tokens);
Outcome<bool> sigma_eq_dlog_verify_sha256(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                          const TokenV& sum_tokens);
Outcome<std::string> sigma_eq_dlog_same_secret(std::int32_t v, const GHV& gh1, const GHV& gh2);
Outcome<bool> sigma_eq_dlog_verify_same_secret(std::string_view text, const GHV& gh1, const GHV& gh2);
Outcome<std::string> sigma_eq_dlog_ped_proof(std::int32_t v, const GHV& gh1, const GHV& gh2, std::string_view pk);
Outcome<std::string> sigma_eq_dlog_ped_proof_with_witness(std::int32_t v, const GHV& gh1, const GHV& gh2,
                                                          std::string_view pk);
Outcome<bool> sigma_eq_dlog_ped_verify(std::string_view text, const GHV& gh1, const GHV& gh2);
Outcome<std::string> consistency_proof(std::int32_t val, const RandR& r, const GHV& gh, const CommitV& ped_cm,
                                       const TokenV& token, std::string_view pubkey);
Outcome<std::string> consistency_proof_with_witness(std::int32_t val, const RandR& r, const GHV& gh,
                                                    const CommitV& ped_cm, const TokenV& token, std::string_view pubkey);
Outcome<bool> consistency_proof_verify(std::string_view text, const GHV& gh, const CommitV& ped_cm, const TokenV& token,
                                       std::string_view pubkey);

// Range proofs and their generator vectors.
Outcome<std::string> ghvec(std::uint64_t n_bit);
Outcome<std::string> range_proof_single(std::uint64_t n_bit, std::int32_t val, const GHV& gh, const RandR& r);
Outcome<bool> range_proof_single_verify(std::string_view range_proof, std::uint64_t n_bit, const GHV& gh,
                                        const CommitV& ped_cm);
Outcome<std::string> range_proof_test(std::uint64_t n_bit, std::int32_t val);

// The claims behind the eight verifying functions, with the same parameters
// and the same panics: each verifier's verdict is its claims' verdict
// (`verdict` below), and vemo_batch sums the claims of many records.
using proofs::Claims;
Outcome<Claims> sigma_dlog_proof_explicit_claims(std::string_view ser_proof, const CommitV& h_sumR,
                                                 const TokenV& sum_tokens);
Outcome<Claims> sigma_dlog_proof_explicit_claims_sha256(std::string_view ser_proof, const CommitV& h_sumR,
                                                        const TokenV& sum_tokens);
Outcome<Claims> sigma_eq_dlog_claims(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                     const TokenV& sum_tokens);
Outcome<Claims> sigma_eq_dlog_claims_sha256(std::string_view text, const GHV& gh, const CommitV& h_sumR,
                                            const TokenV& sum_tokens);
Outcome<Claims> sigma_eq_dlog_claims_same_secret(std::string_view text, const GHV& gh1, const GHV& gh2);
Outcome<Claims> sigma_eq_dlog_ped_claims(std::string_view text, const GHV& gh1, const GHV& gh2);
Outcome<Claims> consistency_proof_claims(std::string_view text, const GHV& gh, const CommitV& ped_cm,
                                         const TokenV& token, std::string_view pubkey);
Outcome<Claims> range_proof_single_claims(std::string_view range_proof, std::uint64_t n_bit, const GHV& gh,
                                          const CommitV& ped_cm);

// The verdict of a claims function's outcome, its failure passed on.
template <class E>
Result<bool, E> verdict(Result<Claims, E>&& claims) {
  if (!claims.ok()) return Err{claims.error()};
  return claims.value().holds_vartime();
}

// The members of the six classes: properties and methods, the receiver
// first. PbSk.to_token and the secret getters are constant time.
namespace members {
// Commit
std::string commit_get(const CommitV& c);
bool commit_is_zero(const CommitV& c);
CommitV commit_sum(const CommitV& a, const CommitV& b);
CommitV commit_sub(const CommitV& a, const CommitV& b);
std::string commit_x(const CommitV& c);
std::string commit_y(const CommitV& c);
ByteList commit_to_bytes(const CommitV& c);
std::string commit_from_bytes(const CommitV& c, const Bytes32& a);
// rand_r
RandR rand_sum(const RandR& a, const RandR& b);
RandR rand_sub(const RandR& a, const RandR& b);
RandR rand_neg(const RandR& a);
std::string rand_get(const RandR& a);
bool rand_is_zero(const RandR& a);
// GH
std::string gh_h(const GHV& gh);
std::string gh_g(const GHV& gh);
// Token
std::string token_get(const TokenV& t);
// PbSk
TokenV pbsk_to_token(const PbSkV& k, const RandR& r);
std::string pbsk_get_sk(const PbSkV& k);
std::string pbsk_get_pk(const PbSkV& k);
}  // namespace members

}  // namespace vemo::api

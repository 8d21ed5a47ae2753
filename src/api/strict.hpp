// The work behind vemo_strict's functions, with no Python in it
// (docs/strict.md): each relation's prover and the claims its verifier
// checks, over vemo's value types. Contexts, messages and proofs are bytes;
// keys are vemo's key texts (PbSk.get_pk(): the 32-byte compressed point in
// hex); values are unsigned 64-bit amounts. Every failure is a strict::Error
// (ValueError in Python): malformed proof bytes, a refused statement, secrets
// that do not satisfy the statement, no randomness. Provers are constant
// time in their secrets; claims functions read public data only.
//
// The aggregated range proof (range_prove / range_claims) joins this
// namespace from its own unit.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "curve/proofs/claims.hpp"
#include "strict/codec.hpp"
#include "values.hpp"

namespace vemo::api::strict {

using proofs::Claims;
using vemo::strict::Error;
using vemo::strict::Expected;

// value·g + r·h for a 64-bit value. Constant time in value and r.
CommitV commit(std::uint64_t value, const RandR& r, const GHV& gh);

Expected<std::string> prove_opening(Bytes context, std::uint64_t value, const RandR& r, const GHV& gh,
                                    const CommitV& commitment);
Expected<Claims> opening_claims(Bytes context, Bytes proof, const GHV& gh, const CommitV& commitment);

// One proof for 1 to 16 keys: tokens[i] = r·keys[i].
Expected<std::string> prove_consistency(Bytes context, std::uint64_t value, const RandR& r, const GHV& gh,
                                        const CommitV& commitment, const std::vector<std::string>& keys,
                                        const std::vector<TokenV>& tokens);
Expected<Claims> consistency_claims(Bytes context, Bytes proof, const GHV& gh, const CommitV& commitment,
                                    const std::vector<std::string>& keys, const std::vector<TokenV>& tokens);

// The key behind pbsk also makes image from base: pk = sk·h and
// image = sk·base.
Expected<std::string> prove_dleq(Bytes context, const PbSkV& pbsk, const GHV& gh, const CommitV& base,
                                 const TokenV& image);
Expected<Claims> dleq_claims(Bytes context, Bytes proof, const GHV& gh, std::string_view key, const CommitV& base,
                             const TokenV& image);

// A Schnorr signature of message by pbsk's key (pk = sk·h).
Expected<std::string> sign(Bytes context, Bytes message, const PbSkV& pbsk, const GHV& gh);
Expected<Claims> signature_claims(Bytes context, Bytes signature, Bytes message, std::string_view key, const GHV& gh);

// The owner of (commitment, token = r·pk) moves its value into
// new_commitment = value·g + new_r·h without knowing r.
Expected<std::string> prove_balance(Bytes context, std::uint64_t value, const PbSkV& pbsk, const RandR& new_r,
                                    const GHV& gh, const CommitV& commitment, const TokenV& token,
                                    const CommitV& new_commitment);
Expected<Claims> balance_claims(Bytes context, Bytes proof, const GHV& gh, std::string_view key,
                                const CommitV& commitment, const TokenV& token, const CommitV& new_commitment);

inline Expected<bool> verdict(Expected<Claims>&& claims) {
  if (!claims.ok()) return Err{claims.error()};
  return claims.value().holds_vartime();
}

// The verifying functions, declared once: each one's Python name, its
// parameter names and its claims function. vemo_strict's table takes its
// verify rows from here and vemo_batch matches a queued verification
// against the same names.
template <auto F>
struct ClaimsArity;
template <class... A, Expected<Claims> (*F)(A...)>
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

template <auto F>
struct VerdictOf;
template <class... A, Expected<Claims> (*F)(A...)>
struct VerdictOf<F> {
  static Expected<bool> call(A... a) { return verdict(F(a...)); }
};

inline constexpr Verifier<&opening_claims, 4> kVerifyOpening{"verify_opening",
                                                             {"context", "proof", "gh", "commitment"}};
inline constexpr Verifier<&consistency_claims, 6> kVerifyConsistency{
    "verify_consistency", {"context", "proof", "gh", "commitment", "keys", "tokens"}};
inline constexpr Verifier<&dleq_claims, 6> kVerifyDleq{"verify_dleq",
                                                       {"context", "proof", "gh", "key", "base", "image"}};
inline constexpr Verifier<&signature_claims, 5> kVerifySignature{
    "verify_signature", {"context", "signature", "message", "key", "gh"}};
inline constexpr Verifier<&balance_claims, 7> kVerifyBalance{
    "verify_balance", {"context", "proof", "gh", "key", "commitment", "token", "new_commitment"}};

inline constexpr std::tuple kVerifiers{kVerifyOpening, kVerifyConsistency, kVerifyDleq, kVerifySignature,
                                       kVerifyBalance};

}  // namespace vemo::api::strict

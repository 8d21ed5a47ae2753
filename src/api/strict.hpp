// The work behind vemo_strict's functions, with no Python in it
// (docs/strict.md): each relation's prover and the claims its verifier
// checks, over vemo's value types. Contexts, messages and proofs are bytes;
// keys are vemo's key texts (PbSk.get_pk(): the 32-byte compressed point in
// hex); values are unsigned 64-bit amounts. Every failure is a strict::Error
// (ValueError in Python): malformed proof bytes, a refused statement, secrets
// that do not satisfy the statement, no randomness. Provers are constant
// time in their secrets; claims functions read public data only.
//
// The aggregated range proof joins this namespace from its own unit
// (strict_range.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "curve/proofs/claims.hpp"
#include "strict/codec.hpp"
#include "strict_range.hpp"
#include "values.hpp"
#include "verifiers.hpp"

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

// The verifying functions, declared once: each one's Python name, its
// parameter names and its claims function. vemo_strict's table takes its
// verify rows from here and vemo_batch matches a queued verification
// against the same names.
using api::VerdictOf;
using api::Verifier;

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

inline constexpr Verifier<&range_proof_claims, 5> kVerifyRange{
    "verify_range", {"context", "proof", "gh", "bits", "commitments"}};

inline constexpr std::tuple kVerifiers{kVerifyOpening, kVerifyConsistency, kVerifyDleq, kVerifySignature,
                                       kVerifyBalance, kVerifyRange};

}  // namespace vemo::api::strict

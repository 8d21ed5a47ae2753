// The suite's one linear-relation engine (docs/strict.md, "Linear
// relations"): a relation is data, m equations over k secret scalars,
//
//   P_j = sum over the terms t of equation j of w_{i(j,t)} * B_{j,t},
//
// and one prover and one verifier run any such table. A relation is public
// (its images and bases are the statement); only the secrets passed to
// prove() are secret.
//
// Proof bytes: A_0 .. A_{m-1} (points, none the identity) then z_0 .. z_{k-1}
// (scalars), 32 * (m + k) bytes, exactly one encoding per proof.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec.hpp"
#include "curve/point.hpp"
#include "curve/proofs/claims.hpp"
#include "curve/scalar.hpp"
#include "transcript.hpp"

namespace vemo::strict {

struct Term {
  std::uint32_t secret;  // index into the secrets, below Relation::secrets
  curve::Point base;     // never the identity
};

struct LinearEquation {
  curve::Point image;
  std::vector<Term> terms;
};

// A statement item absorbed after the equations (the signed message).
struct ExtraItem {
  std::string label;
  std::string bytes;
};

struct Relation {
  std::string kind;           // the transcript's KIND
  std::uint32_t secrets = 0;  // k
  std::vector<LinearEquation> equations;
  std::vector<ExtraItem> extra;
  // Bit i set: secret i is below 2^64 (a value), a public fact of the
  // statement's types. It lets the prover's check of the statement take
  // the value's term from the low windows only; proofs are the same.
  std::uint64_t narrow = 0;

  std::size_t proof_size() const { return kPointBytes * equations.size() + kScalarBytes * secrets; }
};

// Whether the table is well formed: at least one secret and one equation,
// every equation with a term, every term's index below k, every secret used,
// no base the identity. The relations of relations.hpp always are; the
// engine checks again so that no table reaches the transcript half-formed.
Expected<bool> check_shape(const Relation& rel);

// The transcript after the start and the whole statement: shape, images and
// bases, extra items.
Transcript statement_transcript(const Relation& rel, std::string_view context);

// A proof of rel for the secrets w[0 .. k). Constant time in the secrets:
// the only facts about them that steer a branch are whether they satisfy the
// statement (refused with an Error, as the caller learns anyway) and whether
// a nonce came out zero (drawn again). Fails without randomness from the OS.
Expected<std::string> prove(const Relation& rel, std::string_view context, const std::vector<curve::Scalar>& w);

// Test seam for known-answer vectors, not reachable from the suite's
// functions: while set on this thread, the 32 random bytes R of the nonce
// derivation are these instead of the OS's. Fixing R is safe by
// construction (the nonces still depend on the statement, the context and
// the secrets) but makes proofs reproducible. nullopt restores the OS.
void set_nonce_random_for_testing(const std::optional<std::array<unsigned char, 32>>& r);

// The verification equations of a proof, one claim per equation:
//   sum_t z_{i(j,t)} * B_{j,t} - c * P_j - A_j = O.
// Malformed proof bytes or a malformed table are an Error (section 1's
// strict decoding); a well-formed false proof gives claims that do not hold.
// Public data; variable time.
Expected<proofs::Claims> claims_vartime(const Relation& rel, std::string_view context, std::string_view proof);

}  // namespace vemo::strict

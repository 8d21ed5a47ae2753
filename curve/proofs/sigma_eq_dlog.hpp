// Proof that two public points share one secret discrete logarithm over two
// bases: pk_l = x·G1 and pk_r = x·G2. One nonce serves both bases, so the
// two responses are equal, and the verifier requires them to be. The challenge is taken over (t_l, t_r, G1, G2, pk_l, pk_r)
// with SHA-512 or SHA-256 and is stored in the record.
#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

#include "curve/hash.hpp"
#include "curve/json_read.hpp"
#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"
#include "claims.hpp"

namespace vemo::proofs {

struct DLogEqProof {
  curve::Bn254Point pk_l;                    // x·G1
  curve::Bn254Point pk_r;                    // x·G2
  curve::Bn254Point pk_t_rand_commitment_l;  // k·G1
  curve::Bn254Point pk_t_rand_commitment_r;  // k·G2
  curve::Bn254Scalar challenge_response_l;   // k − c·x
  curve::Bn254Scalar challenge_response_r;   // k − c·x
  curve::Bn254Scalar challenge;              // c

  // No checks: comparing pk_l and pk_r with expected points is the caller's
  // business. Fails only when the OS gives no randomness.
  static Result<DLogEqProof, Panic> prove(curve::Digest digest, const curve::Bn254Scalar& x, const curve::Bn254Point& g1,
                                          const curve::Bn254Point& g2);
  // Both equations, the stored challenge, distinct bases (over equal bases
  // the statement says nothing about a second logarithm), and equal
  // responses: with one nonce behind both commitments an honest record
  // always has them, and with two different responses the two sides could
  // hold for two different logarithms.
  Claims claims(curve::Digest digest, const curve::Bn254Point& g1, const curve::Bn254Point& g2) const;
  bool verify(curve::Digest digest, const curve::Bn254Point& g1, const curve::Bn254Point& g2) const {
    return claims(digest, g1, g2).holds_vartime();
  }

  nlohmann::ordered_json to_json() const;
  static Result<DLogEqProof, json::JsonError> from_json(std::string_view text);
};

}  // namespace vemo::proofs

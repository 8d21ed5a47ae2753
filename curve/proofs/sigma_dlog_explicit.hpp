// Schnorr proof of knowledge of x with Y = x·B over an explicit base B.
//
// The ledger uses it to show that a sum of audit tokens is the secret key
// times a sum of blinding points. The challenge is taken over (t, B, Y) with
// SHA-512 or SHA-256; it is not stored, the verifier always recomputes it.
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

// The two products in the verifier's equation, published beside a proof:
// chalrsph2r + challengepk = pk_t_rand_commitment.
struct DLogProofExplicitMulWitness {
  curve::Bn254Point chalrsph2r;   // z·B
  curve::Bn254Point challengepk;  // c·Y

  nlohmann::ordered_json to_json() const;
};

struct DLogProofExplicit {
  curve::Bn254Point pk;                    // Y = x·B
  curve::Bn254Point pk_t_rand_commitment;  // t = k·B
  curve::Bn254Scalar challenge_response;   // z = k − c·x

  // Fails only when the OS gives no randomness for the nonce.
  static Result<DLogProofExplicit, Panic> prove(curve::Digest digest, const curve::Bn254Scalar& x,
                                                const curve::Bn254Point& base);
  // z·B + c·pk − t = O, and pk is the expected public point.
  Claims claims(curve::Digest digest, const curve::Bn254Point& base, const curve::Bn254Point& expected) const;
  bool verify(curve::Digest digest, const curve::Bn254Point& base, const curve::Bn254Point& expected) const {
    return claims(digest, base, expected).holds_vartime();
  }
  // Recomputes the SHA-256 challenge, as the verifier does. For a proof
  // made by prove with SHA-256, z·B = t − c·pk (z = k − c·x), so the first
  // product is a subtraction.
  DLogProofExplicitMulWitness generate_mul_witness(const curve::Bn254Point& base) const;

  nlohmann::ordered_json to_json() const;
  static Result<DLogProofExplicit, json::JsonError> from_json(std::string_view text);
};

}  // namespace vemo::proofs

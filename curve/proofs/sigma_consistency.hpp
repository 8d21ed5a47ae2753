// Proof that a commitment cm = val·g + r·h and an audit token tk = r·pk
// share their blinding scalar r, without revealing val or r.
//
// The SHA-256 challenge covers (g, h, t1, t2, pk, cm, tk) and is stored.
#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

#include "curve/json_read.hpp"
#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"
#include "claims.hpp"

namespace vemo::proofs {

// The five products of the verifier's two equations, published beside a
// proof: s1g + s2h = t1 + chalcm and s2pubkey = t2 + chaltk.
struct ConsistencyProofMulWitness {
  curve::Bn254Point chalcm;    // c·cm
  curve::Bn254Point chaltk;    // c·tk
  curve::Bn254Point s2pubkey;  // s2·pk
  curve::Bn254Point s1g;       // s1·g
  curve::Bn254Point s2h;       // s2·h

  nlohmann::ordered_json to_json() const;
};

struct ConsistencyProof {
  curve::Bn254Point t1;         // k1·g + k2·h
  curve::Bn254Point t2;         // k2·pk
  curve::Bn254Scalar s1;        // c·val + k1
  curve::Bn254Scalar s2;        // c·r + k2
  curve::Bn254Scalar challenge; // c

  // Refuses ("assertion failed: false") when cm is not val·g + r·h, or in
  // the vanishing case of two equal nonces. The token is not tested: a
  // wrong one gives a proof that fails verification. val is the amount
  // (secret), as a signed integer: its commitment needs only the low
  // windows of g's table.
  static Result<ConsistencyProof, Panic> prove(std::int64_t val, const curve::Bn254Scalar& r,
                                               const curve::Bn254Point& g, const curve::Bn254Point& h,
                                               const curve::Bn254Point& cm, const curve::Bn254Point& pk,
                                               const curve::Bn254Point& tk);
  // s1·g + s2·h − c·cm − t1 = O, s2·pk − c·tk − t2 = O, and the stored
  // challenge is the recomputed one.
  Claims claims(const curve::Bn254Point& g, const curve::Bn254Point& h, const curve::Bn254Point& cm,
                const curve::Bn254Point& pk, const curve::Bn254Point& tk) const;
  bool verify(const curve::Bn254Point& g, const curve::Bn254Point& h, const curve::Bn254Point& cm,
              const curve::Bn254Point& pk, const curve::Bn254Point& tk) const {
    return claims(g, h, cm, pk, tk).holds_vartime();
  }
  // For a proof made by prove: cm has been checked to be val·g + r·h, so
  // c·cm = s1·g + s2·h − t1, computed from public values only.
  ConsistencyProofMulWitness generate_mul_witness(const curve::Bn254Point& g, const curve::Bn254Point& h,
                                                  const curve::Bn254Point& cm, const curve::Bn254Point& pk,
                                                  const curve::Bn254Point& tk) const;

  nlohmann::ordered_json to_json() const;
  static Result<ConsistencyProof, json::JsonError> from_json(std::string_view text);
};

}  // namespace vemo::proofs

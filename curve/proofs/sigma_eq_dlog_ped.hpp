// Proof that a fresh commitment cm1 hides the square of the value in a fresh
// commitment cm2.
//
// With cm2 = v·g + r2·h, the commitment cm3 = v·cm2 + (r1 − r2·v)·h equals
// cm1 = v²·g + r1·h; proving knowledge of one exponent v that is both the
// value of cm2 and the multiplier of cm2 inside cm3 shows the square
// relation. The record also carries the audit token r1·pk and, in the open,
// r1 and r2. The SHA-256 challenge covers only the prover's commitments
// T1 = k3·g + k1·h and T2 = k3·cm2 + k2·h, which the verifier rebuilds.
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

// The six products of the verifier's rebuilding, published beside a proof:
// T1 = chalRspDg + chalRspD1h − challengecm2 and
// T2 = chalRspDcm2 + chalRspD2h − challengecm3.
struct DLogEqProofPedMulWitness {
  curve::Bn254Point chalRspDg;     // D·g
  curve::Bn254Point chalRspD1h;    // D1·h
  curve::Bn254Point challengecm2;  // c·cm2
  curve::Bn254Point chalRspDcm2;   // D·cm2
  curve::Bn254Point chalRspD2h;    // D2·h
  curve::Bn254Point challengecm3;  // c·cm3

  nlohmann::ordered_json to_json() const;
};

struct DLogEqProofPed {
  curve::Bn254Point cm1;                    // v²·g + r1·h
  curve::Bn254Point cm2;                    // v·g + r2·h
  curve::Bn254Point cm3;                    // v·cm2 + (r1 − r2·v)·h
  curve::Bn254Point token;                  // r1·pk
  curve::Bn254Scalar r1;                    // published blinding scalars
  curve::Bn254Scalar r2;
  curve::Bn254Scalar challenge;             // c
  curve::Bn254Scalar challenge_response_D;  // c·v + k3
  curve::Bn254Scalar challenge_response_D1; // c·r2 + k1
  curve::Bn254Scalar challenge_response_D2; // c·(r1 − r2·v) + k2

  // No checks. Fails only when the OS gives no randomness. v is the secret
  // amount as a signed 32-bit integer, so that v and v² both fit the low
  // windows of g's table.
  static Result<DLogEqProofPed, Panic> prove(std::int32_t amount, const curve::Bn254Point& g,
                                             const curve::Bn254Point& h, const curve::Bn254Point& pk);
  // Succeeds exactly when the challenge over the rebuilt T1, T2 is the
  // stored one. cm1, token, r1 and r2 are not examined: a caller that
  // relies on them compares them itself. The check is a hash comparison,
  // not a linear equation, so the claims carry it decided, with no
  // equation left to sum.
  Claims claims(const curve::Bn254Point& g, const curve::Bn254Point& h) const;
  bool verify(const curve::Bn254Point& g, const curve::Bn254Point& h) const { return claims(g, h).holds_vartime(); }
  DLogEqProofPedMulWitness generate_mul_witness(const curve::Bn254Point& g, const curve::Bn254Point& h) const;

  nlohmann::ordered_json to_json() const;
  static Result<DLogEqProofPed, json::JsonError> from_json(std::string_view text);
};

}  // namespace vemo::proofs

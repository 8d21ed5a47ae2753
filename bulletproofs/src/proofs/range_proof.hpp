// The aggregated range proof: each of m committed values V_j = v_j·g + γ_j·h
// lies in [0, 2^n), shown with one proof over N = n·m bits that ends in the
// inner-product argument. Made non-interactive with SHA-256 challenges:
//   y = H(A, S), z = H(y·B) with B the curve's generator,
//   x = H(T1, T2, g, h, V_0 … V_{m−1}, V_0 … V_{m−1})  (the list twice),
//   x_u = SHA-256 over the minimal big-endian bytes of τ_x, μ, t and four
//         zero bytes, reduced mod r; u = x_u·g.
// For an index i < N, j = i / n is the value and k = i mod n its bit.
//
// Prover, with bits a_L of W = Σ v_j·2^(j·n) (low N bits) and a_R = a_L − 1:
//   A  = α·h + Σ (a_L[i] ? Gv[i] : −Hv[i])
//   S  = ρ·h + Σ s_L[i]·Gv[i] + Σ s_R[i]·Hv[i]
//   t(X) = ⟨l(X), r(X)⟩ with l(X) = a_L − z + s_L·X and
//   r(X) = y^i·(a_R + z + s_R·X) + z^(j+2)·2^k; T1, T2 commit to its
//   coefficients t1, t2 with blindings τ1, τ2.
//   τ_x = τ2·x² + τ1·x + Σ z^(j+2)·γ_j,  μ = α + ρ·x,  t = ⟨l(x), r(x)⟩,
//   and the inner-product argument over (Gv, h') for l(x), r(x), where
//   h'[i] = y^−i·Hv[i].
// Verifier, two separate equations (merging them with fixed weights would
// accept records that the two checks refuse):
//   t·g + τ_x·h = δ·g + Σ z^(j+2)·V_j + x·T1 + x²·T2, with
//   δ = (z − z²)·Σ_{i<N} y^i − Σ_j z^(j+3)·Σ_{k<n} 2^k;
//   and the inner-product argument for
//   P = A + x·S − μ·h + t·u − z·Σ Gv[i] + Σ (z·y^i + z^(j+2)·2^k)·h'[i],
//   evaluated unrolled over Gv and Hv as one multi-scalar multiplication.
//
// Secrets: the values and their bits, the blindings γ, α, ρ, τ1, τ2, s_L,
// s_R and t1, t2 stay on constant-time paths: a masked selection for A,
// the constant-time multi-scalar multiplication for S and the constant-time
// fixed-base multiplications for α·h, T1, T2 and V. l(x) and r(x) are blinded
// by s_L and s_R, so the inner-product prover treats them as public. The verifier sees public data only and runs in variable time.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "curve/encoding.hpp"
#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"
#include "curve/proofs/claims.hpp"
#include "inner_product.hpp"

namespace vemo::bulletproofs {

struct RangeProof {
  curve::Point A;   // commitment to the bit vectors
  curve::Point S;   // commitment to the blinding vectors
  curve::Point T1;  // commitment to t1
  curve::Point T2;  // commitment to t2
  curve::Scalar tau_x;
  curve::Scalar miu;
  curve::Scalar tx;
  InnerProductArg inner_product_proof;

  // Proves that each values[j] (taken as its canonical integer) lies in
  // [0, 2^n); blindings[j] is its blinding. Gv and Hv hold N = n·m points.
  // A value out of range still gives a record, one that does not verify.
  // Panics: a blinding count different from the value count, Gv/Hv not of
  // length N, N not a power of two, no randomness, a zero challenge.
  static Result<RangeProof, Panic> prove(const std::vector<curve::Point>& Gv, const std::vector<curve::Point>& Hv,
                                         const curve::Point& g, const curve::Point& h,
                                         const std::vector<curve::Scalar>& values,
                                         const std::vector<curve::Scalar>& blindings, std::uint64_t n);

  // The two equations above, for the commitments in the order of the
  // values. Panics: Gv/Hv not of length N, N not a power of two, fewer L/R
  // pairs than levels, a zero challenge.
  Result<proofs::Claims, Panic> claims(const std::vector<curve::Point>& Gv, const std::vector<curve::Point>& Hv,
                                       const curve::Point& g, const curve::Point& h,
                                       const std::vector<curve::Point>& commitments, std::uint64_t n) const;
  // Ok(true) when the record proves the commitments, Ok(false) otherwise;
  // the two equations are checked separately. Panics as claims.
  Result<bool, Panic> verify(const std::vector<curve::Point>& Gv, const std::vector<curve::Point>& Hv,
                             const curve::Point& g, const curve::Point& h,
                             const std::vector<curve::Point>& commitments, std::uint64_t n) const;
};

// The prover's first commitment A = α·h + Σ (a_L[i] ? Gv[i] : −Hv[i]),
// where a_L (returned as 0/1 scalars, N = Gv.size() entries, Hv as long) are
// the low N bits of W = Σ v_j·2^(j·n). Constant time in alpha and the values.
curve::Point commit_bits(const std::vector<curve::Point>& Gv, const std::vector<curve::Point>& Hv,
                         const curve::Point& h, const curve::Scalar& alpha, const std::vector<curve::Scalar>& values,
                         std::uint64_t n, std::vector<curve::Scalar>& a_L);

// The prover's second commitment S = rho·h + Σ s_L[i]·Gv[i] + Σ s_R[i]·Hv[i]
// (s_L, s_R: Gv.size() blinding scalars each). Constant time in the scalars.
curve::Point commit_blinding(const std::vector<curve::Point>& Gv, const std::vector<curve::Point>& Hv,
                             const curve::Point& h, const curve::Scalar& rho, const curve::Scalar* s_L,
                             const curve::Scalar* s_R);

// x_u of the record: SHA-256 over the minimal big-endian bytes of tau_x,
// miu and tx (zero as the byte 0x00) and 00 00 00 00, reduced mod r.
curve::Scalar scalar_challenge(const curve::Scalar& tau_x, const curve::Scalar& miu, const curve::Scalar& tx);

// JSON object with the members A, S, T1, T2, tau_x, miu, tx,
// inner_product_proof in that order.
nlohmann::ordered_json to_json(const RangeProof& proof);
// Reads the record from the reader (object in any member order, unknown
// members skipped, or the array form).
Result<RangeProof, json::JsonError> read_range_proof(json::Reader& reader);
// A whole text holding one record and nothing else.
Result<RangeProof, json::JsonError> parse_range_proof(std::string_view text);

}  // namespace vemo::bulletproofs

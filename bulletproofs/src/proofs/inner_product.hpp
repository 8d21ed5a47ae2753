// The inner-product argument: for generator vectors G and H of equal
// power-of-two length N, a point u and a point P, the prover shows that it
// knows vectors a and b with
//     P = Σ a[i]·G[i] + Σ b[i]·H[i] + ⟨a, b⟩·u
// in 2·log2(N) points and two integers.
//
// Each level halves the vectors. With x the level's challenge (SHA-256 over
// L, R, u) the prover sends
//     L = ⟨a_lo, b_hi⟩·u + Σ a_lo[i]·G_hi[i] + Σ b_hi[i]·H_lo[i]
//     R = ⟨a_hi, b_lo⟩·u + Σ a_hi[i]·G_lo[i] + Σ b_lo[i]·H_hi[i]
// and both sides continue with
//     a' = x·a_lo + x⁻¹·a_hi        b' = x⁻¹·b_lo + x·b_hi
//     G' = x⁻¹·G_lo + x·G_hi        H' = x·H_lo + x⁻¹·H_hi
//     P' = x²·L + x⁻²·R + P.
// When one entry is left, the verifier checks P = a·G + b·H + a·b·u.
//
// Unrolled, the folded generators are G_final = Σ s[i]·G[i] and H_final =
// Σ s[i]⁻¹·H[i], where s[i] is the product over the levels k of x_k when
// bit (log2 N − 1 − k) of i is set and x_k⁻¹ otherwise, so the whole check
// is the single equation
//     P + Σ_k (x_k²·L_k + x_k⁻²·R_k) − a·Σ s[i]·G[i] − b·Σ s[i]⁻¹·H[i] − a·b·u = 0,
// which is what the verifier evaluates (one multi-scalar multiplication).
// Since every step of the recursion is a linear map on group elements, the
// two forms accept exactly the same records.
//
// Secrecy: in the range proof a and b are the vectors l and r, which are
// blinded by s_L and s_R (the unshortened protocol publishes them), so the
// prover treats them as public and uses variable-time arithmetic.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "curve/bigint.hpp"
#include "curve/encoding.hpp"
#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/proofs/claims.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"

namespace vemo::bulletproofs {

inline constexpr const char* kNotPowerOfTwo = "assertion failed: n.is_power_of_two()";

inline bool is_power_of_two(std::uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Σ a[i]·b[i] mod r (0 for empty vectors); a panic when the lengths differ.
Result<curve::Scalar, Panic> inner_product(const std::vector<curve::Scalar>& a, const std::vector<curve::Scalar>& b);

// The folding scalars of a record checked over N generators: the level
// challenges and their inverses, and s[i] and s[i]⁻¹ for every index.
struct FoldingScalars {
  std::vector<curve::Scalar> x, x_inv;  // per level, first level first
  std::vector<curve::Scalar> s, s_inv;  // per generator index
};

// The challenge of one level from its pair (L, R). vemo's records draw it
// with level_challenge; the strict suite from its transcript.
using LevelChallenge = std::function<curve::Scalar(const curve::Point& L, const curve::Point& R)>;

struct InnerProductArg {
  std::vector<curve::Point> L;  // per level, first level first
  std::vector<curve::Point> R;
  curve::BigInt a_tag;  // read as its residue modulo r
  curve::BigInt b_tag;

  // Proves over G and H (equal power-of-two length) with the vectors a and
  // b of the same length; L_list and R_list are the pairs gathered so far
  // (empty for a fresh argument). P enters no computation of the prover: it
  // is part of the statement only. Panics: length mismatches, a length that
  // is not a power of two, a zero challenge.
  static Result<InnerProductArg, Panic> prove(const std::vector<curve::Point>& G, const std::vector<curve::Point>& H,
                                              const curve::Point& u, const curve::Point& P,
                                              std::vector<curve::Scalar> a, std::vector<curve::Scalar> b,
                                              std::vector<curve::Point> L_list = {},
                                              std::vector<curve::Point> R_list = {});

  // As prove, with H[i] standing for h_factors[i]·H[i] (every factor non-zero).
  // The range proof passes Hv with the factors y^−i, which saves multiplying
  // out the modified generators.
  static Result<InnerProductArg, Panic> prove_scaled(std::vector<curve::Point> G, std::vector<curve::Point> H,
                                                     std::vector<curve::Scalar> h_factors, const curve::Point& u,
                                                     std::vector<curve::Scalar> a, std::vector<curve::Scalar> b,
                                                     std::vector<curve::Point> L_list, std::vector<curve::Point> R_list);
  // As prove_scaled, with each level's challenge drawn by `challenge`
  // (called once per level, first level first, after that level's L and R
  // are known) instead of level_challenge.
  static Result<InnerProductArg, Panic> prove_scaled_with(std::vector<curve::Point> G, std::vector<curve::Point> H,
                                                          std::vector<curve::Scalar> h_factors, const curve::Point& u,
                                                          std::vector<curve::Scalar> a, std::vector<curve::Scalar> b,
                                                          std::vector<curve::Point> L_list,
                                                          std::vector<curve::Point> R_list,
                                                          const LevelChallenge& challenge);

  // Ok(true) when the argument holds for (G, H, u, P), Ok(false) when it
  // does not (the inner-product failure). Panics: G and H of different
  // lengths, a length that is not a power of two, fewer L/R pairs than
  // levels, a zero challenge. Pairs beyond the last level are ignored.
  // Variable time (public data).
  Result<bool, Panic> verify(const std::vector<curve::Point>& G, const std::vector<curve::Point>& H,
                             const curve::Point& u, const curve::Point& P) const;

  // The challenges and folding scalars for N generators and the point u,
  // with the panics of verify (N must be a power of two).
  Result<FoldingScalars, Panic> folding_scalars(std::size_t N, const curve::Point& u) const;
  // The folding scalars for N generators from the level challenges
  // themselves (log2 N of them, none zero), however they were drawn.
  // Panics: N not a power of two, a challenge count other than log2 N, a
  // zero challenge.
  static Result<FoldingScalars, Panic> folding_from_challenges(std::vector<curve::Scalar> x, std::size_t N);

  // Adds the argument's own terms of the unrolled check, x_k²·L_k and
  // x_k⁻²·R_k for every level k of `folding`, to an equation being built:
  // verify's, and the range proof's second equation, which folds the
  // argument into its own. `folding` comes from folding_scalars on this
  // record, so every level has its pair. Variable time (public data).
  void add_lr_terms(const FoldingScalars& folding, proofs::Equation& e) const;
};

// The level challenge: SHA-256 over L, R, u.
curve::Scalar level_challenge(const curve::Point& L, const curve::Point& R, const curve::Point& u);

// JSON object {"L": [points], "R": [points], "a_tag": hex, "b_tag": hex}.
nlohmann::ordered_json to_json(const InnerProductArg& arg);
// Reads the record (object with members in any order, or array form).
Result<InnerProductArg, json::JsonError> read_inner_product_arg(json::Reader& reader);

}  // namespace vemo::bulletproofs

// The strict suite's aggregated range proof (docs/strict.md, "Range
// proofs"): m committed values V_j = v_j·g + γ_j·h, each in [0, 2^n), in one
// proof of 2·log2(n·m') + 9 points and scalars, m' being m rounded up to a
// power of two. Every challenge comes from the suite's transcript, which
// holds n, m, the generators' digest, g, h and every V_j before the first
// prover message, so no commitment can be fitted to the challenges.
//
// Padding: the prover proves m' values, the given ones followed by zeros
// with zero blindings, whose commitments are the identity; the verifier
// adds the same identities. Only the m given commitments enter the
// transcript, and m itself is absorbed, so the padding is not malleable.
//
// Secrets (values, blindings, their bits, the nonces α, ρ, τ1, τ2, s_L, s_R
// and t1, t2) stay on constant-time paths. The vectors l(x), r(x) the
// inner-product argument shortens are blinded by s_L, s_R (the unshortened
// protocol would publish them), so from there the prover runs on public
// data. The verifier takes public data only and is variable time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec.hpp"
#include "curve/point.hpp"
#include "curve/proofs/claims.hpp"
#include "curve/scalar.hpp"

namespace vemo::strict {

inline constexpr std::size_t kMaxRangeValues = 64;

// The proof's length in bytes for n bits and m values, 32·(2·log2(n·m') + 9);
// an Error when n is not 8, 16, 32 or 64 or m is not from 1 to 64.
Expected<std::size_t> range_proof_length(std::uint64_t bits, std::size_t m);

// Proves that every values[j] lies in [0, 2^bits), with blindings[j] its
// commitment's blinding, for the caller's pair (g: values, h: blindings;
// neither the identity). Nonces are hedged (docs/strict.md, section 4)
// with 32 bytes from the operating system. Errors: the shape (bits, m,
// lengths), a value of 2^bits or more (the one fact about the values a
// failure tells), no randomness. Constant time in the values and blindings.
Expected<std::string> range_prove(std::string_view context, const curve::Point& g, const curve::Point& h,
                                  std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                  const std::vector<curve::Scalar>& blindings);

// The verification as linear claims: the checks that are not linear
// (shape, strict decoding, non-zero challenges) decided up front, then one
// equation Σ s_i·P_i = O. Errors: the shape and malformed bytes (with the
// item and what is wrong). Variable time (public data).
Expected<proofs::Claims> range_claims_vartime(std::string_view context, const curve::Point& g,
                                              const curve::Point& h, std::uint64_t bits,
                                              const std::vector<curve::Point>& commitments, std::string_view proof);

namespace testing {

// range_prove with the hedge's random bytes R given: the golden vectors'
// proofs are fixed by their inputs and R.
Expected<std::string> range_prove_with_random(std::string_view context, const curve::Point& g,
                                              const curve::Point& h, std::uint64_t bits,
                                              const std::vector<std::uint64_t>& values,
                                              const std::vector<curve::Scalar>& blindings,
                                              const std::array<unsigned char, 32>& random);

// The same prover without the range check: a value of 2^bits or more is
// proved from its low bits, which the commitment does not match, so the
// proof must fail. For the tests that show it does.
Expected<std::string> range_prove_unchecked(std::string_view context, const curve::Point& g, const curve::Point& h,
                                            std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                            const std::vector<curve::Scalar>& blindings,
                                            const std::array<unsigned char, 32>& random);

}  // namespace testing

}  // namespace vemo::strict

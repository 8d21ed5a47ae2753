// The strict suite's aggregated range proof as work functions (no Python):
// typed C++ values in, bytes or claims out, every failure an Error value
// with a precise message. The proof itself is strict/range_proof.hpp;
// these take vemo's value types so a binding can pass its objects through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "curve/proofs/claims.hpp"
#include "strict/codec.hpp"
#include "values.hpp"

namespace vemo::api::strict {

using vemo::strict::Error;
using vemo::strict::Expected;

// The proof that each values[j] lies in [0, 2^bits) for the commitment
// values[j]·g + blindings[j]·h of the pair gh, bound to `context`. bits is
// 8, 16, 32 or 64; 1 to 64 values, one blinding each. Constant time in the
// values and blindings (a refused value is the one fact a failure tells).
Expected<std::string> range_prove(std::string_view context, const GHV& gh, std::uint64_t bits,
                                  const std::vector<std::uint64_t>& values, const std::vector<RandR>& blindings);

// The proof's verification as linear claims (one equation; the
// non-linear checks decided up front): a verdict alone with
// Claims::holds_vartime, or many in one batch. Errors: the shape and
// malformed bytes. Variable time (public data).
Expected<proofs::Claims> range_claims(std::string_view context, const GHV& gh, std::uint64_t bits,
                                      const std::vector<CommitV>& commitments, std::string_view proof);

// The same in vemo_strict's order of parameters (the context, and for the
// verifier the proof, first, as for the suite's other proofs).
Expected<std::string> prove_range(Bytes context, std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                  const std::vector<RandR>& blindings, const GHV& gh);
Expected<proofs::Claims> range_proof_claims(Bytes context, Bytes proof, const GHV& gh, std::uint64_t bits,
                                            const std::vector<CommitV>& commitments);

}  // namespace vemo::api::strict

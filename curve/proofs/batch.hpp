// Batch verification: the verdicts of many records' claims at the cost of
// about one large multi-scalar sum.
//
// Every equation of every record is scaled by its own fresh 128-bit weight
// from the operating system's random source, equal points across records
// (the generator pair, the generator vectors) are merged, and the whole is
// one variable-time sum. When it is the identity, every equation holds
// except with probability about 2^-128 over the weights: an equation that
// does not hold would have to be cancelled by a combination the weights,
// drawn after the records were fixed, hit only by chance. When it is not,
// the batch is split in halves and each half summed again, down to single
// records, which are checked alone, deterministically, exactly as their
// one-by-one verifier does. So a record that holds is always accepted (its
// equations vanish from every sum), and a record that does not is accepted
// only if a sum containing it was the identity, the 2^-128 chance above.
//
// Records whose checks already failed, or that carry no equation (a hash
// comparison), take their decided verdict and stay out of the sums.
// Everything here is public data; variable time.
#pragma once

#include <vector>

#include "claims.hpp"

namespace vemo::proofs {

// verdicts[i] == claims[i]->holds_vartime() for every i (up to the 2^-128
// soundness error above), computed on up to `threads` threads. Without
// randomness from the OS the records are checked one by one instead.
std::vector<bool> verify_batch_vartime(const std::vector<const Claims*>& claims, unsigned threads);

}  // namespace vemo::proofs

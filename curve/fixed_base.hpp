// The fixed-base engine: secret scalars times bases that are used again
// and again (the generator pair of a ledger, public keys of busy accounts).
//
// A base seen for the second time gets a table of signed 5-bit window
// multiples: entry [w][j-1] = j·32^w·B for j = 1..16, affine. Then k·B is one
// mixed addition per window and no doublings. At most eight tables are kept,
// process-wide, under the second-sight policy of row_cache.hpp, guarded by
// a mutex; until its table exists a base goes through msm (scalar_mul.hpp).
// Lookups into a table scan every entry of the window with masked moves,
// digits are recoded without branches, and a zero digit is absorbed by a
// masked move, so the time does not depend on the scalars. The bases are
// public: the cache looks them up by value. Results are identical to
// Point::scalar_mul. Every function is safe to call from many threads.
#pragma once

#include "point.hpp"

namespace vemo::curve {

// k·B, constant time in k.
Bn254Point scalar_mul_fixed(const Bn254Point& base, const Bn254Scalar& k);
// a·A + b·B in one pass, constant time in a and b (label "add_point").
Bn254Point double_scalar_mul_fixed(const Bn254Point& A, const Bn254Scalar& a, const Bn254Point& B,
                                   const Bn254Scalar& b);

// a·A + b·B for a secret signed 64-bit a (an amount) and a secret scalar b:
// the same point as with a = Scalar::from_i64(a), but the amount's
// magnitude (at most 2^63) needs only the 13 low windows of A's table, and
// its sign is a masked negation of the digits. Constant time in a and b
// (the schedule is the same for every a). Projective result.
ProjPoint amount_scalar_mul_fixed_proj(const Bn254Point& A, std::int64_t a, const Bn254Point& B,
                                       const Bn254Scalar& b);
// The same for a secret unsigned 64-bit a (0 .. 2^64 - 1): the same point
// as with a = Scalar::from_u64(a), from the same 13 low windows of A's table.
ProjPoint u64_scalar_mul_fixed_proj(const Bn254Point& A, std::uint64_t a, const Bn254Point& B,
                                    const Bn254Scalar& b);

// The same two results in projective form, for callers that bring several
// results to affine with one inversion.
ProjPoint scalar_mul_fixed_proj(const Bn254Point& base, const Bn254Scalar& k);
ProjPoint double_scalar_mul_fixed_proj(const Bn254Point& A, const Bn254Scalar& a, const Bn254Point& B,
                                       const Bn254Scalar& b);

}  // namespace vemo::curve

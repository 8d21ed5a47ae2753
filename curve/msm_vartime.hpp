// The variable-time multiplication engine: sums of public scalars times
// public points (verification, batch verification, and proving steps whose
// inputs are public). Its one-term form is Bn254Point::scalar_mul_vartime,
// declared with the point type. Secrets go through scalar_mul.hpp or
// fixed_base.hpp instead: nothing here is constant time.
//
// Odd-multiple rows of the points are kept between calls: pinned rows for
// the library's own generators, and a bounded cache of recurring caller
// points (msm_rows.hpp). Every function is safe to call from many threads
// at once.
#pragma once

#include <cstddef>

#include "point.hpp"
#include "scalar.hpp"

namespace vemo::curve {

// Sum of scalars[i]·points[i] for i < n; n = 0 gives the identity. Straus
// for the sums of one proof, Pippenger for large sums (and for Straus calls
// that meet many points without a row). Projective result.
ProjPoint msm_vartime(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n);
// The same sum by one engine only, for tests and benchmarks.
ProjPoint msm_vartime_straus(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n);
ProjPoint msm_vartime_pippenger(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n);

// Keeps the odd-multiple rows of the library's own generators (public
// points used by every verification) for the life of the process, apart
// from the bounded cache of caller points. Idempotent; thread-safe.
void pin_vartime_tables(const Bn254Point* points, std::size_t n);
// Keeps every 8-bit window multiple of a base (about 140 KiB) for the life
// of the process, so that base.scalar_mul_vartime(k) needs no doubling: for
// the few bases whose single multiples every verification takes (the
// generator pair). At most four are kept; further bases (and the identity)
// are refused. True when the base has its table after the call.
// Idempotent; thread-safe.
bool pin_fixed_base_vartime(const Bn254Point& base);
// Rows held by the cache of caller points (bounded), for tests.
std::size_t vartime_cache_size();

}  // namespace vemo::curve

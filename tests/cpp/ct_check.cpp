// Constant-time check: secrets are marked undefined for valgrind's memcheck,
// which then reports any branch or memory index that depends on them.
// Run under `valgrind --error-exitcode=1`; outside valgrind it only runs the
// operations.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/fixed_base.hpp"
#include "curve/point.hpp"
#include "curve/random.hpp"

using namespace vemo::curve;

namespace {

template <class T>
void secret(T& v) {
  VALGRIND_MAKE_MEM_UNDEFINED(&v, sizeof v);
}
template <class T>
void declassify(T& v) {
  VALGRIND_MAKE_MEM_DEFINED(&v, sizeof v);
}

Scalar random_secret() {
  Scalar s = *Scalar::random();
  secret(s.fe);
  return s;
}

// Divsteps inversion on secret values (Fp: coordinates after a secret
// multiplication; Fr: scalars), and the multiplications that share one
// table among several secrets or return projective results for one shared
// inversion: every window's digit, sign and lookup must stay masked.
void check_shared_tables() {
  Fp x = Fp::from_u64(0x1234567);
  secret(x);
  Fp xi = x.inverse();
  declassify(xi);
  Fr y = random_secret().fe;
  Fr yi = y.inverse();
  declassify(yi);

  const Point g = Point::generator();
  const Point base = g.scalar_mul_vartime(Scalar::from_u64(987654321));
  const Scalar ks[3] = {random_secret(), random_secret(), random_secret()};
  ProjPoint each[3];
  scalar_mul_each(base, ks, 3, each);
  Point out[3];
  batch_to_affine(each, 3, out, "each");
  declassify(out);
  for (int i = 0; i < 3; ++i) {  // the later uses go through the tables
    ProjPoint fixed[2] = {scalar_mul_fixed_proj(base, ks[0]), double_scalar_mul_fixed_proj(g, ks[1], base, ks[2])};
    Point fixed_out[2];
    batch_to_affine(fixed, 2, fixed_out, "fixed");
    declassify(fixed_out);
  }
  // An amount (its sign and magnitude) against the low windows of a table.
  for (std::int64_t amount : {(std::int64_t)-5, (std::int64_t)5}) {
    secret(amount);
    for (int i = 0; i < 3; ++i) {
      Point c = amount_scalar_mul_fixed_proj(g, amount, base, ks[0]).to_affine("commit");
      declassify(c);
    }
  }
  // An identity term is skipped by mask, not by a branch on its scalar.
  const Point ps[2] = {Point::zero(), base};
  Point sum = msm(ks, ps, 2).to_affine("msm");
  declassify(sum);
}

}  // namespace

int main() {
  check_shared_tables();
  const Point g = Point::generator();
  const Point base = g.scalar_mul_vartime(Scalar::from_u64(123456789));

  // Scalar arithmetic.
  Scalar a = random_secret(), b = random_secret();
  Scalar c = a.mul(b).add(a.neg()).sub(b);
  Fr inv = a.fe.inverse();
  std::int64_t amount = 42;
  secret(amount);
  Scalar v = Scalar::from_i64(amount);
  declassify(c);
  declassify(inv);

  // Multiplications by secrets, each engine.
  Point p1 = base.scalar_mul(a);
  declassify(p1);
  for (int i = 0; i < 3; ++i) {  // the second and later uses go through a table
    Scalar k = random_secret();
    Point p2 = scalar_mul_fixed(base, k);
    declassify(p2);
    Point p3 = double_scalar_mul_fixed(base, v, g, k);
    declassify(p3);
  }
  Scalar ks[3] = {random_secret(), random_secret(), v};
  Point ps[3] = {g, base, g};
  ProjPoint m = msm(ks, ps, 3);
  Point p4 = m.to_affine("msm");
  declassify(p4);

  // The range prover's bit commitment: the bits of the values select
  // between Gv[i] and −Hv[i] by masked moves.
  {
    const auto gv = vemo::bulletproofs::derive_generator_vectors(8, 16);
    std::int64_t v0 = 200, v1 = 7;
    secret(v0);
    secret(v1);
    const std::vector<Scalar> values{Scalar::from_i64(v0), Scalar::from_i64(v1)};
    std::vector<Scalar> bits;
    Point A = vemo::bulletproofs::commit_bits(gv.G, gv.H, base, random_secret(), values, 8, bits);
    declassify(A);
  }

  std::puts("constant-time check ran");
  return 0;
}

// Variable-time multiplication for public scalars and points: single
// multiplications by public scalars and multi-scalar sums in verification.
// Straus' method with 4-bit windows: one shared chain of doublings, one
// table of 15 multiples per point, zero digits skipped.
#include <memory>

#include "point.hpp"

namespace vemo::curve {

void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2);

ProjPoint msm_vartime(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  if (n == 0) return ProjPoint::identity();
  // Each term becomes two 128-bit terms through the endomorphism.
  const std::size_t m = 2 * n;
  std::unique_ptr<ProjPoint[]> tables(new ProjPoint[m * 16]);
  std::unique_ptr<Limbs[]> ks(new Limbs[m]);
  const Fp beta = glv_beta();
  for (std::size_t i = 0; i < n; ++i) {
    Limbs k1, k2;
    u64 n1, n2;
    glv_split(scalars[i], k1, n1, k2, n2);
    ks[2 * i] = k1;
    ks[2 * i + 1] = k2;
    ProjPoint* t1 = &tables[(2 * i) * 16];
    ProjPoint* t2 = &tables[(2 * i + 1) * 16];
    ProjPoint p = ProjPoint::from_affine(points[i]);
    if (n1) p = p.neg();
    t1[0] = ProjPoint::identity();
    t1[1] = p;
    for (int j = 2; j < 16; ++j) t1[j] = (j % 2 == 0) ? t1[j / 2].dbl() : t1[j - 1].add(p);
    for (int j = 0; j < 16; ++j) {
      t2[j] = ProjPoint{t1[j].X * beta, t1[j].Y, t1[j].Z};
      if (n1 != n2) t2[j] = t2[j].neg();
    }
  }
  ProjPoint acc = ProjPoint::identity();
  bool started = false;
  for (int w = 32; w >= 0; --w) {
    if (started) acc = acc.dbl().dbl().dbl().dbl();
    const int bit = 4 * w;
    for (std::size_t i = 0; i < m; ++i) {
      const unsigned d = (unsigned)(ks[i][bit / 64] >> (bit % 64)) & 15u;
      if (d) {
        acc = started ? acc.add(tables[i * 16 + d]) : tables[i * 16 + d];
        started = true;
      }
    }
  }
  return acc;
}

Bn254Point Bn254Point::scalar_mul_vartime(const Bn254Scalar& k) const {
  return msm_vartime(&k, this, 1).to_affine_vartime("scalar_mul");
}

}  // namespace vemo::curve

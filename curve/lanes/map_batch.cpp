// Batched SvdW map (map_batch.hpp): the steps of
// SvdW::map_to_curve_g1_unchecked (hash_to_curve.cpp) over arrays.
#include "curve/lanes/map_batch.hpp"

#include <vector>

#include "curve/bn254.hpp"

namespace vemo::curve::lanes {

namespace {

bool parity(const Fp& v) { return v.to_raw()[0] & 1; }

// Square-root candidates of g[idx[j]] for every j, into y[idx[j]]; the
// indices whose candidate does not square back stay in idx (in order).
void roots_where_square(const Kernels& k, const std::vector<Fp>& g, std::vector<std::size_t>& idx,
                        std::vector<Fp>& y) {
  std::vector<Fp> in(idx.size()), out(idx.size());
  for (std::size_t j = 0; j < idx.size(); ++j) in[j] = g[idx[j]];
  sqrt_candidates(k, out.data(), in.data(), in.size());
  std::size_t kept = 0;
  for (std::size_t j = 0; j < idx.size(); ++j) {
    y[idx[j]] = out[j];
    if (!(out[j].square() == in[j])) idx[kept++] = idx[j];
  }
  idx.resize(kept);
}

}  // namespace

void map_to_curve_batch_vartime(const Kernels& k, const Fp* u, std::size_t n, Bn254Point* out) {
  static const Fp c1 = Fp::from_raw_reduce(bn254::kSvdwC1), c2 = Fp::from_raw_reduce(bn254::kSvdwC2),
                  c3 = Fp::from_raw_reduce(bn254::kSvdwC3), c4 = Fp::from_raw_reduce(bn254::kSvdwC4),
                  b = Fp::from_u64(bn254::kB);
  const Fp one = Fp::one();
  std::vector<Fp> tv2(n), tv3(n), x1(n), x2(n), g1(n), g2(n), y(n);
  for (std::size_t i = 0; i < n; ++i) {
    Fp tv1 = u[i].square() * c1;
    tv2[i] = one + tv1;
    tv1 = one - tv1;
    // The variable-time inversion maps 0 to 0, as the one-point map's does.
    tv3[i] = (tv1 * tv2[i]).inverse_vartime();
    const Fp tv4 = u[i] * tv1 * tv3[i] * c3;
    x1[i] = c2 - tv4;
    g1[i] = x1[i].square() * x1[i] + b;
    x2[i] = c2 + tv4;
    g2[i] = x2[i].square() * x2[i] + b;
  }
  std::vector<Fp> x = x1;
  std::vector<std::size_t> left(n);
  for (std::size_t i = 0; i < n; ++i) left[i] = i;
  roots_where_square(k, g1, left, y);
  for (std::size_t i : left) x[i] = x2[i];
  roots_where_square(k, g2, left, y);
  // The third candidate is always a square (the map's guarantee): its root
  // is taken without a test, as the one-point map does.
  std::vector<Fp> g3(n);
  for (std::size_t i : left) {
    const Fp t = tv2[i].square() * tv3[i];
    x[i] = t.square() * c4 + one;
    g3[i] = x[i].square() * x[i] + b;
  }
  roots_where_square(k, g3, left, y);
  for (std::size_t i = 0; i < n; ++i) {
    Fp yi = y[i];
    if (parity(yi) != parity(u[i])) yi = -yi;
    out[i] = Bn254Point{"deserialized point", x[i], yi, false};
  }
}

}  // namespace vemo::curve::lanes

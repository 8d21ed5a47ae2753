// Shared-inversion affine additions in lanes (batch_affine.hpp).
#include "curve/lanes/batch_affine.hpp"

#include <algorithm>
#include <vector>

namespace vemo::curve::lanes {

namespace {

// Eight values from v[8b ..] into lane form; past the end, `pad`.
void load8(const Kernels& k, Fe8* out, const Fp* v, std::size_t b, std::size_t m, const Fp& pad) {
  const std::size_t at = 8 * b;
  if (at + 8 <= m) {
    k.from_fp(out, v + at);
    return;
  }
  Fp buf[8];
  for (std::size_t i = 0; i < 8; ++i) buf[i] = at + i < m ? v[at + i] : pad;
  k.from_fp(out, buf);
}

void store8(const Kernels& k, Fp* v, const Fe8* in, std::size_t b, std::size_t m) {
  const std::size_t at = 8 * b;
  if (at + 8 <= m) {
    k.to_fp(v + at, in);
    return;
  }
  Fp buf[8];
  k.to_fp(buf, in);
  std::copy(buf, buf + (m - at), v + at);
}

}  // namespace

void affine_sums_vartime(const Kernels& k, const Fp* num, const Fp* den, const Fp* xa, const Fp* xb, const Fp* ya,
                         std::size_t m, Fp* rx, Fp* ry) {
  if (m == 0) return;
  const std::size_t nb = (m + 7) / 8;
  const Fp one = Fp::one(), zero = Fp::zero();
  // Chain i of the prefix products runs over den[i], den[i + 8], ...; the
  // tail's padding is 1, which leaves the products unchanged.
  std::vector<Fe8> d(nb), prefix(nb);
  Fe8 acc;
  {
    Fp ones[8];
    std::fill(ones, ones + 8, one);
    k.from_fp(&acc, ones);
  }
  for (std::size_t b = 0; b < nb; ++b) {
    load8(k, &d[b], den, b, m, one);
    prefix[b] = acc;
    k.mul(&acc, &acc, &d[b]);
  }
  // The eight chain totals (non-zero) inverted with one inversion.
  Fp t[8], pre[8];
  k.to_fp(t, &acc);
  Fp run = one;
  for (int i = 0; i < 8; ++i) {
    pre[i] = run;
    run = run * t[i];
  }
  Fp inv = run.inverse_vartime();
  for (int i = 8; i-- > 0;) {
    const Fp r = inv * pre[i];
    inv = inv * t[i];
    t[i] = r;
  }
  Fe8 chain_inv;
  k.from_fp(&chain_inv, t);
  // Backwards: prefix[b] / (prefix[b] d[b]) is 1 / d[b]; then the sums.
  for (std::size_t b = nb; b-- > 0;) {
    Fe8 r, lambda, x, y, a, bx;
    k.mul(&r, &chain_inv, &prefix[b]);
    k.mul(&chain_inv, &chain_inv, &d[b]);
    load8(k, &lambda, num, b, m, zero);
    k.mul(&lambda, &lambda, &r);
    load8(k, &a, xa, b, m, zero);
    load8(k, &bx, xb, b, m, zero);
    k.sqr(&x, &lambda);
    k.sub(&x, &x, &a);
    k.sub(&x, &x, &bx);
    k.sub(&a, &a, &x);
    k.mul(&y, &lambda, &a);
    load8(k, &a, ya, b, m, zero);
    k.sub(&y, &y, &a);
    store8(k, rx, &x, b, m);
    store8(k, ry, &y, b, m);
  }
}

}  // namespace vemo::curve::lanes

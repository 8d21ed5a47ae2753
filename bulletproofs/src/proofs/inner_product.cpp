#include "inner_product.hpp"

#include <string>

#include "curve/encoding.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/msm_lanes.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/proofs/challenge.hpp"
#include "curve/proofs/json_record.hpp"

namespace vemo::bulletproofs {

using namespace vemo::curve;

namespace {

Panic lengths_differ() { return Panic{"assertion failed: the vectors of the inner-product argument have equal lengths"}; }
Panic zero_challenge() { return Panic{"inner-product argument: the level challenge is zero and has no inverse"}; }
Panic missing_pair(std::size_t level) {
  return Panic{"inner-product argument: no L/R pair for level " + std::to_string(level)};
}

std::size_t log2_exact(std::size_t n) {
  std::size_t k = 0;
  while ((std::size_t{1} << k) < n) ++k;
  return k;
}

// The prover keeps the generators of the current level k (length n_k) as
// combinations of "base" points: generator i is
//     Σ_t coeff[i + t·n_k]·base[i + t·n_k]   over the base indices ≡ i mod n_k,
// which is what folding produces (G' = x⁻¹·G_lo + x·G_hi only rescales the
// coefficients). L and R then are sums over the base points, each base point
// landing in exactly one of them, so a level costs two multi-scalar sums of
// base-length size and no folding at all. Once the base is four times the
// level's length, it is collapsed into explicit level generators (rebased):
// each new point is one multi-scalar sum over the points it combines.
// Measured over 8 to 64 generators, collapsing every second level from four
// generators up is the fastest schedule: a few to 25% faster than folding
// the generators at every level, and never slower than not collapsing at all
// (which costs half as much again at 64 generators).
bool should_rebase(std::size_t base_len, std::size_t level_len) { return level_len >= 4 && base_len >= 4 * level_len; }

// Collapses the base to the level's n_k generators. The coefficient of the
// first point of each combination is kept as the new coefficient, so each
// new point is base[i] + Σ_{t≥1} (coeff[i + t·n_k]/coeff[i])·base[i + t·n_k].
// Coefficients are non-zero (products of challenges and non-zero factors).
void rebase(std::vector<Point>& base, std::vector<Scalar>& coeff, std::size_t level_len, LaneRowKeep& keep) {
  const std::size_t ratio = base.size() / level_len;
  std::vector<Fr> inv(level_len);
  for (std::size_t i = 0; i < level_len; ++i) inv[i] = coeff[i].fe;
  batch_inverse(inv.data(), level_len);
  std::vector<ProjPoint> combined(level_len);
  if (const lanes::Kernels* k = lanes::active()) {
    // The level's sums side by side in lanes, one a lane (even fewer than
    // eight: one pass still outruns as many chains of doublings).
    const std::size_t terms = ratio - 1;
    std::vector<Scalar> scalars(level_len * terms);
    std::vector<Point> points(level_len * terms);
    for (std::size_t i = 0; i < level_len; ++i) {
      const Scalar first_inv{"invert", inv[i]};
      for (std::size_t t = 1; t < ratio; ++t) {
        scalars[i * terms + t - 1] = coeff[i + t * level_len].mul(first_inv);
        points[i * terms + t - 1] = base[i + t * level_len];
      }
    }
    msm_each_lanes_vartime(*k, scalars.data(), points.data(), level_len, terms, combined.data(), &keep);
    for (std::size_t i = 0; i < level_len; ++i) combined[i] = combined[i].add_any_affine(base[i]);
  } else {
    std::vector<Scalar> scalars(ratio - 1);
    std::vector<Point> points(ratio - 1);
    for (std::size_t i = 0; i < level_len; ++i) {
      const Scalar first_inv{"invert", inv[i]};
      for (std::size_t t = 1; t < ratio; ++t) {
        scalars[t - 1] = coeff[i + t * level_len].mul(first_inv);
        points[t - 1] = base[i + t * level_len];
      }
      combined[i] = msm_vartime(scalars.data(), points.data(), ratio - 1).add_any_affine(base[i]);
    }
  }
  base.resize(level_len);
  coeff.resize(level_len);
  batch_to_affine(combined.data(), level_len, base.data(), "add_point");
}

// One of a level's two sums (public scalars and points). In lanes where
// they are on: eight terms at a time, which outruns Straus's one at a time
// even at a fixed window, and even for the last levels' few terms. The
// sums of the longest vectors stay with msm_vartime: there Pippenger wins,
// and their rows would not all stay in the lanes' cache.
constexpr std::size_t kLaneSumMax = 640;

ProjPoint level_sum(const lanes::Kernels* k, const std::vector<Scalar>& scalars, const std::vector<Point>& points,
                    LaneRowKeep& keep) {
  if (k && points.size() <= kLaneSumMax)
    return msm_lanes_vartime(*k, scalars.data(), points.data(), points.size(), &keep);
  return msm_vartime(scalars.data(), points.data(), points.size());
}

}  // namespace

Result<Scalar, Panic> inner_product(const std::vector<Scalar>& a, const std::vector<Scalar>& b) {
  if (a.size() != b.size()) return Err{Panic{"inner_product(a,b): lengths of vectors do not match"}};
  Fr acc = Fr::zero();
  for (std::size_t i = 0; i < a.size(); ++i) acc += a[i].fe * b[i].fe;
  return Scalar{"mul", acc};
}

Scalar level_challenge(const Point& L, const Point& R, const Point& u) {
  return proofs::challenge_from_transcript(Digest::Sha256, {L, R, u});
}

Result<InnerProductArg, Panic> InnerProductArg::prove(const std::vector<Point>& G, const std::vector<Point>& H,
                                                      const Point& u, const Point& /*P*/, std::vector<Scalar> a,
                                                      std::vector<Scalar> b, std::vector<Point> L_list,
                                                      std::vector<Point> R_list) {
  std::vector<Scalar> ones(H.size(), Scalar::one());
  return prove_scaled(G, H, std::move(ones), u, std::move(a), std::move(b), std::move(L_list), std::move(R_list));
}

Result<InnerProductArg, Panic> InnerProductArg::prove_scaled(std::vector<Point> G, std::vector<Point> H,
                                                             std::vector<Scalar> h_factors, const Point& u,
                                                             std::vector<Scalar> a, std::vector<Scalar> b,
                                                             std::vector<Point> L_list, std::vector<Point> R_list) {
  return prove_scaled_with(std::move(G), std::move(H), std::move(h_factors), u, std::move(a), std::move(b),
                           std::move(L_list), std::move(R_list),
                           [&u](const Point& L, const Point& R) { return level_challenge(L, R, u); });
}

Result<InnerProductArg, Panic> InnerProductArg::prove_scaled_with(std::vector<Point> G, std::vector<Point> H,
                                                                  std::vector<Scalar> h_factors, const Point& u,
                                                                  std::vector<Scalar> a, std::vector<Scalar> b,
                                                                  std::vector<Point> L_list, std::vector<Point> R_list,
                                                                  const LevelChallenge& challenge) {
  std::size_t n = G.size();
  if (H.size() != n || h_factors.size() != n || a.size() != n || b.size() != n) return Err{lengths_differ()};
  if (!is_power_of_two(n)) return Err{Panic{kNotPowerOfTwo}};
  for (const Scalar& f : h_factors)
    if (f.is_zero()) return Err{Panic{"assertion failed: the generator factors are non-zero"}};
  // Base points and their coefficients (see should_rebase above).
  std::vector<Point>& G_base = G;
  std::vector<Point>& H_base = H;
  std::vector<Scalar> g_coeff(n, Scalar::one());
  std::vector<Scalar>& h_coeff = h_factors;
  std::vector<Scalar> scalars[2];
  std::vector<Point> points[2];
  // The lane rows of this proof's own points (u, the collapsed
  // generators), each used at several levels.
  LaneRowKeep keep;
  while (n > 1) {
    if (should_rebase(G_base.size(), n)) {
      rebase(G_base, g_coeff, n, keep);
      rebase(H_base, h_coeff, n, keep);
    }
    const std::size_t half = n / 2, base_len = G_base.size();
    Scalar c_L = Scalar::zero(), c_R = Scalar::zero();
    for (std::size_t i = 0; i < half; ++i) {
      c_L.add_assign(a[i].mul(b[half + i]));
      c_R.add_assign(a[half + i].mul(b[i]));
    }
    // L = c_L·u + Σ a_lo[i]·G_hi[i] + Σ b_hi[i]·H_lo[i] and
    // R = c_R·u + Σ a_hi[i]·G_lo[i] + Σ b_lo[i]·H_hi[i], over the base.
    for (int side = 0; side < 2; ++side) {
      scalars[side].assign(1, side == 0 ? c_L : c_R);
      points[side].assign(1, u);
    }
    for (std::size_t j = 0; j < base_len; ++j) {
      const std::size_t i = j % n;
      const bool hi = i >= half;
      // G_hi goes to L with a_lo, G_lo to R with a_hi.
      const int g_side = hi ? 0 : 1;
      scalars[g_side].push_back(a[hi ? i - half : i + half].mul(g_coeff[j]));
      points[g_side].push_back(G_base[j]);
      // H_lo goes to L with b_hi, H_hi to R with b_lo.
      const int h_side = hi ? 1 : 0;
      scalars[h_side].push_back(b[hi ? i - half : i + half].mul(h_coeff[j]));
      points[h_side].push_back(H_base[j]);
    }
    ProjPoint LR[2];
    const lanes::Kernels* k = lanes::active();
    for (int side = 0; side < 2; ++side)
      LR[side] = level_sum(k, scalars[side], points[side], keep);
    Point LR_affine[2];
    batch_to_affine(LR, 2, LR_affine, "add_point");
    const Scalar x = challenge(LR_affine[0], LR_affine[1]);
    const auto x_inv_opt = x.invert();
    if (!x_inv_opt) return Err{zero_challenge()};
    const Scalar x_inv = *x_inv_opt;

    for (std::size_t i = 0; i < half; ++i) {
      a[i] = a[i].mul(x).add(a[half + i].mul(x_inv));
      b[i] = b[i].mul(x_inv).add(b[half + i].mul(x));
    }
    a.resize(half);
    b.resize(half);
    // G' = x⁻¹·G_lo + x·G_hi and H' = x·H_lo + x⁻¹·H_hi, on the coefficients.
    for (std::size_t j = 0; j < base_len; ++j) {
      const bool hi = j % n >= half;
      g_coeff[j].mul_assign(hi ? x : x_inv);
      h_coeff[j].mul_assign(hi ? x_inv : x);
    }
    L_list.push_back(LR_affine[0]);
    R_list.push_back(LR_affine[1]);
    n = half;
  }
  return InnerProductArg{std::move(L_list), std::move(R_list), a[0].to_bigint(), b[0].to_bigint()};
}

Result<FoldingScalars, Panic> InnerProductArg::folding_scalars(std::size_t N, const Point& u) const {
  if (!is_power_of_two(N)) return Err{Panic{kNotPowerOfTwo}};
  const std::size_t levels = log2_exact(N);
  std::vector<Scalar> x;
  x.reserve(levels);
  // Level by level, as the recursion meets them: a missing pair first, then
  // a zero challenge.
  for (std::size_t k = 0; k < levels; ++k) {
    if (k >= L.size() || k >= R.size()) return Err{missing_pair(k)};
    x.push_back(level_challenge(L[k], R[k], u));
    if (x.back().is_zero()) return Err{zero_challenge()};
  }
  return folding_from_challenges(std::move(x), N);
}

Result<FoldingScalars, Panic> InnerProductArg::folding_from_challenges(std::vector<Scalar> x, std::size_t N) {
  if (!is_power_of_two(N)) return Err{Panic{kNotPowerOfTwo}};
  const std::size_t levels = log2_exact(N);
  if (x.size() != levels) return Err{Panic{"inner-product argument: one challenge per level"}};
  for (const Scalar& c : x)
    if (c.is_zero()) return Err{zero_challenge()};
  FoldingScalars fs;
  fs.x = std::move(x);
  // Every challenge is non-zero: one inversion for all of them.
  fs.x_inv = fs.x;
  std::vector<Fr> inv(levels);
  for (std::size_t k = 0; k < levels; ++k) inv[k] = fs.x[k].fe;
  batch_inverse(inv.data(), levels);
  for (std::size_t k = 0; k < levels; ++k) fs.x_inv[k].fe = inv[k];
  fs.s.resize(N);
  fs.s_inv.resize(N);
  Scalar s0 = Scalar::one();
  std::vector<Scalar> x_sq(levels);
  for (std::size_t k = 0; k < levels; ++k) {
    s0.mul_assign(fs.x_inv[k]);
    x_sq[k] = fs.x[k].mul(fs.x[k]);
  }
  fs.s[0] = s0;
  // Level k splits on bit (levels − 1 − k) of the index: setting that bit
  // turns the level's factor x_k⁻¹ into x_k, a factor x_k².
  for (std::size_t i = 1; i < N; ++i) {
    std::size_t top = 0;
    while ((i >> (top + 1)) != 0) ++top;
    const std::size_t k = levels - 1 - top;
    const std::size_t rest = i - (std::size_t{1} << top);
    fs.s[i] = fs.s[rest].mul(x_sq[k]);
  }
  // s[i]⁻¹ takes every level's other factor: it is s at the index with
  // every bit flipped.
  for (std::size_t i = 0; i < N; ++i) fs.s_inv[i] = fs.s[N - 1 - i];
  return fs;
}

Result<bool, Panic> InnerProductArg::verify(const std::vector<Point>& G, const std::vector<Point>& H, const Point& u,
                                            const Point& P) const {
  if (G.size() != H.size()) return Err{lengths_differ()};
  const std::size_t N = G.size();
  auto fs = folding_scalars(N, u);
  if (!fs.ok()) return Err{fs.error()};
  const FoldingScalars& f = fs.value();
  const Scalar a = Scalar::from_bigint(a_tag), b = Scalar::from_bigint(b_tag);
  const std::size_t levels = f.x.size();
  proofs::Equation e;
  e.scalars.reserve(2 * N + 2 * levels + 2);
  e.points.reserve(2 * N + 2 * levels + 2);
  e.term(Scalar::one(), P);
  add_lr_terms(f, e);
  const Scalar neg_a = a.neg(), neg_b = b.neg();
  for (std::size_t i = 0; i < N; ++i) {
    e.term(neg_a.mul(f.s[i]), G[i]);
    e.term(neg_b.mul(f.s_inv[i]), H[i]);
  }
  e.term(neg_a.mul(b), u);
  return e.holds_vartime();
}

void InnerProductArg::add_lr_terms(const FoldingScalars& folding, proofs::Equation& e) const {
  for (std::size_t k = 0; k < folding.x.size(); ++k) {
    e.term(folding.x[k].mul(folding.x[k]), L[k]);
    e.term(folding.x_inv[k].mul(folding.x_inv[k]), R[k]);
  }
}

namespace {

constexpr proofs::Member<InnerProductArg> kMembers[] = {
    proofs::member<&InnerProductArg::L>("L", proofs::as_point_list),
    proofs::member<&InnerProductArg::R>("R", proofs::as_point_list),
    proofs::member<&InnerProductArg::a_tag>("a_tag", proofs::as_bigint),
    proofs::member<&InnerProductArg::b_tag>("b_tag", proofs::as_bigint),
};

}  // namespace

nlohmann::ordered_json to_json(const InnerProductArg& arg) { return proofs::write_record(kMembers, arg); }

Result<InnerProductArg, json::JsonError> read_inner_product_arg(json::Reader& reader) {
  return proofs::read_record(reader, "InnerProductArg", kMembers);
}

}  // namespace vemo::bulletproofs

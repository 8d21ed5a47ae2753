#include "range_proof.hpp"

#include <optional>

#include "bulletproofs/src/proofs/inner_product.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/ct.hpp"
#include "curve/fixed_base.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/random.hpp"
#include "curve/scalar_mul.hpp"
#include "frame_hash.hpp"
#include "generators.hpp"
#include "transcript.hpp"

namespace vemo::strict {

using namespace vemo::curve;

namespace {

// The shape of one proof: n bits, m values padded to m', N = n·m' bits.
struct Shape {
  std::uint64_t n;
  std::size_t m, m_padded, N, levels;
};

Expected<Shape> shape_of(std::uint64_t bits, std::size_t m) {
  if (bits != 8 && bits != 16 && bits != 32 && bits != 64)
    return error("range proof: bits must be 8, 16, 32 or 64, got " + std::to_string(bits));
  if (m < 1 || m > kMaxRangeValues)
    return error("range proof: from 1 to " + std::to_string(kMaxRangeValues) + " values, got " + std::to_string(m));
  Shape s{bits, m, 1, 0, 0};
  while (s.m_padded < m) s.m_padded *= 2;
  s.N = (std::size_t)bits * s.m_padded;
  while ((std::size_t{1} << s.levels) < s.N) ++s.levels;
  return s;
}

// 2·log2(N) + 9 items of 32 bytes each, points and scalars alike.
static_assert(kPointBytes == kScalarBytes);
std::size_t length_of(const Shape& s) { return kPointBytes * (2 * s.levels + 9); }

// The statement, absorbed in the order of docs/strict.md: n, m, the
// generators' digest, the pair, then each given commitment.
void absorb_statement(Transcript& t, const Shape& s, const Generators& gens, const Point& g, const Point& h,
                      const std::vector<Point>& V) {
  t.absorb_u64("n", s.n);
  t.absorb_u64("m", s.m);
  t.absorb("generators", gens.digest.data(), gens.digest.size());
  t.absorb_point("g", g);
  t.absorb_point("h", h);
  for (const Point& v : V) t.absorb_point("V", v);
}

// δ(y, z) = (z − z²)·Σ_{i<N} y^i − Σ_{j<m'} z^(j+3)·(2^n − 1).
Scalar delta(const Shape& s, const Scalar& z, const std::vector<Scalar>& y_pow, const std::vector<Scalar>& z_pow) {
  Scalar sum_y = Scalar::zero();
  for (const Scalar& p : y_pow) sum_y.add_assign(p);
  const Scalar ones = Scalar::from_u64(s.n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << s.n) - 1);
  Scalar d = z.sub(z.mul(z)).mul(sum_y);
  for (std::size_t j = 0; j < s.m_padded; ++j) d.sub_assign(z_pow[j + 3].mul(ones));
  return d;
}

Err<Error> zero_challenge(std::string_view which) {
  return error(std::string("range proof: the challenge ") + std::string(which) + " is zero");
}

void wipe_all(std::vector<Scalar>& v) {
  for (Scalar& s : v) wipe(s);
}

// Marks values the proof publishes; see ct::declassify.
template <class T>
void publish(const std::vector<T>& v) {
  if (!v.empty()) ct::declassify(v.data(), v.size() * sizeof(T));
}

void append(std::string& out, const std::array<unsigned char, 32>& b) { out.append(b.begin(), b.end()); }

enum class RangeCheck { enforced, skipped };

Expected<std::string> prove(std::string_view context, const Point& g_in, const Point& h_in, std::uint64_t bits,
                            const std::vector<std::uint64_t>& values, const std::vector<Scalar>& blindings,
                            const std::optional<std::array<unsigned char, 32>>& fixed_random, RangeCheck check) {
  auto shape = shape_of(bits, values.size());
  if (!shape.ok()) return Err{shape.error()};
  const Shape s = shape.value();
  if (blindings.size() != s.m)
    return error("range proof: " + std::to_string(s.m) + " values but " + std::to_string(blindings.size()) +
                 " blindings");
  auto g_ok = checked_point("range proof: g", g_in, Identity::refused);
  if (!g_ok.ok()) return Err{g_ok.error()};
  auto h_ok = checked_point("range proof: h", h_in, Identity::refused);
  if (!h_ok.ok()) return Err{h_ok.error()};
  const Point &g = g_in, &h = h_in;
  if (check == RangeCheck::enforced && s.n < 64) {
    // Whether each value is in range is the one fact a refusal publishes:
    // computed without a branch, then declassified bit by bit.
    for (std::size_t j = 0; j < s.m; ++j) {
      std::uint64_t out_of_range = 1 ^ ct::is_zero_flag(values[j] >> s.n);
      ct::declassify(out_of_range);
      if (out_of_range)
        return error("range proof: value " + std::to_string(j) + " is not below 2^" + std::to_string(s.n));
    }
  }
  auto gens_result = generators(s.N);
  if (!gens_result.ok()) return Err{gens_result.error()};
  const Generators& gens = *gens_result.value();
  const std::size_t N = s.N, n = s.n, m = s.m;

  // The values as scalars, padded with zeros (zero blindings) to m'.
  std::vector<Scalar> v(s.m_padded, Scalar::zero()), gamma(s.m_padded, Scalar::zero());
  for (std::size_t j = 0; j < m; ++j) {
    v[j] = Scalar::from_u64(values[j]);
    gamma[j] = blindings[j];
  }

  // V_j = v_j·g + γ_j·h for the given values, published by the statement.
  std::vector<Point> V(m);
  {
    std::vector<ProjPoint> proj(m);
    for (std::size_t j = 0; j < m; ++j) proj[j] = double_scalar_mul_fixed_proj(g, v[j], h, gamma[j]);
    batch_to_affine(proj.data(), m, V.data(), "add_point");
  }
  publish(V);

  Transcript t("range", context);
  absorb_statement(t, s, gens, g, h, V);

  // Nonces: index 0 α, 1 ρ, 2 τ1, 3 τ2, then s_L[0…N−1], then s_R[0…N−1].
  // The secrets they hedge with are v_1 … v_m, then γ_1 … γ_m.
  std::vector<Scalar> nonces(4 + 2 * N);
  {
    std::vector<Scalar> secrets(v.begin(), v.begin() + (std::ptrdiff_t)m);
    secrets.insert(secrets.end(), blindings.begin(), blindings.end());
    const HedgedNonces hedged(t.digest(), secrets.data(), secrets.size());
    wipe_all(secrets);
    for (;;) {
      ct::Wiped<std::array<unsigned char, 32>> R;
      if (fixed_random)
        *R = *fixed_random;
      else if (!fill_random(R->data(), R->size()))
        return error("range proof: the operating system's random source failed");
      std::uint64_t any_zero = 0;
      for (std::size_t i = 0; i < nonces.size(); ++i) {
        nonces[i] = hedged.nonce((std::uint32_t)i, *R);
        any_zero |= nonces[i].fe.is_zero_flag();
      }
      // A zero nonce (chance 2^-254 each) would not blind: draw R again.
      ct::declassify(any_zero);
      if (!any_zero) break;
      if (fixed_random) {
        wipe_all(nonces);
        return error("range proof: the given random bytes give a zero nonce");
      }
    }
  }
  Scalar &alpha = nonces[0], &rho = nonces[1], &tau1 = nonces[2], &tau2 = nonces[3];
  const Scalar* s_L = &nonces[4];
  const Scalar* s_R = &nonces[4 + N];

  // A = α·h + Σ (a_L[i] ? G_i : −H_i), a masked selection per bit.
  std::vector<Scalar> a_L;
  const Point A = bulletproofs::commit_bits(gens.G, gens.H, h, alpha, v, n, a_L);
  std::vector<Scalar> a_R(N);
  for (std::size_t i = 0; i < N; ++i) a_R[i] = a_L[i].sub(Scalar::one());

  // S = ρ·h + Σ s_L[i]·G_i + Σ s_R[i]·H_i, constant time in the scalars.
  const Point S = bulletproofs::commit_blinding(gens.G, gens.H, h, rho, s_L, s_R);
  ct::declassify(A);
  ct::declassify(S);
  t.absorb_point("A", A);
  t.absorb_point("S", S);
  const Scalar y = t.challenge("y");
  const Scalar z = t.challenge("z");
  const auto y_inv = y.invert();
  if (!y_inv || z.is_zero()) {
    wipe_all(nonces);
    return zero_challenge(y_inv ? "z" : "y");
  }
  const std::vector<Scalar> y_pow = powers(y, N);
  const std::vector<Scalar> two_pow = powers(Scalar::from_u64(2), n);
  const std::vector<Scalar> z_pow = powers(z, s.m_padded + 3);  // z^(j+2) is z_pow[j + 2]

  // t1 and t2, the X and X² coefficients of ⟨l(X), r(X)⟩ with
  // l(X) = a_L − z + s_L·X and r(X) = y^i·(a_R + z + s_R·X) + z^(j+2)·2^k.
  Scalar t1 = Scalar::zero(), t2 = Scalar::zero();
  for (std::size_t i = 0; i < N; ++i) {
    const Scalar zj2_2k = z_pow[i / n + 2].mul(two_pow[i % n]);
    t2.add_assign(s_L[i].mul(s_R[i]).mul(y_pow[i]));
    t1.add_assign(a_R[i].add(z).mul(y_pow[i]).mul(s_L[i]));
    t1.add_assign(a_L[i].sub(z).mul(y_pow[i]).mul(s_R[i]));
    t1.add_assign(zj2_2k.mul(s_L[i]));
  }
  Point T[2];
  {
    ProjPoint proj[2] = {double_scalar_mul_fixed_proj(g, t1, h, tau1), double_scalar_mul_fixed_proj(g, t2, h, tau2)};
    batch_to_affine(proj, 2, T, "add_point");
  }
  ct::declassify(T);
  t.absorb_point("T1", T[0]);
  t.absorb_point("T2", T[1]);
  const Scalar x = t.challenge("x");
  if (x.is_zero()) {
    wipe_all(nonces);
    return zero_challenge("x");
  }

  Scalar tau_x = tau2.mul(x).mul(x).add(tau1.mul(x));
  for (std::size_t j = 0; j < m; ++j) tau_x.add_assign(z_pow[j + 2].mul(gamma[j]));
  const Scalar mu = alpha.add(rho.mul(x));
  std::vector<Scalar> l(N), r(N);
  Scalar t_hat = Scalar::zero();
  for (std::size_t i = 0; i < N; ++i) {
    l[i] = a_L[i].sub(z).add(s_L[i].mul(x));
    r[i] = y_pow[i].mul(a_R[i].add(z).add(s_R[i].mul(x))).add(z_pow[i / n + 2].mul(two_pow[i % n]));
    t_hat.add_assign(l[i].mul(r[i]));
  }
  // From here on everything is published, or blinded as it would be if
  // published (l, r; see the header).
  ct::declassify(tau_x);
  ct::declassify(mu);
  ct::declassify(t_hat);
  publish(l);
  publish(r);
  wipe_all(nonces);
  wipe_all(a_L);
  wipe_all(a_R);
  wipe_all(v);
  wipe_all(gamma);
  wipe(t1);
  wipe(t2);

  t.absorb_scalar("t_hat", t_hat);
  t.absorb_scalar("tau_x", tau_x);
  t.absorb_scalar("mu", mu);
  const Scalar w = t.challenge("w");
  if (w.is_zero()) return zero_challenge("w");
  const Point u = gens.Q.scalar_mul_vartime(w);

  // The inner-product argument over (G, H') with H'_i = y^−i·H_i, each
  // level's challenge from the transcript after its L and R.
  bool zero_level = false;
  auto ipa = bulletproofs::InnerProductArg::prove_scaled_with(
      gens.G, gens.H, powers(*y_inv, N), u, std::move(l), std::move(r), {}, {},
      [&t, &zero_level](const Point& L, const Point& R) {
        t.absorb_point("L", L);
        t.absorb_point("R", R);
        const Scalar c = t.challenge("u");
        zero_level = zero_level || c.is_zero();
        return c;
      });
  if (zero_level) return zero_challenge("u");
  if (!ipa.ok()) return error("range proof: " + ipa.error().message);

  std::string out;
  out.reserve(length_of(s));
  for (const Point& p : {A, S, T[0], T[1]}) append(out, encode_point(p));
  for (const Scalar& c : {t_hat, tau_x, mu}) append(out, encode_scalar(c));
  for (std::size_t k = 0; k < s.levels; ++k) {
    append(out, encode_point(ipa->L[k]));
    append(out, encode_point(ipa->R[k]));
  }
  append(out, encode_scalar(Scalar::from_bigint(ipa->a_tag)));
  append(out, encode_scalar(Scalar::from_bigint(ipa->b_tag)));
  return out;
}

}  // namespace

Expected<std::size_t> range_proof_length(std::uint64_t bits, std::size_t m) {
  auto s = shape_of(bits, m);
  if (!s.ok()) return Err{s.error()};
  return length_of(s.value());
}

Expected<std::string> range_prove(std::string_view context, const Point& g, const Point& h, std::uint64_t bits,
                                  const std::vector<std::uint64_t>& values, const std::vector<Scalar>& blindings) {
  return prove(context, g, h, bits, values, blindings, std::nullopt, RangeCheck::enforced);
}

namespace testing {

Expected<std::string> range_prove_with_random(std::string_view context, const Point& g, const Point& h,
                                              std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                              const std::vector<Scalar>& blindings,
                                              const std::array<unsigned char, 32>& random) {
  return prove(context, g, h, bits, values, blindings, random, RangeCheck::enforced);
}

Expected<std::string> range_prove_unchecked(std::string_view context, const Point& g, const Point& h,
                                            std::uint64_t bits, const std::vector<std::uint64_t>& values,
                                            const std::vector<Scalar>& blindings,
                                            const std::array<unsigned char, 32>& random) {
  return prove(context, g, h, bits, values, blindings, random, RangeCheck::skipped);
}

}  // namespace testing

Expected<proofs::Claims> range_claims_vartime(std::string_view context, const Point& g, const Point& h,
                                              std::uint64_t bits, const std::vector<Point>& V,
                                              std::string_view proof) {
  auto shape = shape_of(bits, V.size());
  if (!shape.ok()) return Err{shape.error()};
  const Shape s = shape.value();
  auto g_ok = checked_point("range proof: g", g, Identity::refused);
  if (!g_ok.ok()) return Err{g_ok.error()};
  auto h_ok = checked_point("range proof: h", h, Identity::refused);
  if (!h_ok.ok()) return Err{h_ok.error()};

  // Strict decoding: the exact length first, then each item in order.
  ProofReader reader("range", proof);
  if (auto len = reader.expect_length(length_of(s)); !len.ok()) return Err{len.error()};
  Point A, S, T1, T2;
  Scalar t_hat, tau_x, mu, a, b;
  std::vector<Point> L(s.levels), R(s.levels);
  {
    struct PointItem {
      const char* what;
      Point* p;
    };
    for (const PointItem& item : {PointItem{"A", &A}, PointItem{"S", &S}, PointItem{"T1", &T1}, PointItem{"T2", &T2}}) {
      auto p = reader.point(item.what);
      if (!p.ok()) return Err{p.error()};
      *item.p = p.value();
    }
    struct ScalarItem {
      const char* what;
      Scalar* s;
    };
    for (const ScalarItem& item :
         {ScalarItem{"t_hat", &t_hat}, ScalarItem{"tau_x", &tau_x}, ScalarItem{"mu", &mu}}) {
      auto c = reader.scalar(item.what);
      if (!c.ok()) return Err{c.error()};
      *item.s = c.value();
    }
    for (std::size_t k = 0; k < s.levels; ++k) {
      auto l = reader.point("L_" + std::to_string(k));
      if (!l.ok()) return Err{l.error()};
      L[k] = l.value();
      auto r = reader.point("R_" + std::to_string(k));
      if (!r.ok()) return Err{r.error()};
      R[k] = r.value();
    }
    auto a_r = reader.scalar("a");
    if (!a_r.ok()) return Err{a_r.error()};
    a = a_r.value();
    auto b_r = reader.scalar("b");
    if (!b_r.ok()) return Err{b_r.error()};
    b = b_r.value();
  }

  auto gens_result = generators(s.N);
  if (!gens_result.ok()) return Err{gens_result.error()};
  const Generators& gens = *gens_result.value();
  const std::size_t N = s.N, n = s.n, m = s.m;

  Transcript t("range", context);
  absorb_statement(t, s, gens, g, h, V);
  t.absorb_point("A", A);
  t.absorb_point("S", S);
  const Scalar y = t.challenge("y");
  const Scalar z = t.challenge("z");
  t.absorb_point("T1", T1);
  t.absorb_point("T2", T2);
  const Scalar x = t.challenge("x");
  t.absorb_scalar("t_hat", t_hat);
  t.absorb_scalar("tau_x", tau_x);
  t.absorb_scalar("mu", mu);
  const Scalar w = t.challenge("w");
  std::vector<Scalar> x_k(s.levels);
  for (std::size_t k = 0; k < s.levels; ++k) {
    t.absorb_point("L", L[k]);
    t.absorb_point("R", R[k]);
    x_k[k] = t.challenge("u");
  }
  t.absorb_scalar("a", a);
  t.absorb_scalar("b", b);
  const Scalar c = t.challenge("weight");

  // The one non-linear check: no challenge is zero (y and the level
  // challenges are inverted; a zero x, z, w or weight would drop terms).
  proofs::Claims out;
  bool any_zero = y.is_zero() || z.is_zero() || x.is_zero() || w.is_zero() || c.is_zero();
  for (const Scalar& xk : x_k) any_zero = any_zero || xk.is_zero();
  if (any_zero) {
    out.checks_pass = false;
    return out;
  }
  auto folding = bulletproofs::InnerProductArg::folding_from_challenges(std::move(x_k), N);
  if (!folding.ok()) return error("range proof: " + folding.error().message);
  const bulletproofs::FoldingScalars& fs = folding.value();

  const std::vector<Scalar> y_pow = powers(y, N);
  const std::vector<Scalar> y_inv_pow = powers(*y.invert(), N);
  const std::vector<Scalar> z_pow = powers(z, s.m_padded + 3);
  const Scalar d = delta(s, z, y_pow, z_pow);

  // The inner-product check E2 plus c times the polynomial check E1:
  //   E2 = A + x·S − μ·h + w·(t̂ − a·b)·Q + Σ (−z − a·s_i)·G_i
  //        + Σ (z + y^−i·(z^(j+2)·2^k − b·s_i⁻¹))·H_i + Σ (x_k²·L_k + x_k⁻²·R_k)
  //   E1 = (t̂ − δ)·g + τ_x·h − Σ z^(j+2)·V_j − x·T1 − x²·T2
  proofs::Equation& e = out.equations.emplace_back();
  e.scalars.reserve(2 * N + 2 * s.levels + 8 + m);
  e.points.reserve(2 * N + 2 * s.levels + 8 + m);
  e.term(Scalar::one(), A);
  e.term(x, S);
  e.term(c.mul(tau_x).sub(mu), h);
  e.term(c.mul(t_hat.sub(d)), g);
  e.term(w.mul(t_hat.sub(a.mul(b))), gens.Q);
  e.term(c.mul(x).neg(), T1);
  e.term(c.mul(x).mul(x).neg(), T2);
  for (std::size_t j = 0; j < m; ++j) e.term(c.mul(z_pow[j + 2]).neg(), V[j]);
  Scalar two_k = Scalar::one();
  for (std::size_t i = 0; i < N; ++i) {
    if (i % n == 0) two_k = Scalar::one();
    e.term(z.neg().sub(a.mul(fs.s[i])), gens.G[i]);
    const Scalar inner = z_pow[i / n + 2].mul(two_k).sub(b.mul(fs.s_inv[i]));
    e.term(z.add(inner.mul(y_inv_pow[i])), gens.H[i]);
    two_k = two_k.add(two_k);
  }
  for (std::size_t k = 0; k < s.levels; ++k) {
    e.term(fs.x[k].mul(fs.x[k]), L[k]);
    e.term(fs.x_inv[k].mul(fs.x_inv[k]), R[k]);
  }
  return out;
}

}  // namespace vemo::strict

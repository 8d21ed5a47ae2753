#include "range_proof.hpp"

#include <optional>

#include "curve/ct.hpp"
#include "curve/fixed_base.hpp"
#include "curve/hash.hpp"
#include "curve/msm_lanes.hpp"
#include "curve/proofs/challenge.hpp"
#include "curve/proofs/json_record.hpp"
#include "curve/scalar_mul.hpp"

namespace vemo::bulletproofs {

using namespace vemo::curve;

namespace {

Panic generator_lengths() { return Panic{"assertion failed: Gv and Hv hold n·m points each"}; }
Panic zero_y() { return Panic{"range proof: the challenge y is zero and has no inverse"}; }

// N = n·m, or none when the product does not fit (then it is no power of
// two the argument could run over).
std::optional<std::size_t> bit_count(std::uint64_t n, std::size_t m) {
  std::uint64_t N;
  if (__builtin_mul_overflow(n, (std::uint64_t)m, &N) || N > SIZE_MAX) return std::nullopt;
  return (std::size_t)N;
}

Result<Scalar, Panic> random_scalar() {
  auto s = Scalar::random_nonzero();
  if (!s) return Err{randomness_unavailable()};
  return *s;
}

// The low N bits of W = Σ_j v_j·2^(j·n), as 64-bit words (little-endian).
// Shifts and word counts are public; the additions carry through every word,
// so the time does not depend on the values.
std::vector<u64> value_bits(const std::vector<Scalar>& values, std::uint64_t n, std::size_t N) {
  const std::size_t words = (N + 63) / 64;
  std::vector<u64> W(words, 0), shifted(words);
  for (std::size_t j = 0; j < values.size(); ++j) {
    Limbs v = values[j].to_raw();
    const std::uint64_t shift = j * n;  // below N, so no overflow
    const std::uint64_t word_shift = shift / 64, bit_shift = shift % 64;
    for (std::size_t t = 0; t < words; ++t) {
      // Word t of v << shift: limb t − word_shift shifted up, plus the
      // spill of the limb below it.
      const std::int64_t src = (std::int64_t)t - (std::int64_t)word_shift;
      u64 w = 0;
      if (src >= 0 && src < 4) w = v[src] << bit_shift;
      if (bit_shift != 0 && src >= 1 && src <= 4) w |= v[src - 1] >> (64 - bit_shift);
      shifted[t] = w;
    }
    u64 carry = 0;
    for (std::size_t t = 0; t < words; ++t) {
      const u128 s = (u128)W[t] + shifted[t] + carry;
      W[t] = (u64)s;
      carry = (u64)(s >> 64);
    }
    ct::wipe(v);
  }
  ct::wipe(shifted.data(), shifted.size() * sizeof(u64));
  return W;
}

inline u64 bit_at(const std::vector<u64>& W, std::size_t i) { return (W[i / 64] >> (i % 64)) & 1; }

// Σ_{k<n} 2^k mod r.
Scalar sum_of_powers_of_two(std::uint64_t n) {
  Scalar sum = Scalar::zero(), p = Scalar::one();
  for (std::uint64_t k = 0; k < n; ++k) {
    sum.add_assign(p);
    p = p.add(p);
  }
  return sum;
}

// x over (T1, T2, g, h, V…, V…): the commitment list enters twice.
Scalar challenge_x(const Point& T1, const Point& T2, const Point& g, const Point& h, const std::vector<Point>& V) {
  std::vector<Point> t{T1, T2, g, h};
  t.insert(t.end(), V.begin(), V.end());
  t.insert(t.end(), V.begin(), V.end());
  return proofs::challenge_from_transcript(Digest::Sha256, t);
}

Scalar challenge_z(const Scalar& y) {
  return proofs::challenge_from_transcript(Digest::Sha256, {Point::generator().scalar_mul_vartime(y)});
}

void wipe_all(std::vector<Scalar>& v) {
  for (Scalar& s : v) wipe(s);
}

// Marks values the proof publishes; see ct::declassify.
template <class T>
void publish(const T& v) {
  ct::declassify(v);
}
template <class T>
void publish(const std::vector<T>& v) {
  if (!v.empty()) ct::declassify(v.data(), v.size() * sizeof(T));
}

}  // namespace

Scalar scalar_challenge(const Scalar& tau_x, const Scalar& miu, const Scalar& tx) {
  std::vector<unsigned char> buf;
  for (const Scalar* s : {&tau_x, &miu, &tx}) {
    const auto b = s->serialize();
    std::size_t first = 0;
    while (first < 31 && b[first] == 0) ++first;  // minimal form, zero as 0x00
    buf.insert(buf.end(), b.begin() + first, b.end());
  }
  buf.insert(buf.end(), {0, 0, 0, 0});
  const auto d = sha256(buf);
  return Scalar::deserialize(d.data(), d.size()).value();  // every 32 bytes reduce to a scalar
}

Point commit_blinding(const std::vector<Point>& Gv, const std::vector<Point>& Hv, const Point& h, const Scalar& rho,
                      const Scalar* s_L, const Scalar* s_R) {
  const std::size_t N = Gv.size();
  std::vector<Point> points;
  points.reserve(1 + 2 * N);
  points.push_back(h);
  points.insert(points.end(), Gv.begin(), Gv.end());
  points.insert(points.end(), Hv.begin(), Hv.end());
  std::vector<Scalar> scalars;
  scalars.reserve(1 + 2 * N);
  scalars.push_back(rho);
  scalars.insert(scalars.end(), s_L, s_L + N);
  scalars.insert(scalars.end(), s_R, s_R + N);
  const Point S = msm_public_points(scalars.data(), points.data(), points.size()).to_affine("add_point");
  wipe_all(scalars);
  return S;
}

Point commit_bits(const std::vector<Point>& Gv, const std::vector<Point>& Hv, const Point& h, const Scalar& alpha,
                  const std::vector<Scalar>& values, std::uint64_t n, std::vector<Scalar>& a_L) {
  const std::size_t N = Gv.size();
  std::vector<u64> W = value_bits(values, n, N);
  a_L.assign(N, Scalar::zero());
  ProjPoint acc = scalar_mul_fixed_proj(h, alpha);
  for (std::size_t i = 0; i < N; ++i) {
    // Both candidates are computed and one is kept by a masked move.
    const u64 bit = bit_at(W, i);
    ProjPoint term = ProjPoint::from_affine(Hv[i]).neg();
    term.cmov(ProjPoint::from_affine(Gv[i]), bit);
    acc = acc.add(term);
    a_L[i].fe.cmov(Fr::one(), bit);
  }
  ct::wipe(W.data(), W.size() * sizeof(u64));
  return acc.to_affine("add_point");
}

Result<RangeProof, Panic> RangeProof::prove(const std::vector<Point>& Gv, const std::vector<Point>& Hv, const Point& g,
                                            const Point& h, const std::vector<Scalar>& values,
                                            const std::vector<Scalar>& blindings, std::uint64_t n) {
  const std::size_t m = values.size();
  if (blindings.size() != m) return Err{Panic{"assertion failed: one blinding per value"}};
  const auto N_opt = bit_count(n, m);
  if (!N_opt || !is_power_of_two(*N_opt)) return Err{Panic{kNotPowerOfTwo}};
  const std::size_t N = *N_opt;
  if (Gv.size() != N || Hv.size() != N) return Err{generator_lengths()};

  // Blinding scalars, all drawn up front.
  std::vector<Scalar> secrets(4 + 2 * N);
  for (Scalar& s : secrets) {
    auto r = random_scalar();
    if (!r.ok()) {
      wipe_all(secrets);
      return Err{r.error()};
    }
    s = r.value();
  }
  Scalar& alpha = secrets[0];
  Scalar& rho = secrets[1];
  Scalar& tau1 = secrets[2];
  Scalar& tau2 = secrets[3];
  const Scalar* s_L = &secrets[4];
  const Scalar* s_R = &secrets[4 + N];

  std::vector<Scalar> a_L;
  const Point A = commit_bits(Gv, Hv, h, alpha, values, n, a_L);
  std::vector<Scalar> a_R(N);
  for (std::size_t i = 0; i < N; ++i) a_R[i] = a_L[i].sub(Scalar::one());

  const Point S = commit_blinding(Gv, Hv, h, rho, s_L, s_R);

  publish(A);
  publish(S);
  const Scalar y = proofs::challenge_from_transcript(Digest::Sha256, {A, S});
  const Scalar z = challenge_z(y);
  const std::vector<Scalar> y_pow = powers(y, N);
  const std::vector<Scalar> two_pow = powers(Scalar::from_u64(2), n);
  const std::vector<Scalar> z_pow = powers(z, m + 3);  // z^(j+2) is z_pow[j + 2]

  // t1 and t2, the X and X² coefficients of ⟨l(X), r(X)⟩.
  Scalar t1 = Scalar::zero(), t2 = Scalar::zero();
  for (std::size_t i = 0; i < N; ++i) {
    const Scalar zj2_2k = z_pow[i / n + 2].mul(two_pow[i % n]);
    t2.add_assign(s_L[i].mul(s_R[i]).mul(y_pow[i]));
    t1.add_assign(a_R[i].add(z).mul(y_pow[i]).mul(s_L[i]));
    t1.add_assign(a_L[i].sub(z).mul(y_pow[i]).mul(s_R[i]));
    t1.add_assign(zj2_2k.mul(s_L[i]));
  }

  // T1, T2 and the commitments V_j, all with secret scalars; g and h are
  // the ledger's pair, used again and again, so fixed-base tables serve.
  // All brought to affine with one inversion.
  std::vector<ProjPoint> proj;
  proj.reserve(2 + m);
  proj.push_back(double_scalar_mul_fixed_proj(g, t1, h, tau1));
  proj.push_back(double_scalar_mul_fixed_proj(g, t2, h, tau2));
  for (std::size_t j = 0; j < m; ++j) proj.push_back(double_scalar_mul_fixed_proj(g, values[j], h, blindings[j]));
  std::vector<Point> affine(2 + m);
  batch_to_affine(proj.data(), proj.size(), affine.data(), "add_point");
  const Point T1 = affine[0], T2 = affine[1];
  const std::vector<Point> V(affine.begin() + 2, affine.end());

  publish(T1);
  publish(T2);
  publish(V);
  const Scalar x = challenge_x(T1, T2, g, h, V);
  Scalar tau_x = tau2.mul(x).mul(x).add(tau1.mul(x));
  for (std::size_t j = 0; j < m; ++j) tau_x.add_assign(z_pow[j + 2].mul(blindings[j]));
  const Scalar miu = alpha.add(rho.mul(x));

  // l(x) and r(x); from here on the vectors are blinded and public.
  std::vector<Scalar> l(N), r(N);
  Scalar tx = Scalar::zero();
  for (std::size_t i = 0; i < N; ++i) {
    l[i] = a_L[i].sub(z).add(s_L[i].mul(x));
    r[i] = y_pow[i].mul(a_R[i].add(z).add(s_R[i].mul(x))).add(z_pow[i / n + 2].mul(two_pow[i % n]));
    tx.add_assign(l[i].mul(r[i]));
  }
  // l and r are what the unoptimised protocol would send in the clear: the
  // inner-product argument only shortens them, so it may treat them as public.
  publish(tau_x);
  publish(miu);
  publish(tx);
  publish(l);
  publish(r);
  wipe_all(secrets);
  wipe_all(a_L);
  wipe_all(a_R);
  wipe(t1);
  wipe(t2);

  const Scalar x_u = scalar_challenge(tau_x, miu, tx);
  const Point u = g.scalar_mul_vartime(x_u);
  // h'[i] = y^−i·Hv[i], passed as factors on Hv.
  std::vector<Scalar> h_factors(N, Scalar::one());
  if (N > 1) {
    const auto y_inv = y.invert();
    if (!y_inv) return Err{zero_y()};
    h_factors = powers(*y_inv, N);
  }
  auto ipa = InnerProductArg::prove_scaled(Gv, Hv, std::move(h_factors), u, std::move(l), std::move(r), {}, {});
  if (!ipa.ok()) return Err{ipa.error()};
  return RangeProof{A, S, T1, T2, tau_x, miu, tx, std::move(ipa.value())};
}

Result<bool, Panic> RangeProof::verify(const std::vector<Point>& Gv, const std::vector<Point>& Hv, const Point& g,
                                       const Point& h, const std::vector<Point>& V, std::uint64_t n) const {
  auto c = claims(Gv, Hv, g, h, V, n);
  if (!c.ok()) return Err{c.error()};
  return c.value().holds_vartime();
}

Result<proofs::Claims, Panic> RangeProof::claims(const std::vector<Point>& Gv, const std::vector<Point>& Hv,
                                                 const Point& g, const Point& h, const std::vector<Point>& V,
                                                 std::uint64_t n) const {
  const std::size_t m = V.size();
  const auto N_opt = bit_count(n, m);
  if (!N_opt || !is_power_of_two(*N_opt)) return Err{Panic{kNotPowerOfTwo}};
  const std::size_t N = *N_opt;
  if (Gv.size() != N || Hv.size() != N) return Err{generator_lengths()};

  const Scalar y = proofs::challenge_from_transcript(Digest::Sha256, {A, S});
  const Scalar z = challenge_z(y);
  const Scalar x = challenge_x(T1, T2, g, h, V);
  const std::vector<Scalar> z_pow = powers(z, m + 3);

  proofs::Claims out;
  // First equation: (tx − δ)·g + τ_x·h − Σ z^(j+2)·V_j − x·T1 − x²·T2 = 0.
  {
    // Σ_{i<N} y^i for N a power of two: Σ_{i<2L} y^i = (1 + y^L)·Σ_{i<L} y^i.
    Scalar sum_y = Scalar::one(), y_L = y;
    for (std::size_t L = 1; L < N; L *= 2) {
      sum_y = sum_y.mul(Scalar::one().add(y_L));
      y_L = y_L.mul(y_L);
    }
    const Scalar sum_2k = sum_of_powers_of_two(n);
    Scalar delta = z.sub(z.mul(z)).mul(sum_y);
    for (std::size_t j = 0; j < m; ++j) delta.sub_assign(z_pow[j + 3].mul(sum_2k));
    proofs::Equation& e = out.equations.emplace_back();
    e.scalars = {tx.sub(delta), tau_x, x.neg(), x.mul(x).neg()};
    e.points = {g, h, T1, T2};
    for (std::size_t j = 0; j < m; ++j) e.term(z_pow[j + 2].neg(), V[j]);
  }

  // Second equation: the inner-product argument over (Gv, h') for P,
  // unrolled over Gv and Hv (see inner_product.hpp):
  //   A + x·S − μ·h + (tx − a·b)·x_u·g + Σ (−z − a·s[i])·Gv[i]
  //   + Σ (z + (z^(j+2)·2^k − b·s[i]⁻¹)·y^−i)·Hv[i] + Σ (x_k²·L_k + x_k⁻²·R_k) = 0.
  // The last sum is the argument's own; it adds those terms itself.
  std::vector<Scalar> y_inv_pow(N, Scalar::one());
  if (N > 1) {
    if (y.is_zero()) return Err{zero_y()};
    // y is public (a hash of the proof): variable-time inversion.
    y_inv_pow = powers(Scalar{"invert", y.fe.inverse_vartime()}, N);
  }
  const Scalar x_u = scalar_challenge(tau_x, miu, tx);
  const Point u = g.scalar_mul_vartime(x_u);
  const InnerProductArg& ipa = inner_product_proof;
  auto fs_result = ipa.folding_scalars(N, u);
  if (!fs_result.ok()) return Err{fs_result.error()};
  const FoldingScalars& fs = fs_result.value();
  const std::size_t levels = fs.x.size();
  const Scalar a = Scalar::from_bigint(ipa.a_tag), b = Scalar::from_bigint(ipa.b_tag);

  proofs::Equation& e = out.equations.emplace_back();
  e.scalars.reserve(2 * N + 2 * levels + 4);
  e.points.reserve(2 * N + 2 * levels + 4);
  e.scalars.insert(e.scalars.end(), {Scalar::one(), x, miu.neg(), tx.sub(a.mul(b)).mul(x_u)});
  e.points.insert(e.points.end(), {A, S, h, g});
  // z^(j+2)·2^k by doubling along each value's bits.
  Scalar z_two_k = Scalar::zero();
  const Scalar neg_z = z.neg();
  for (std::size_t i = 0; i < N; ++i) {
    if (i % n == 0) z_two_k = z_pow[i / n + 2];
    e.term(neg_z.sub(a.mul(fs.s[i])), Gv[i]);
    const Scalar inner = z_two_k.sub(b.mul(fs.s_inv[i]));
    e.term(z.add(inner.mul(y_inv_pow[i])), Hv[i]);
    z_two_k = z_two_k.add(z_two_k);
  }
  ipa.add_lr_terms(fs, e);
  return out;
}

namespace {

// The inner-product argument nested in the record, as its own record.
struct InnerProductArgKind {
  using Type = InnerProductArg;
  static nlohmann::ordered_json write(const InnerProductArg& arg) { return to_json(arg); }
  static Result<InnerProductArg, json::JsonError> read(json::Reader& r) { return read_inner_product_arg(r); }
};

constexpr proofs::Member<RangeProof> kMembers[] = {
    proofs::member<&RangeProof::A>("A", proofs::as_point),
    proofs::member<&RangeProof::S>("S", proofs::as_point),
    proofs::member<&RangeProof::T1>("T1", proofs::as_point),
    proofs::member<&RangeProof::T2>("T2", proofs::as_point),
    proofs::member<&RangeProof::tau_x>("tau_x", proofs::as_scalar),
    proofs::member<&RangeProof::miu>("miu", proofs::as_scalar),
    proofs::member<&RangeProof::tx>("tx", proofs::as_scalar),
    proofs::member<&RangeProof::inner_product_proof>("inner_product_proof", InnerProductArgKind{}),
};

}  // namespace

nlohmann::ordered_json to_json(const RangeProof& p) { return proofs::write_record(kMembers, p); }

Result<RangeProof, json::JsonError> read_range_proof(json::Reader& reader) {
  return proofs::read_record(reader, "RangeProof", kMembers);
}

Result<RangeProof, json::JsonError> parse_range_proof(std::string_view text) {
  return json::parse_all<RangeProof>(text, read_range_proof);
}

}  // namespace vemo::bulletproofs

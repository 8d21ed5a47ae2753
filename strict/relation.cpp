#include "relation.hpp"

#include "curve/ct.hpp"
#include "curve/fixed_base.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/random.hpp"
#include "curve/scalar_mul.hpp"
#include "curve/verify.hpp"

namespace vemo::strict {

using curve::Point;
using curve::ProjPoint;
using curve::Scalar;
using u64 = std::uint64_t;

namespace {

thread_local std::optional<std::array<unsigned char, 32>> t_fixed_random;

// How often a zero nonce or an identity commitment (each about 2^-254 per
// draw) may make the prover draw again before it gives up: reached only
// with fixed random bytes, where drawing again gives the same bytes.
constexpr int kDraws = 4;

void put_u32(std::string& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back((char)(unsigned char)(v >> s));
}

// Σ_t s_{i(t)} · B_t for secret s, constant time in s: the bases of a
// ledger recur (g, h, busy keys), so one or two terms go through the
// fixed-base tables; longer sums through the constant-time multi-scalar sum.
ProjPoint linear_sum(const LinearEquation& eq, const std::vector<Scalar>& s, std::uint64_t narrow = 0) {
  if (eq.terms.size() == 2) {
    for (int first = 0; first < 2; ++first) {  // public: which term holds a value below 2^64
      const Term &a = eq.terms[first], &b = eq.terms[1 - first];
      if (a.secret < 64 && (narrow >> a.secret & 1)) {
        ct::Wiped<curve::Limbs> raw(s[a.secret].to_raw());
        VEMO_VERIFY_CHECK(((*raw)[1] | (*raw)[2] | (*raw)[3]) == 0, "a narrow secret is below 2^64");
        return curve::u64_scalar_mul_fixed_proj(a.base, (*raw)[0], b.base, s[b.secret]);
      }
    }
  }
  if (eq.terms.size() == 1) return curve::scalar_mul_fixed_proj(eq.terms[0].base, s[eq.terms[0].secret]);
  if (eq.terms.size() == 2)
    return curve::double_scalar_mul_fixed_proj(eq.terms[0].base, s[eq.terms[0].secret], eq.terms[1].base,
                                               s[eq.terms[1].secret]);
  std::vector<Scalar> ks;
  std::vector<Point> ps;
  for (const Term& t : eq.terms) {
    ks.push_back(s[t.secret]);
    ps.push_back(t.base);
  }
  ProjPoint out = curve::msm(ks.data(), ps.data(), ks.size());
  for (Scalar& k : ks) curve::wipe(k);
  return out;
}

// 1 when q is the public affine point p, else 0; constant time in q.
// Compared in projective form (X = x·Z, Y = y·Z, Z non-zero), which spares
// an inversion.
u64 equals_flag(const ProjPoint& q, const Point& p) {
  const u64 z_zero = q.Z.is_zero_flag();
  if (p.infinity) return z_zero;  // p is public
  return q.X.eq_flag(p.x * q.Z) & q.Y.eq_flag(p.y * q.Z) & (1 ^ z_zero);
}

bool draw_random(unsigned char r[32]) {
  if (t_fixed_random) {
    std::copy(t_fixed_random->begin(), t_fixed_random->end(), r);
    return true;
  }
  return curve::fill_random(r, 32);
}

}  // namespace

Expected<bool> check_shape(const Relation& rel) {
  if (rel.secrets == 0 || rel.equations.empty()) return error(rel.kind + ": a relation needs a secret and an equation");
  std::vector<bool> used(rel.secrets, false);
  for (std::size_t j = 0; j < rel.equations.size(); ++j) {
    const LinearEquation& eq = rel.equations[j];
    if (eq.terms.empty()) return error(rel.kind + ": equation " + std::to_string(j) + " has no term");
    for (std::size_t t = 0; t < eq.terms.size(); ++t) {
      if (eq.terms[t].secret >= rel.secrets)
        return error(rel.kind + ": equation " + std::to_string(j) + " names secret " +
                     std::to_string(eq.terms[t].secret) + " of " + std::to_string(rel.secrets));
      if (eq.terms[t].base.is_zero())
        return error(rel.kind + ": base " + std::to_string(t) + " of equation " + std::to_string(j) +
                     ": the identity is not allowed here");
      used[eq.terms[t].secret] = true;
    }
  }
  for (std::uint32_t i = 0; i < rel.secrets; ++i)
    if (!used[i]) return error(rel.kind + ": secret " + std::to_string(i) + " appears in no equation");
  return true;
}

Transcript statement_transcript(const Relation& rel, std::string_view context) {
  Transcript t(rel.kind, context);
  std::string shape;
  put_u32(shape, rel.secrets);
  put_u32(shape, (std::uint32_t)rel.equations.size());
  for (const LinearEquation& eq : rel.equations) {
    put_u32(shape, (std::uint32_t)eq.terms.size());
    for (const Term& term : eq.terms) put_u32(shape, term.secret);
  }
  t.absorb("shape", shape);
  for (const LinearEquation& eq : rel.equations) {
    t.absorb_point("image", eq.image);
    for (const Term& term : eq.terms) t.absorb_point("base", term.base);
  }
  for (const ExtraItem& item : rel.extra) t.absorb(item.label, item.bytes);
  return t;
}

void set_nonce_random_for_testing(const std::optional<std::array<unsigned char, 32>>& r) { t_fixed_random = r; }

Expected<std::string> prove(const Relation& rel, std::string_view context, const std::vector<Scalar>& w) {
  auto shape = check_shape(rel);
  if (!shape.ok()) return Err{shape.error()};
  if (w.size() != rel.secrets)
    return error(rel.kind + ": expected " + std::to_string(rel.secrets) + " secrets, got " + std::to_string(w.size()));
  const std::size_t m = rel.equations.size(), k = rel.secrets;

  // The secrets must satisfy every equation: all are compared before one
  // branch, so only the verdict, which the caller learns anyway, is public.
  u64 holds = 1;
  for (const LinearEquation& eq : rel.equations) holds &= equals_flag(linear_sum(eq, w, rel.narrow), eq.image);
  ct::declassify(holds);
  if (!holds) return error(rel.kind + ": the secrets do not satisfy the statement");

  const Transcript statement = statement_transcript(rel, context);
  const HedgedNonces nonces(statement.digest(), w.data(), k);

  for (int draw = 0; draw < kDraws; ++draw) {
    ct::Wiped<std::array<unsigned char, 32>> random;
    if (!draw_random(random->data())) return error(rel.kind + ": no randomness from the operating system");
    std::vector<Scalar> rho(k);
    u64 zero = 0;
    for (std::size_t i = 0; i < k; ++i) {
      rho[i] = Scalar{"nonce", nonces.nonce((std::uint32_t)i, *random).fe};
      zero |= rho[i].fe.is_zero_flag();
    }
    ct::declassify(zero);  // whether some nonce is zero: never, in practice
    auto wipe_all = [&] {
      for (Scalar& r : rho) curve::wipe(r);
    };
    if (zero) {
      wipe_all();
      continue;
    }
    std::vector<ProjPoint> proj(m);
    for (std::size_t j = 0; j < m; ++j) proj[j] = linear_sum(rel.equations[j], rho);
    std::vector<Point> a(m);
    curve::batch_to_affine(proj.data(), m, a.data(), "commitment");
    bool identity = false;
    for (Point& p : a) {
      ct::declassify(p);  // the commitments are the proof's first half
      identity |= p.is_zero();
    }
    if (identity) {
      wipe_all();
      continue;
    }

    Transcript t(statement);
    for (const Point& p : a) t.absorb_point("commitment", p);
    const Scalar c = t.challenge("challenge");
    std::string out;
    out.reserve(rel.proof_size());
    for (const Point& p : a) {
      const auto b = encode_point(p);
      out.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    for (std::size_t i = 0; i < k; ++i) {
      Scalar z = rho[i].add(c.mul(w[i]));
      ct::declassify(z);  // the responses are the proof's second half
      const auto b = encode_scalar(z);
      out.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    wipe_all();
    return out;
  }
  return error(rel.kind + ": the nonces came out degenerate on every draw");
}

Expected<proofs::Claims> claims_vartime(const Relation& rel, std::string_view context, std::string_view proof) {
  auto shape = check_shape(rel);
  if (!shape.ok()) return Err{shape.error()};
  ProofReader reader(rel.kind, proof);
  auto length = reader.expect_length(rel.proof_size());
  if (!length.ok()) return Err{length.error()};
  const std::size_t m = rel.equations.size(), k = rel.secrets;
  std::vector<Point> a;
  std::vector<Scalar> z;
  for (std::size_t j = 0; j < m; ++j) {
    auto p = reader.point("A_" + std::to_string(j));
    if (!p.ok()) return Err{p.error()};
    a.push_back(p.value());
  }
  for (std::size_t i = 0; i < k; ++i) {
    auto s = reader.scalar("z_" + std::to_string(i));
    if (!s.ok()) return Err{s.error()};
    z.push_back(s.value());
  }
  Transcript t = statement_transcript(rel, context);
  for (const Point& p : a) t.absorb_point("commitment", p);
  const Scalar c = t.challenge("challenge");
  const Scalar minus_c = c.neg(), minus_one = Scalar::one().neg();
  proofs::Claims out;
  for (std::size_t j = 0; j < m; ++j) {
    const LinearEquation& eq = rel.equations[j];
    proofs::Equation& e = out.equations.emplace_back();
    for (const Term& term : eq.terms) e.term(z[term.secret], term.base);
    if (!eq.image.is_zero()) e.term(minus_c, eq.image);
    e.term(minus_one, a[j]);
  }
  return out;
}

}  // namespace vemo::strict

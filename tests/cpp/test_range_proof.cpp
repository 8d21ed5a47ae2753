// Range proofs at library level: the inner-product argument against a
// literal recursive verifier, aggregated proofs over several values (which
// Python cannot reach: it always proves one value), and the preconditions.
#include <gtest/gtest.h>

#include "test_util.hpp"

#include <cstdio>
#include <random>
#include <string>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/inner_product.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/proofs/challenge.hpp"
#include "curve/proofs/claims.hpp"

using namespace vemo;
using namespace vemo::curve;
using namespace vemo::bulletproofs;

namespace {

using vemo::test::random_scalar;
using vemo::test::rng;

Point random_point() {
  unsigned char b[32];
  for (auto& x : b) x = (unsigned char)rng()();
  return generate_random_point(b, sizeof b);
}

std::vector<Point> random_points(std::size_t n) {
  std::vector<Point> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(random_point());
  return v;
}

std::vector<Scalar> random_scalars(std::size_t n) {
  std::vector<Scalar> v;
  for (std::size_t i = 0; i < n; ++i) v.push_back(random_scalar());
  return v;
}

Point lin(const std::vector<Scalar>& k, const std::vector<Point>& p) {
  return msm_vartime(k.data(), p.data(), k.size()).to_affine("sum");
}

Point mul(const Point& p, const Scalar& k) { return p.scalar_mul_vartime(k); }
Point add(const Point& a, const Point& b) { return a.add_point(b); }

// The argument verified exactly as the recursion describes it: fold the
// generators and P level by level, then one final equation. Requires enough
// L/R pairs.
bool reference_ipa_verify(const InnerProductArg& arg, std::size_t level, std::vector<Point> G, std::vector<Point> H,
                          const Point& u, const Point& P) {
  const std::size_t N = G.size();
  if (N == 1) {
    const Scalar a = Scalar::from_bigint(arg.a_tag), b = Scalar::from_bigint(arg.b_tag);
    return P.eq(add(add(mul(G[0], a), mul(H[0], b)), mul(u, a.mul(b))));
  }
  const Scalar x = level_challenge(arg.L[level], arg.R[level], u);
  const Scalar xi = *x.invert();
  const std::size_t h = N / 2;
  std::vector<Point> G2, H2;
  for (std::size_t i = 0; i < h; ++i) {
    G2.push_back(add(mul(G[i], xi), mul(G[h + i], x)));
    H2.push_back(add(mul(H[i], x), mul(H[h + i], xi)));
  }
  const Point P2 = add(add(mul(arg.L[level], x.mul(x)), mul(arg.R[level], xi.mul(xi))), P);
  return reference_ipa_verify(arg, level + 1, G2, H2, u, P2);
}

// The range proof verified term by term: the modified generators h', the
// point P and the recursive argument, with the t(x) equation beside it.
bool reference_range_verify(const RangeProof& p, const std::vector<Point>& Gv, const std::vector<Point>& Hv,
                            const Point& g, const Point& h, const std::vector<Point>& V, std::size_t n) {
  const std::size_t m = V.size(), N = n * m;
  const Scalar y = proofs::challenge_from_transcript(Digest::Sha256, {p.A, p.S});
  const Scalar z = proofs::challenge_from_transcript(Digest::Sha256, {mul(Point::generator(), y)});
  std::vector<Point> xt{p.T1, p.T2, g, h};
  for (int twice = 0; twice < 2; ++twice) xt.insert(xt.end(), V.begin(), V.end());
  const Scalar x = proofs::challenge_from_transcript(Digest::Sha256, xt);
  const auto yp = powers(y, N), zp = powers(z, m + 3), tp = powers(Scalar::from_u64(2), n);
  Scalar sum_y = Scalar::zero(), sum_2 = Scalar::zero();
  for (const Scalar& s : yp) sum_y.add_assign(s);
  for (const Scalar& s : tp) sum_2.add_assign(s);
  Scalar delta = z.sub(z.mul(z)).mul(sum_y);
  for (std::size_t j = 0; j < m; ++j) delta.sub_assign(zp[j + 3].mul(sum_2));
  const Point lhs = add(mul(g, p.tx), mul(h, p.tau_x));
  Point rhs = add(add(mul(g, delta), mul(p.T1, x)), mul(p.T2, x.mul(x)));
  for (std::size_t j = 0; j < m; ++j) rhs = add(rhs, mul(V[j], zp[j + 2]));

  const Point u = mul(g, scalar_challenge(p.tau_x, p.miu, p.tx));
  const Scalar yi = *y.invert();
  const auto yip = powers(yi, N);
  std::vector<Point> hp;
  Point P = add(add(p.A, mul(p.S, x)), add(mul(h, p.miu.neg()), mul(u, p.tx)));
  for (std::size_t i = 0; i < N; ++i) {
    hp.push_back(mul(Hv[i], yip[i]));
    P = add(P, mul(Gv[i], z.neg()));
    P = add(P, mul(hp[i], z.mul(yp[i]).add(zp[i / n + 2].mul(tp[i % n]))));
  }
  return reference_ipa_verify(p.inner_product_proof, 0, Gv, hp, u, P) && lhs.eq(rhs);
}

struct Statement {
  std::vector<Point> G, H;
  Point u, P;
  std::vector<Scalar> a, b;
};

Statement random_statement(std::size_t N) {
  Statement s{random_points(N), random_points(N), random_point(), Point{}, random_scalars(N), random_scalars(N)};
  std::vector<Scalar> k = s.a;
  k.insert(k.end(), s.b.begin(), s.b.end());
  k.push_back(inner_product(s.a, s.b).value());
  std::vector<Point> pts = s.G;
  pts.insert(pts.end(), s.H.begin(), s.H.end());
  pts.push_back(s.u);
  s.P = lin(k, pts);
  return s;
}

}  // namespace

TEST(InnerProduct, OfVectors) {
  EXPECT_TRUE(inner_product({}, {}).value().is_zero());
  const auto v = inner_product({Scalar::from_u64(2), Scalar::from_u64(3)}, {Scalar::from_u64(5), Scalar::from_u64(7)});
  EXPECT_TRUE(v.value().eq(Scalar::from_u64(31)));
  const auto bad = inner_product({Scalar::one()}, {});
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.error().message.find("inner_product(a,b): lengths of vectors do not match"), std::string::npos);
}

TEST(InnerProductArg, ProvesAndAgreesWithTheRecursion) {
  for (std::size_t N : {1, 2, 4, 8, 16}) {
    SCOPED_TRACE(N);
    const Statement s = random_statement(N);
    const auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b).value();
    std::size_t levels = 0;
    while ((std::size_t{1} << levels) < N) ++levels;
    EXPECT_EQ(arg.L.size(), levels);
    EXPECT_EQ(arg.R.size(), levels);
    EXPECT_TRUE(arg.verify(s.G, s.H, s.u, s.P).value());
    EXPECT_TRUE(reference_ipa_verify(arg, 0, s.G, s.H, s.u, s.P));

    // Tampered records: both verifiers refuse each one.
    std::vector<InnerProductArg> bad(4, arg);
    bad[0].a_tag = arg.a_tag + BigInt(1);
    bad[1].b_tag = Scalar::from_bigint(arg.b_tag).add(Scalar::one()).to_bigint();
    if (levels > 0) {
      std::swap(bad[2].L[0], bad[2].R[0]);
      bad[3].L[levels - 1] = random_point();
    } else {
      bad.resize(2);
    }
    for (const auto& b : bad) {
      EXPECT_FALSE(b.verify(s.G, s.H, s.u, s.P).value());
      EXPECT_FALSE(reference_ipa_verify(b, 0, s.G, s.H, s.u, s.P));
    }
    EXPECT_FALSE(arg.verify(s.G, s.H, s.u, add(s.P, s.u)).value());
  }
}

// The prover's pairs and residues exactly as the recursion defines them:
// at every level L = <a_lo, G_hi> + <b_hi, H_lo> + c_L·u and R likewise,
// then a, b and the generators folded. The prover keeps its generators as
// combinations and sums them in lanes where they are on: its record must
// be this one whichever path runs (the suite runs with each VEMO_LANES).
InnerProductArg reference_ipa_prove(std::vector<Point> G, std::vector<Point> H, const Point& u, std::vector<Scalar> a,
                                    std::vector<Scalar> b) {
  InnerProductArg arg;
  while (a.size() > 1) {
    const std::size_t h = a.size() / 2;
    const std::vector<Scalar> a_lo(a.begin(), a.begin() + h), a_hi(a.begin() + h, a.end());
    const std::vector<Scalar> b_lo(b.begin(), b.begin() + h), b_hi(b.begin() + h, b.end());
    const std::vector<Point> G_lo(G.begin(), G.begin() + h), G_hi(G.begin() + h, G.end());
    const std::vector<Point> H_lo(H.begin(), H.begin() + h), H_hi(H.begin() + h, H.end());
    const Point L = add(add(lin(a_lo, G_hi), lin(b_hi, H_lo)), mul(u, inner_product(a_lo, b_hi).value()));
    const Point R = add(add(lin(a_hi, G_lo), lin(b_lo, H_hi)), mul(u, inner_product(a_hi, b_lo).value()));
    arg.L.push_back(L);
    arg.R.push_back(R);
    const Scalar x = level_challenge(L, R, u), xi = *x.invert();
    for (std::size_t i = 0; i < h; ++i) {
      a[i] = a_lo[i].mul(x).add(a_hi[i].mul(xi));
      b[i] = b_lo[i].mul(xi).add(b_hi[i].mul(x));
      G[i] = add(mul(G_lo[i], xi), mul(G_hi[i], x));
      H[i] = add(mul(H_lo[i], x), mul(H_hi[i], xi));
    }
    a.resize(h);
    b.resize(h);
    G.resize(h);
    H.resize(h);
  }
  arg.a_tag = a[0].to_bigint();
  arg.b_tag = b[0].to_bigint();
  return arg;
}

TEST(InnerProductArg, RecordIsTheRecursionsRecord) {
  // 16 and 64 go through both collapses of the generators (see
  // should_rebase), 64 as a 64-bit range proof does.
  for (std::size_t N : {1, 2, 4, 8, 16, 64}) {
    SCOPED_TRACE(N);
    const Statement s = random_statement(N);
    const auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b).value();
    const auto want = reference_ipa_prove(s.G, s.H, s.u, s.a, s.b);
    ASSERT_EQ(arg.L.size(), want.L.size());
    ASSERT_EQ(arg.R.size(), want.R.size());
    for (std::size_t k = 0; k < want.L.size(); ++k) {
      EXPECT_TRUE(arg.L[k].eq(want.L[k])) << "L at level " << k;
      EXPECT_TRUE(arg.R[k].eq(want.R[k])) << "R at level " << k;
    }
    EXPECT_EQ(arg.a_tag, want.a_tag);
    EXPECT_EQ(arg.b_tag, want.b_tag);
  }
}

TEST(InnerProductArg, SingleEntryKeepsTheGivenLists) {
  const Statement s = random_statement(1);
  const std::vector<Point> L0{random_point()}, R0{random_point(), random_point()};
  const auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b, L0, R0).value();
  ASSERT_EQ(arg.L.size(), 1u);
  ASSERT_EQ(arg.R.size(), 2u);
  EXPECT_TRUE(arg.L[0].eq(L0[0]));
  EXPECT_TRUE(arg.R[1].eq(R0[1]));
  EXPECT_EQ(arg.a_tag, s.a[0].to_bigint());
  EXPECT_EQ(arg.b_tag, s.b[0].to_bigint());
}

TEST(InnerProductArg, ResiduesAndExtraPairs) {
  const Statement s = random_statement(4);
  auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b).value();
  InnerProductArg wide = arg;
  wide.a_tag = arg.a_tag + Scalar::group_order();  // read modulo r
  wide.L.push_back(random_point());                // beyond the last level: ignored
  wide.R.push_back(random_point());
  EXPECT_TRUE(wide.verify(s.G, s.H, s.u, s.P).value());
}

TEST(InnerProductArg, AddsItsLevelTermsToAnEquation) {
  const Statement s = random_statement(8);
  const auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b).value();
  // Checked over 8 generators every pair is a level; over 2 only the first.
  for (const std::size_t N : {8, 2}) {
    SCOPED_TRACE(N);
    const FoldingScalars fs = arg.folding_scalars(N, s.u).value();
    proofs::Equation e;
    e.term(Scalar::one(), s.P);  // terms already there stay, in front
    arg.add_lr_terms(fs, e);
    const std::size_t levels = N == 8 ? 3 : 1;
    ASSERT_EQ(e.scalars.size(), 1 + 2 * levels);
    ASSERT_EQ(e.points.size(), 1 + 2 * levels);
    EXPECT_TRUE(e.points[0].eq(s.P));
    for (std::size_t k = 0; k < levels; ++k) {
      const Scalar x = level_challenge(arg.L[k], arg.R[k], s.u), xi = *x.invert();
      EXPECT_TRUE(e.scalars[1 + 2 * k].eq(x.mul(x)));
      EXPECT_TRUE(e.points[1 + 2 * k].eq(arg.L[k]));
      EXPECT_TRUE(e.scalars[2 + 2 * k].eq(xi.mul(xi)));
      EXPECT_TRUE(e.points[2 + 2 * k].eq(arg.R[k]));
    }
  }
}

TEST(InnerProductArg, Preconditions) {
  const Statement s = random_statement(4);
  const auto arg = InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, s.b).value();
  struct Case {
    std::size_t n;
    const char* message;
  };
  for (const Case c : {Case{3, kNotPowerOfTwo}, Case{0, kNotPowerOfTwo}, Case{6, kNotPowerOfTwo}}) {
    SCOPED_TRACE(c.n);
    const auto G = random_points(c.n), H = random_points(c.n);
    const auto p = InnerProductArg::prove(G, H, s.u, s.P, random_scalars(c.n), random_scalars(c.n));
    ASSERT_FALSE(p.ok());
    EXPECT_EQ(p.error().message, c.message);
    const auto v = arg.verify(G, H, s.u, s.P);
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error().message, c.message);
  }
  // Mismatched lengths.
  EXPECT_FALSE(InnerProductArg::prove(s.G, random_points(2), s.u, s.P, s.a, s.b).ok());
  EXPECT_FALSE(InnerProductArg::prove(s.G, s.H, s.u, s.P, s.a, random_scalars(2)).ok());
  EXPECT_FALSE(arg.verify(s.G, random_points(2), s.u, s.P).ok());
  // Fewer pairs than levels: no answer, a panic.
  for (std::size_t keep : {0, 1}) {
    InnerProductArg short_arg = arg;
    short_arg.L.resize(keep);
    EXPECT_FALSE(short_arg.verify(s.G, s.H, s.u, s.P).ok());
    short_arg = arg;
    short_arg.R.resize(keep);
    EXPECT_FALSE(short_arg.verify(s.G, s.H, s.u, s.P).ok());
  }
  // Over eight generators the two pairs of a four-generator record run out.
  EXPECT_FALSE(arg.verify(random_points(8), random_points(8), s.u, s.P).ok());
}

TEST(Generators, DerivedFromTheLabelIntegers) {
  const auto v = derive_generator_vectors(4, 4);
  ASSERT_EQ(v.G.size(), 4u);
  ASSERT_EQ(v.H.size(), 4u);
  for (std::uint64_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(v.G[i].eq(point_from_integer(kLabelInteger + i)));
    EXPECT_TRUE(v.H[i].eq(point_from_integer(kLabelInteger + 4 + i)));
  }
  // Past the cached prefix the points are the same functions of k.
  const auto far = derive_generator_vectors(1u << 14, 2);
  EXPECT_TRUE(far.G[1].eq(v.G[1]));
  EXPECT_TRUE(far.H[0].eq(point_from_integer(kLabelInteger + (1u << 14))));
  // The point for 1 hashes the single byte 0x01, as gen_GH's g does.
  const unsigned char one = 1;
  const auto d = sha512(&one, 1);
  EXPECT_TRUE(point_from_integer(1).eq(generate_random_point(d.data(), d.size())));
}

namespace {

struct Aggregate {
  std::size_t n;
  std::vector<std::int64_t> values;
};

struct ProofSetup {
  GeneratorVectors gv;
  Point g, h;
  std::vector<Scalar> values, blindings;
  std::vector<Point> V;
};

ProofSetup make_setup(const Aggregate& c) {
  ProofSetup s{derive_generator_vectors(c.n * c.values.size(), c.n * c.values.size()), random_point(), random_point(),
          {}, {}, {}};
  for (std::int64_t v : c.values) {
    s.values.push_back(Scalar::from_i64(v));
    s.blindings.push_back(random_scalar());
    s.V.push_back(add(mul(s.g, s.values.back()), mul(s.h, s.blindings.back())));
  }
  return s;
}

}  // namespace

TEST(RangeProof, AggregatedOverSeveralValues) {
  const Aggregate cases[] = {
      {8, {5, 200}}, {4, {0, 15, 7, 1}}, {16, {65535, 0, 1234, 4321}}, {2, {3, 2}}, {1, {1, 0, 1, 1, 0, 0, 1, 0}},
  };
  for (const Aggregate& c : cases) {
    SCOPED_TRACE(c.n);
    const ProofSetup s = make_setup(c);
    const auto proof = RangeProof::prove(s.gv.G, s.gv.H, s.g, s.h, s.values, s.blindings, c.n).value();
    EXPECT_TRUE(proof.verify(s.gv.G, s.gv.H, s.g, s.h, s.V, c.n).value());
    EXPECT_TRUE(reference_range_verify(proof, s.gv.G, s.gv.H, s.g, s.h, s.V, c.n));
    // Commitments listed in another order: refused.
    std::vector<Point> swapped = s.V;
    std::swap(swapped.front(), swapped.back());
    EXPECT_FALSE(proof.verify(s.gv.G, s.gv.H, s.g, s.h, swapped, c.n).value());
    // Another blinding behind one commitment: refused.
    std::vector<Point> other = s.V;
    other[0] = add(other[0], s.h);
    EXPECT_FALSE(proof.verify(s.gv.G, s.gv.H, s.g, s.h, other, c.n).value());
  }
}

TEST(RangeProof, ValuesOutOfRangeAreRefused) {
  // Each case holds one value outside [0, 2^n): above, far above (its high
  // bits would carry into the next value's slot) or negative.
  const Aggregate cases[] = {
      {8, {256, 3}}, {8, {3, 256}}, {8, {-1, 0}}, {4, {1 << 20, 0, 0, 0}}, {32, {-5, 5}}, {8, {255 + 256 * 3, 0}},
  };
  for (const Aggregate& c : cases) {
    SCOPED_TRACE(c.values[0]);
    const ProofSetup s = make_setup(c);
    const auto proof = RangeProof::prove(s.gv.G, s.gv.H, s.g, s.h, s.values, s.blindings, c.n).value();
    EXPECT_FALSE(proof.verify(s.gv.G, s.gv.H, s.g, s.h, s.V, c.n).value());
    EXPECT_FALSE(reference_range_verify(proof, s.gv.G, s.gv.H, s.g, s.h, s.V, c.n));
  }
}

TEST(RangeProof, UnrolledVerifierAgreesOnTamperedRecords) {
  const ProofSetup s = make_setup({8, {77, 1}});
  const auto proof = RangeProof::prove(s.gv.G, s.gv.H, s.g, s.h, s.values, s.blindings, 8).value();
  std::vector<RangeProof> bad(8, proof);
  bad[0].A = random_point();
  bad[1].S = bad[1].A;
  bad[2].T1 = add(bad[2].T1, s.g);
  bad[3].T2 = random_point();
  bad[4].tau_x = proof.tau_x.add(Scalar::one());
  bad[5].miu = proof.miu.add(Scalar::one());
  bad[6].tx = proof.tx.add(Scalar::one());
  bad[7].inner_product_proof.R[2] = random_point();
  for (std::size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(bad[i].verify(s.gv.G, s.gv.H, s.g, s.h, s.V, 8).value());
    EXPECT_FALSE(reference_range_verify(bad[i], s.gv.G, s.gv.H, s.g, s.h, s.V, 8));
  }
}

TEST(RangeProof, Preconditions) {
  const ProofSetup s = make_setup({8, {1, 2, 3}});  // N = 24
  const auto gv = derive_generator_vectors(24, 24);
  const auto p = RangeProof::prove(gv.G, gv.H, s.g, s.h, s.values, s.blindings, 8);
  ASSERT_FALSE(p.ok());
  EXPECT_EQ(p.error().message, kNotPowerOfTwo);
  const auto empty = RangeProof::prove({}, {}, s.g, s.h, {}, {}, 8);  // N = 0
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().message, kNotPowerOfTwo);
  const auto gv16 = derive_generator_vectors(16, 16);
  EXPECT_FALSE(RangeProof::prove(gv16.G, gv16.H, s.g, s.h, {s.values[0], s.values[1]}, {s.blindings[0]}, 8).ok());
  EXPECT_FALSE(RangeProof::prove(gv16.G, gv.H, s.g, s.h, {s.values[0], s.values[1]}, s.blindings, 8).ok());

  const auto two = RangeProof::prove(gv16.G, gv16.H, s.g, s.h, {s.values[0], s.values[1]},
                                     {s.blindings[0], s.blindings[1]}, 8)
                       .value();
  const auto v3 = two.verify(gv.G, gv.H, s.g, s.h, s.V, 8);
  ASSERT_FALSE(v3.ok());
  EXPECT_EQ(v3.error().message, kNotPowerOfTwo);
  // Checked as four values of 8 bits: one level more than the record holds.
  const auto gv32 = derive_generator_vectors(32, 32);
  const std::vector<Point> four{s.V[0], s.V[1], s.V[0], s.V[1]};
  EXPECT_FALSE(two.verify(gv32.G, gv32.H, s.g, s.h, four, 8).ok());
  // Checked as one value of 8 bits: the extra pair is ignored, the answer is no.
  const auto gv8 = derive_generator_vectors(8, 8);
  EXPECT_FALSE(two.verify(gv8.G, gv8.H, s.g, s.h, {s.V[0]}, 8).value());
}

// The 8-lane engine (curve/lanes) against the scalar field and the scalar
// Jacobian formulas, in every lane layer this machine can run: the portable
// one always, the IFMA one where the processor has it (and then limb for
// limb against the portable one).
//
// Inputs cover the canonical edge values (0, 1, p - 1, ...), the lane forms
// the engine carries but the scalar field never has (values in [p, 2p), and
// for the multiplication any value below 2^256), and seeded random values.
// Every output is checked for its meaning (the field value it stands for)
// and for the bound the engine promises (five limbs below 2^52, value below
// 2p; below p after reduce).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "curve/encoding.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/jacobian.hpp"
#include "curve/lanes/batch_affine.hpp"
#include "curve/lanes/consts.hpp"
#include "curve/lanes/decompress.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/lanes/map_batch.hpp"
#include "test_util.hpp"

using namespace vemo::curve;
using lanes::Fe8;
using lanes::Jac8;
using lanes::Kernels;

namespace {

using vemo::test::seed;

constexpr std::uint64_t kM52 = (1ULL << 52) - 1;

// ---- reading and writing lane forms as integers ----

// The integer in lane i of x, in four 64-bit limbs; fails when a limb is
// not below 2^52 or the value not below 2^256.
::testing::AssertionResult lane_integer(const Fe8& x, int i, Limbs& out) {
  for (int j = 0; j < 5; ++j)
    if (x.l[j][i] > kM52) return ::testing::AssertionFailure() << "limb " << j << " of lane " << i << " above 2^52";
  if (x.l[4][i] >> 48) return ::testing::AssertionFailure() << "lane " << i << " at or above 2^256";
  out[0] = x.l[0][i] | (x.l[1][i] << 52);
  out[1] = (x.l[1][i] >> 12) | (x.l[2][i] << 40);
  out[2] = (x.l[2][i] >> 24) | (x.l[3][i] << 28);
  out[3] = (x.l[3][i] >> 36) | (x.l[4][i] << 16);
  return ::testing::AssertionSuccess();
}

void set_lane(Fe8& x, int i, const Limbs& a) {
  x.l[0][i] = a[0] & kM52;
  x.l[1][i] = ((a[0] >> 52) | (a[1] << 12)) & kM52;
  x.l[2][i] = ((a[1] >> 40) | (a[2] << 24)) & kM52;
  x.l[3][i] = ((a[2] >> 28) | (a[3] << 36)) & kM52;
  x.l[4][i] = a[3] >> 16;
}

const Fp& inv_2_260() {
  static const Fp v = Fp::from_u64(2).pow_public_exp(Limbs{260, 0, 0, 0}).inverse();
  return v;
}

// What a lane integer a stands for: a 2^-260 mod p.
Fp meaning(const Limbs& a) { return Fp::from_raw_reduce(a) * inv_2_260(); }

Limbs two_p() {
  Limbs r;
  limbs::add(r, FpParams::MOD, FpParams::MOD);
  return r;
}

// Checks lane i of x: limbs and bound (below `bound`), and the value it
// stands for.
::testing::AssertionResult lane_is(const Fe8& x, int i, const Fp& want, const Limbs& bound) {
  Limbs a;
  if (auto ok = lane_integer(x, i, a); !ok) return ok;
  if (!limbs::lt_flag(a, bound)) return ::testing::AssertionFailure() << "lane " << i << " above its bound";
  if (meaning(a) != want) return ::testing::AssertionFailure() << "lane " << i << " has the wrong value";
  return ::testing::AssertionSuccess();
}

// ---- input sets ----

Fp fp_of_raw(const Limbs& l) { return Fp::from_raw_reduce(l); }

std::vector<Fp> edge_fps() {
  Limbs pm1 = FpParams::MOD, half = FpParams::MOD;
  pm1[0] -= 1;
  half[0] -= 1;
  for (int i = 0; i < 4; ++i) half[i] = (half[i] >> 1) | (i < 3 ? half[i + 1] << 63 : 0);
  Limbs pm2 = pm1;
  pm2[0] -= 1;
  return {Fp::zero(), Fp::one(), Fp::from_u64(2), fp_of_raw(pm1), fp_of_raw(pm2), fp_of_raw(half),
          fp_of_raw(Limbs{0, 0, 0, 1ULL << 60}), fp_of_raw(Limbs{~0ULL, ~0ULL, ~0ULL, 0})};
}

Fp random_fp(std::mt19937_64& rng) { return fp_of_raw(Limbs{rng(), rng(), rng(), rng()}); }

// Lane integers below `bound` (2p for add, sub, neg, reduce; 2^256 for
// mul): the lane form of edge values, the same values plus p (the
// non-reduced forms), the integers just below the bound, and random ones.
std::vector<Limbs> lane_inputs(std::mt19937_64& rng, bool up_to_2_256) {
  // x 2^260 mod p for a field value x, as an integer.
  auto form = [](const Fp& x) {
    const Fp two260 = Fp::from_u64(2).pow_public_exp(Limbs{260, 0, 0, 0});
    return (x * two260).to_raw();
  };
  std::vector<Limbs> v;
  for (const Fp& x : edge_fps()) {
    const Limbs a = form(x);
    v.push_back(a);
    Limbs b;
    limbs::add(b, a, FpParams::MOD);  // a + p < 2p
    v.push_back(b);
  }
  Limbs tp = two_p(), tpm1 = tp;
  tpm1[0] -= 1;  // 2p - 1 (2p is even and ends above 0)
  v.push_back(tpm1);
  v.push_back(FpParams::MOD);  // p itself: 0 in a non-reduced form
  if (up_to_2_256) {
    v.push_back(Limbs{~0ULL, ~0ULL, ~0ULL, ~0ULL});
    v.push_back(Limbs{0, 0, 0, 1ULL << 63});
    v.push_back(Limbs{~0ULL, 0, ~0ULL, ~0ULL});
    v.push_back(tp);
  }
  for (int k = 0; k < 40; ++k) {
    Limbs r{rng(), rng(), rng(), rng()};
    if (!up_to_2_256) {
      r[3] >>= 2;  // below 2^254, then below 2p by one subtraction at most
      Limbs d;
      if (!limbs::sub(d, r, tp)) r = d;
    }
    v.push_back(r);
  }
  return v;
}

// Fills lane i of a Fe8 from v[(start + i) % size].
Fe8 pack(const std::vector<Limbs>& v, std::size_t start) {
  Fe8 x{};
  for (int i = 0; i < 8; ++i) set_lane(x, i, v[(start + i) % v.size()]);
  return x;
}

// ---- the layers under test ----

std::vector<const Kernels*> layers() {
  std::vector<const Kernels*> v{&lanes::portable_kernels()};
  if (const Kernels* k = lanes::ifma_kernels()) v.push_back(k);
  return v;
}

struct LanesTest : ::testing::TestWithParam<const Kernels*> {
  const Kernels& k() const { return *GetParam(); }
};

// ---- field ----

TEST_P(LanesTest, ConversionsRoundTripAndKeepTheValue) {
  std::mt19937_64 rng(seed() + 11);
  std::vector<Fp> xs = edge_fps();
  for (int i = 0; i < 64; ++i) xs.push_back(random_fp(rng));
  for (std::size_t s = 0; s < xs.size(); s += 8) {
    Fp in[8], out[8];
    for (int i = 0; i < 8; ++i) in[i] = xs[(s + i) % xs.size()];
    Fe8 x;
    k().from_fp(&x, in);
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(lane_is(x, i, in[i], two_p()));
    k().to_fp(out, &x);
    for (int i = 0; i < 8; ++i) {
      ASSERT_TRUE(out[i].is_reduced());
      ASSERT_EQ(out[i], in[i]) << "lane " << i;
    }
  }
  // to_fp of the non-reduced forms gives the canonical value.
  const auto v = lane_inputs(rng, true);
  for (std::size_t s = 0; s < v.size(); s += 8) {
    const Fe8 x = pack(v, s);
    Fp out[8];
    k().to_fp(out, &x);
    for (int i = 0; i < 8; ++i) {
      ASSERT_TRUE(out[i].is_reduced());
      ASSERT_EQ(out[i], meaning(v[(s + i) % v.size()])) << "lane " << i;
    }
  }
}

struct BinaryCase {
  const char* name;
  void (*Kernels::*op)(Fe8*, const Fe8*, const Fe8*);
  std::function<Fp(const Fp&, const Fp&)> want;
  bool any_below_2_256;  // inputs may be any value below 2^256, not only below 2p
};
struct UnaryCase {
  const char* name;
  void (*Kernels::*op)(Fe8*, const Fe8*);
  std::function<Fp(const Fp&)> want;
  bool any_below_2_256;
  bool canonical;  // the output is below p, not only below 2p
};

TEST_P(LanesTest, FieldOperationsMatchTheScalarField) {
  const BinaryCase binary[] = {
      {"mul", &Kernels::mul, [](const Fp& a, const Fp& b) { return a * b; }, true},
      {"add", &Kernels::add, [](const Fp& a, const Fp& b) { return a + b; }, false},
      {"sub", &Kernels::sub, [](const Fp& a, const Fp& b) { return a - b; }, false},
  };
  const UnaryCase unary[] = {
      {"sqr", &Kernels::sqr, [](const Fp& a) { return a.square(); }, true, false},
      {"neg", &Kernels::neg, [](const Fp& a) { return -a; }, false, false},
      {"reduce", &Kernels::reduce, [](const Fp& a) { return a; }, false, true},
  };
  std::mt19937_64 rng(seed() + 12);
  for (bool wide : {false, true}) {
    const auto v = lane_inputs(rng, wide);
    for (const auto& c : binary) {
      if (wide && !c.any_below_2_256) continue;
      for (std::size_t s = 0; s < v.size(); s += 3) {
        const Fe8 a = pack(v, s), b = pack(v, s * 5 + 1);
        Fe8 r;
        (k().*c.op)(&r, &a, &b);
        for (int i = 0; i < 8; ++i) {
          const Fp want = c.want(meaning(v[(s + i) % v.size()]), meaning(v[(s * 5 + 1 + i) % v.size()]));
          ASSERT_TRUE(lane_is(r, i, want, two_p())) << c.name << " at " << s;
        }
      }
    }
    for (const auto& c : unary) {
      if (wide && !c.any_below_2_256) continue;
      for (std::size_t s = 0; s < v.size(); ++s) {
        const Fe8 a = pack(v, s);
        Fe8 r;
        (k().*c.op)(&r, &a);
        for (int i = 0; i < 8; ++i) {
          const Fp want = c.want(meaning(v[(s + i) % v.size()]));
          ASSERT_TRUE(lane_is(r, i, want, c.canonical ? FpParams::MOD : two_p())) << c.name << " at " << s;
        }
      }
    }
  }
}

TEST_P(LanesTest, SquareRootCandidatesMatchTheScalarPower) {
  std::mt19937_64 rng(seed() + 13);
  std::vector<Fp> xs = edge_fps();
  for (int i = 0; i < 40; ++i) xs.push_back(random_fp(rng));
  for (std::size_t n : {std::size_t{1}, std::size_t{8}, std::size_t{9}, std::size_t{16}, xs.size()}) {
    std::vector<Fp> out(n);
    lanes::sqrt_candidates(k(), out.data(), xs.data(), n);
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(out[i], xs[i].pow_public_exp(bn254::kSqrtExp)) << n << " " << i;
  }
}

// ---- group ----

Fp rand_nonzero(std::mt19937_64& rng) {
  Fp z;
  do z = random_fp(rng);
  while (z.is_zero());
  return z;
}

Bn254Point random_point(std::mt19937_64& rng) {
  return Bn254Point::generator().scalar_mul_vartime(Bn254Scalar::from_u64(rng() | 1));
}

// p in Jacobian coordinates with a random Z (so equal points rarely share
// their coordinates).
JacPoint jac_of(const Bn254Point& p, const Fp& z) {
  if (p.is_zero()) return JacPoint{};
  const Fp z2 = z.square();
  return JacPoint{p.x * z2, p.y * z2 * z, z};
}

void set_jac(Jac8& out, int i, const JacPoint& p, const Kernels& k) {
  // One lane at a time through the conversion: fill all eight with p, keep lane i.
  Fp xs[8], ys[8], zs[8];
  for (int j = 0; j < 8; ++j) xs[j] = p.X, ys[j] = p.Y, zs[j] = p.Z;
  Fe8 X, Y, Z;
  k.from_fp(&X, xs);
  k.from_fp(&Y, ys);
  k.from_fp(&Z, zs);
  for (int j = 0; j < 5; ++j) out.X.l[j][i] = X.l[j][i], out.Y.l[j][i] = Y.l[j][i], out.Z.l[j][i] = Z.l[j][i];
}

void expect_jac(const Jac8& r, const JacPoint* want, const Kernels& k, const std::string& what) {
  Fp xs[8], ys[8], zs[8];
  k.to_fp(xs, &r.X);
  k.to_fp(ys, &r.Y);
  k.to_fp(zs, &r.Z);
  for (int i = 0; i < 8; ++i) {
    for (const Fe8* c : {&r.X, &r.Y, &r.Z}) {
      Limbs a;
      ASSERT_TRUE(lane_integer(*c, i, a)) << what;
      ASSERT_TRUE(limbs::lt_flag(a, two_p())) << what << " lane " << i << " above 2p";
    }
    EXPECT_EQ(xs[i], want[i].X) << what << " lane " << i << " X";
    EXPECT_EQ(ys[i], want[i].Y) << what << " lane " << i << " Y";
    EXPECT_EQ(zs[i], want[i].Z) << what << " lane " << i << " Z";
  }
}

// Eight (p, q) pairs in lanes: the cases the formulas exclude and general
// ones. Jacobian coordinates, random Z.
struct PairCases {
  JacPoint p[8], q[8];
  Bn254Point qa[8];  // q's affine form (finite in every lane)
};

PairCases pair_cases(std::mt19937_64& rng, int round) {
  PairCases c;
  for (int i = 0; i < 8; ++i) {
    const Bn254Point a = random_point(rng), b = random_point(rng);
    Bn254Point pa = a, qa = b;
    switch ((i + round) % 8) {
      case 0:  // p = q (doubling inside the addition), different Z
        qa = a;
        break;
      case 1:  // p = -q
        qa = a.neg();
        break;
      case 2:  // p the identity
        pa = Bn254Point::zero();
        break;
      case 3:  // p = q, the same coordinates
        qa = a;
        break;
      default:  // general
        break;
    }
    c.qa[i] = qa;
    c.p[i] = jac_of(pa, rand_nonzero(rng));
    c.q[i] = (i + round) % 8 == 3 ? c.p[i] : jac_of(qa, rand_nonzero(rng));
  }
  return c;
}

TEST_P(LanesTest, DoublingMatchesTheScalarFormula) {
  std::mt19937_64 rng(seed() + 14);
  for (int round = 0; round < 4; ++round) {
    JacPoint p[8], want[8];
    Jac8 in, out;
    for (int i = 0; i < 8; ++i) {
      p[i] = (i + round) % 4 == 0 ? JacPoint{} : jac_of(random_point(rng), rand_nonzero(rng));
      want[i] = jac_dbl(p[i]);
      set_jac(in, i, p[i], k());
    }
    k().jac_dbl(&out, &in);
    expect_jac(out, want, k(), "dbl");
  }
}

TEST_P(LanesTest, AdditionMatchesTheScalarFormulaInEveryCase) {
  std::mt19937_64 rng(seed() + 15);
  for (int round = 0; round < 8; ++round) {
    PairCases c = pair_cases(rng, round);
    // q the identity, and both the identity, in two lanes of their own.
    c.q[(8 - round + 5) % 8] = JacPoint{};
    c.p[(8 - round + 6) % 8] = JacPoint{};
    c.q[(8 - round + 6) % 8] = JacPoint{};
    JacPoint want[8];
    Jac8 p, q, out;
    for (int i = 0; i < 8; ++i) {
      want[i] = jac_add_vartime(c.p[i], c.q[i]);
      set_jac(p, i, c.p[i], k());
      set_jac(q, i, c.q[i], k());
    }
    k().jac_add(&out, &p, &q);
    expect_jac(out, want, k(), "add round " + std::to_string(round));
    // Written into its own input.
    k().jac_add(&p, &p, &q);
    expect_jac(p, want, k(), "add in place round " + std::to_string(round));
  }
}

TEST_P(LanesTest, MixedAdditionMatchesTheScalarFormulaInEveryCase) {
  std::mt19937_64 rng(seed() + 16);
  for (int round = 0; round < 8; ++round) {
    const PairCases c = pair_cases(rng, round);
    JacPoint want[8];
    Jac8 p, out;
    Fe8 x2, y2;
    Fp xs[8], ys[8];
    for (int i = 0; i < 8; ++i) {
      want[i] = jac_madd_vartime(c.p[i], c.qa[i].x, c.qa[i].y);
      set_jac(p, i, c.p[i], k());
      xs[i] = c.qa[i].x;
      ys[i] = c.qa[i].y;
    }
    k().from_fp(&x2, xs);
    k().from_fp(&y2, ys);
    k().jac_madd(&out, &p, &x2, &y2);
    expect_jac(out, want, k(), "madd round " + std::to_string(round));
  }
}

INSTANTIATE_TEST_SUITE_P(Layers, LanesTest, ::testing::ValuesIn(layers()),
                         [](const ::testing::TestParamInfo<const Kernels*>& i) { return std::string(i.param->name); });

// ---- the two layers limb for limb ----

TEST(LanesLayers, IfmaGivesThePortableLimbs) {
  const Kernels* ifma = lanes::ifma_kernels();
  if (ifma == nullptr) GTEST_SKIP() << "this processor has no AVX-512 IFMA";
  const Kernels& port = lanes::portable_kernels();
  std::mt19937_64 rng(seed() + 17);
  auto same = [](const Fe8& a, const Fe8& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (bool wide : {false, true}) {
    const auto v = lane_inputs(rng, wide);
    for (std::size_t s = 0; s < v.size(); ++s) {
      const Fe8 a = pack(v, s), b = pack(v, s * 3 + 2);
      Fe8 r1, r2;
      ifma->mul(&r1, &a, &b), port.mul(&r2, &a, &b);
      ASSERT_TRUE(same(r1, r2)) << "mul " << s;
      ifma->sqr(&r1, &a), port.sqr(&r2, &a);
      ASSERT_TRUE(same(r1, r2)) << "sqr " << s;
      if (wide) continue;
      ifma->add(&r1, &a, &b), port.add(&r2, &a, &b);
      ASSERT_TRUE(same(r1, r2)) << "add " << s;
      ifma->sub(&r1, &a, &b), port.sub(&r2, &a, &b);
      ASSERT_TRUE(same(r1, r2)) << "sub " << s;
      ifma->neg(&r1, &a), port.neg(&r2, &a);
      ASSERT_TRUE(same(r1, r2)) << "neg " << s;
      ifma->reduce(&r1, &a), port.reduce(&r2, &a);
      ASSERT_TRUE(same(r1, r2)) << "reduce " << s;
      ifma->sqrt_candidate(&r1, &a), port.sqrt_candidate(&r2, &a);
      ASSERT_TRUE(same(r1, r2)) << "sqrt " << s;
    }
  }
}

// ---- the run-time choice ----

TEST(LanesLayers, TheChoiceFollowsTheProcessorAndTheEnvironment) {
  const char* env = std::getenv("VEMO_LANES");
  const std::string e = env ? env : "";
  lanes::Mode want = lanes::Mode::Off;
  if (e.empty() || e == "ifma") want = lanes::cpu_has_ifma() ? lanes::Mode::Ifma : lanes::Mode::Off;
  if (e == "portable") want = lanes::Mode::Portable;
  EXPECT_EQ(lanes::selected(), want) << "VEMO_LANES=" << e;
  const Kernels* a = lanes::active();
  switch (want) {
    case lanes::Mode::Off:
      EXPECT_EQ(a, nullptr);
      break;
    case lanes::Mode::Portable:
      EXPECT_EQ(a, &lanes::portable_kernels());
      break;
    case lanes::Mode::Ifma:
      EXPECT_EQ(a, lanes::ifma_kernels());
      break;
  }
  EXPECT_EQ(lanes::ifma_kernels() != nullptr, lanes::cpu_has_ifma());
}

}  // namespace

// ---- batch decompression ----

namespace decompress_tests {

using lanes::Compressed;

Compressed compressed_of(const Bn254Point& p) { return p.serialize_compressed(); }

// Encodings of every kind the decoder tells apart: points with either
// root, the identity, both flags, x at or above p, x without a point
// (x^3 + b not a square), and random bytes (mostly one of the last two).
std::vector<Compressed> encodings(std::mt19937_64& rng) {
  std::vector<Compressed> v;
  for (int i = 0; i < 24; ++i) {
    const Bn254Point p = random_point(rng);
    v.push_back(compressed_of(p));
    v.push_back(compressed_of(p.neg()));
  }
  v.push_back(compressed_of(Bn254Point::generator()));
  v.push_back(compressed_of(Bn254Point::zero()));
  Compressed c{};
  c[0] = 0xc0;  // both flags
  v.push_back(c);
  c = compressed_of(Bn254Point::generator());
  c[0] |= 0x40;  // the identity flag on a finite x
  v.push_back(c);
  unsigned char pbe[32];
  limbs::to_be(FpParams::MOD, pbe);
  std::memcpy(c.data(), pbe, 32);  // x = p
  v.push_back(c);
  c[0] |= 0x80;
  v.push_back(c);
  c.fill(0xff);
  c[0] = 0x3f;  // x = 2^254 - 1
  v.push_back(c);
  c.fill(0);  // x = 0: is 0 + b a square?
  v.push_back(c);
  c[0] = 0x80;
  v.push_back(c);
  for (int i = 0; i < 24; ++i) {
    for (auto& b : c) b = (unsigned char)rng();
    c[0] &= (unsigned char)(i % 2 ? 0xbf : 0x3f);  // top bits clear or the sign flag alone
    v.push_back(c);
  }
  return v;
}

void expect_same_as_decoder(const std::optional<Bn254Point>& got, const Compressed& in, const std::string& what) {
  const auto want = Bn254Point::deserialize(in.data(), 32);
  ASSERT_EQ(got.has_value(), want.ok()) << what;
  if (!got) return;
  const Bn254Point& w = want.value();
  EXPECT_EQ(got->infinity, w.infinity) << what;
  EXPECT_EQ(got->x, w.x) << what;
  EXPECT_EQ(got->y, w.y) << what;
  EXPECT_STREQ(got->purpose, w.purpose) << what;
}

TEST_P(LanesTest, BatchDecompressionGivesTheDecodersPoints) {
  std::mt19937_64 rng(seed() + 18);
  const auto v = encodings(rng);
  int valid = 0, invalid = 0;
  for (const Compressed& c : v) (Bn254Point::deserialize(c.data(), 32).ok() ? valid : invalid)++;
  ASSERT_GT(valid, 40);  // both kinds are really there
  ASSERT_GT(invalid, 10);
  // Counts around the lane batches of eight and sixteen.
  for (std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{16}, std::size_t{17}, v.size()}) {
    std::vector<std::optional<Bn254Point>> out(n);
    // Start at an offset so the short runs see other kinds of input.
    const std::size_t start = (n * 7) % v.size();
    std::vector<Compressed> in;
    for (std::size_t i = 0; i < n; ++i) in.push_back(v[(start + i) % v.size()]);
    lanes::deserialize_compressed_batch_vartime(k(), in.data(), n, out.data());
    for (std::size_t i = 0; i < n; ++i)
      expect_same_as_decoder(out[i], in[i], "n=" + std::to_string(n) + " i=" + std::to_string(i));
  }
}

TEST_P(LanesTest, TheTableHoldsWhatDecodesAndTheDecoderUsesItWhereInstalled) {
  std::mt19937_64 rng(seed() + 19);
  auto v = encodings(rng);
  v.push_back(v[0]);  // a repeat
  lanes::DecompressedPoints t;
  t.add_vartime(k(), v, 2);
  std::size_t held = 0;
  for (const Compressed& c : v) {
    const auto want = Bn254Point::deserialize(c.data(), 32);
    const Bn254Point* got = t.find_vartime(c.data());
    ASSERT_EQ(got != nullptr, want.ok());
    if (got) {
      EXPECT_TRUE(got->eq(want.value()));
    }
  }
  for (const Compressed& c : v) held += Bn254Point::deserialize(c.data(), 32).ok();
  EXPECT_EQ(t.size() + 1, held);  // the repeat once

  // The hex decoder answers from an installed table: one holding G under
  // the bytes of 2G shows which path answered.
  const Bn254Point g = Bn254Point::generator(), g2 = g.add_point(g);
  const Compressed e2 = compressed_of(g2);
  const std::string e2_hex = hex_encode(e2.data(), 32);
  lanes::DecompressedPoints planted;
  planted.insert_vartime(e2, g);
  EXPECT_TRUE(point_from_hex(e2_hex).value().eq(g2));
  {
    lanes::UseDecompressedPoints use(&planted);
    EXPECT_TRUE(point_from_hex(e2_hex).value().eq(g));
    {
      lanes::UseDecompressedPoints inner(&t);  // nested: the inner one answers, then the outer again
      EXPECT_TRUE(point_from_hex(e2_hex).value().eq(g2));
    }
    EXPECT_TRUE(point_from_hex(e2_hex).value().eq(g));
  }
  EXPECT_TRUE(point_from_hex(e2_hex).value().eq(g2));
  // Every encoding through the installed real table: the decoder's outcome.
  {
    lanes::UseDecompressedPoints use(&t);
    EXPECT_EQ(lanes::installed_decompressed_points(), &t);
    for (const Compressed& c : v) {
      const auto a = point_from_hex(hex_encode(c.data(), 32));
      const auto want = Bn254Point::deserialize(c.data(), 32);
      ASSERT_EQ(a.ok(), want.ok());
      if (a.ok()) {
        EXPECT_TRUE(a.value().eq(want.value()));
      }
    }
  }
  EXPECT_EQ(lanes::installed_decompressed_points(), nullptr);
}

TEST(LanesDecompress, CandidatesAreBareTextsAndPointMembers) {
  const std::string a(64, 'a'), b = std::string(63, '0').append("F");
  // "s" as a JSON string (appended, which keeps GCC 12 from a false
  // -Wrestrict report on literal + string).
  auto q = [](const std::string& s) { return std::string("\"").append(s).append("\""); };
  auto point = [&q](const std::string& s, const char* colon) {
    return std::string("{\"curve\":\"bn254\",\"point\"").append(colon).append(q(s)).append("}");
  };
  struct Case {
    std::string text;
    std::vector<std::string> want;
  } cases[] = {
      {a, {a}},                                                                    // a bare text of 64 digits
      {std::string(63, 'a').append("z"), {}},                                      // 64 characters, not all digits
      {point(a, ":"), {a}},                                                        // a point member
      {point(a, " :\n  "), {a}},                                                  // whitespace around the colon
      {std::string("{\"x\":").append(point(a, ": ")).append(",\"y\":[").append(point(b, ":")).append("]}"),
       {a, b}},                                                                    // nested, in a list
      {std::string("{\"curve\":\"bn254\",\"scalar\":").append(q(a)).append("}"), {}},  // a scalar member
      {std::string("{\"x\":").append(q(a)).append("}"), {}},                    // another member
      {point(a + "0", ":"), {}},                                                   // 65 digits
      {point(a.substr(1), ":"), {}},                                               // 63 digits
      {point(a.substr(1).append("g"), ":"), {}},                                   // not a digit
      {std::string("\"point\"").append(q(a)), {}},                               // no colon
      {std::string("\"point\":"), {}},                                           // cut short
      {std::string("\"point\":\"").append(a), {}},                              // no closing quote
  };
  for (const auto& c : cases) {
    std::vector<Compressed> got;
    lanes::collect_compressed_hex_vartime(c.text, got);
    ASSERT_EQ(got.size(), c.want.size()) << c.text;
    for (std::size_t i = 0; i < got.size(); ++i) {
      std::vector<unsigned char> w;
      ASSERT_TRUE(hex_decode(c.want[i], w));
      EXPECT_EQ(0, std::memcmp(got[i].data(), w.data(), 32)) << c.text << " " << i;
    }
  }
}

}  // namespace decompress_tests

// ---- shared-inversion affine additions ----

namespace affine_tests {

// Pairs of points whose affine sum the lanes compute from the slope's parts:
// distinct points (chord) and equal points (tangent), in every count around
// the lane width; checked against the group's own addition.
TEST_P(LanesTest, AffineSumsAreThePointSums) {
  std::mt19937_64 rng(seed() + 20);
  for (std::size_t m : {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{16},
                        std::size_t{23}, std::size_t{64}}) {
    std::vector<Bn254Point> a(m), b(m);
    std::vector<Fp> num(m), den(m), xa(m), xb(m), ya(m), rx(m), ry(m);
    for (std::size_t i = 0; i < m; ++i) {
      a[i] = random_point(rng);
      b[i] = i % 5 == 2 ? a[i] : random_point(rng);  // every fifth a doubling
      xa[i] = a[i].x, ya[i] = a[i].y, xb[i] = b[i].x;
      if (a[i].x == b[i].x) {
        const Fp xx = a[i].x.square();
        num[i] = xx + xx + xx;
        den[i] = a[i].y + a[i].y;
      } else {
        num[i] = b[i].y - a[i].y;
        den[i] = b[i].x - a[i].x;
      }
    }
    lanes::affine_sums_vartime(k(), num.data(), den.data(), xa.data(), xb.data(), ya.data(), m, rx.data(), ry.data());
    for (std::size_t i = 0; i < m; ++i) {
      const Bn254Point want = a[i].add_point_vartime(b[i]);
      ASSERT_FALSE(want.infinity);
      EXPECT_EQ(rx[i], want.x) << "m=" << m << " i=" << i;
      EXPECT_EQ(ry[i], want.y) << "m=" << m << " i=" << i;
    }
  }
}

}  // namespace affine_tests

// ---- the hash to curve's map, many at once ----

namespace map_tests {

// Edge inputs and enough random ones that all three candidates of the map
// occur (each random input needs the third with probability about 1/4).
TEST_P(LanesTest, BatchMapGivesTheOnePointMapsPoints) {
  std::mt19937_64 rng(seed() + 21);
  std::vector<Fp> u = edge_fps();
  for (int i = 0; i < 80; ++i) u.push_back(random_fp(rng));
  for (std::size_t n : {std::size_t{1}, std::size_t{15}, std::size_t{17}, u.size()}) {
    std::vector<Bn254Point> out(n);
    const std::size_t start = (n * 5) % u.size();
    std::vector<Fp> in;
    for (std::size_t i = 0; i < n; ++i) in.push_back(u[(start + i) % u.size()]);
    lanes::map_to_curve_batch_vartime(k(), in.data(), n, out.data());
    for (std::size_t i = 0; i < n; ++i) {
      const Bn254Point want = SvdW::map_to_curve_g1_unchecked(in[i]);
      EXPECT_TRUE(out[i].eq(want)) << "n=" << n << " i=" << i;
      EXPECT_STREQ(out[i].purpose, want.purpose);
    }
  }
}

}  // namespace map_tests

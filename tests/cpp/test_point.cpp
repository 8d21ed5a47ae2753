// Group law, multiplication engines, their table cache and encodings against a plain
// double-and-add reference.
#include <gtest/gtest.h>

#include "test_util.hpp"

#include <algorithm>
#include <cstdio>
#include <random>

#include "curve/bn254.hpp"
#include "curve/encoding.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/point.hpp"
#include "curve/row_cache.hpp"
#include "curve/scalar_mul.hpp"

using namespace vemo::curve;

namespace {

using vemo::test::random_scalar;
using vemo::test::rng;

// Reference: double-and-add over the canonical bits, most significant first.
Point reference_mul(const Point& p, const Scalar& k) {
  auto bytes = k.serialize();
  ProjPoint acc = ProjPoint::identity();
  const ProjPoint base = ProjPoint::from_affine(p);
  for (int i = 0; i < 256; ++i) {
    acc = acc.dbl();
    if ((bytes[i / 8] >> (7 - i % 8)) & 1) acc = acc.add(base);
  }
  return acc.to_affine("scalar_mul");
}

using vemo::test::to_big;

// Scalars at the edges of the GLV split and of the windows, then random ones.
std::vector<Scalar> awkward_scalars() {
  std::vector<Scalar> ks = {Scalar::zero(), Scalar::from_u64(1), Scalar::from_u64(2), Scalar::from_i64(-1),
                            Scalar::from_i64(-2)};
  const BigInt r = to_big(bn254::kFrModulus);
  ks.push_back(Scalar::from_bigint((r - BigInt(1)) >> 1));
  ks.push_back(Scalar::from_bigint(((r - BigInt(1)) >> 1) + BigInt(1)));
  ks.push_back(Scalar::from_bigint(BigInt::one() << 128));
  ks.push_back(Scalar::from_bigint((BigInt::one() << 128) - BigInt(1)));
  // The lambda of the endomorphism and its neighbours split into halves at
  // the edges of their ranges.
  ks.push_back(Scalar::from_bigint(to_big(bn254::kLambda)));
  ks.push_back(Scalar::from_bigint(to_big(bn254::kLambda) + BigInt(1)));
  for (int i = 0; i < 64; ++i) ks.push_back(random_scalar());
  return ks;
}

TEST(ScalarMul, ConstantTimeAndVartimeMatchReference) {
  const Point& g = Point::generator();
  const std::vector<Scalar> ks = awkward_scalars();
  Point p = g.scalar_mul(random_scalar());
  for (const Point& base : {g, p, Point::zero()}) {
    for (const Scalar& k : ks) {
      const Point want = reference_mul(base, k);
      ASSERT_TRUE(base.scalar_mul(k).eq(want));
      ASSERT_TRUE(base.scalar_mul_vartime(k).eq(want));
    }
  }
}

// A pinned base takes its single multiples from its stored window
// multiples: the same points (and label) as the Straus chain gives, for
// scalars whose 8-bit digits all carry (0x80 and 0xff runs) or end exactly
// at a half's top, and for both halves of the split.
TEST(ScalarMul, PinnedFixedBaseMatchesReference) {
  std::vector<Scalar> ks = awkward_scalars();
  const auto from_hex = [](const char* hex) {
    std::array<unsigned char, 32> be{};
    for (int i = 0; i < 32; ++i) std::sscanf(hex + 2 * i, "%2hhx", &be[(std::size_t)i]);
    return Scalar::deserialize(be.data(), 32).value();
  };
  for (const char* hex : {"0000000000000000000000000000008080808080808080808080808080808080",
                          "00000000000000000000000000000000ffffffffffffffffffffffffffffffff",
                          "000000000000000000000000000000ff7f7f7f7f7f7f7f7f7f7f7f7f7f7f7f80",
                          "000000000000000000000000000fffffffffffffffffffffffffffffffffffff",
                          "0000000000000000000000000000000000000000000000000000000000000080",
                          "0000000000000000000000000000000000000000000000000000000000000081"}) {
    ks.push_back(from_hex(hex));
    ks.push_back(from_hex(hex).neg());
  }
  const Point base = Point::generator().scalar_mul(random_scalar());  // no other test pins it
  std::vector<Point> unpinned;
  for (const Scalar& k : ks) unpinned.push_back(base.scalar_mul_vartime(k));
  ASSERT_TRUE(pin_fixed_base_vartime(base));
  EXPECT_TRUE(pin_fixed_base_vartime(base));  // again: the same table
  EXPECT_FALSE(pin_fixed_base_vartime(Point::zero()));
  for (std::size_t i = 0; i < ks.size(); ++i) {
    const Point got = base.scalar_mul_vartime(ks[i]);
    ASSERT_TRUE(got.eq(reference_mul(base, ks[i]))) << i;
    ASSERT_TRUE(got.eq(unpinned[i])) << i;
    EXPECT_STREQ(got.purpose, unpinned[i].purpose) << i;
  }
  // The negated base is another point: no table, the same products negated.
  const Point minus = base.neg();
  for (std::size_t i = 0; i < 8; ++i) ASSERT_TRUE(minus.scalar_mul_vartime(ks[i]).eq(unpinned[i].neg())) << i;
}

TEST(ScalarMul, KnownMultiples) {
  const Point& g = Point::generator();
  const BigInt r = to_big(bn254::kFrModulus);
  EXPECT_TRUE(g.scalar_mul(Scalar::from_bigint(r)).is_zero());
  Point minus_one = g.scalar_mul(Scalar::from_bigint(r - BigInt(1)));
  EXPECT_EQ(minus_one.x_coord(), BigInt(1));
  const BigInt p = to_big(bn254::kFpModulus);
  EXPECT_EQ(minus_one.y_coord(), p - BigInt(2));
  EXPECT_TRUE(g.add_point(g).eq(g.scalar_mul(Scalar::from_u64(2))));
  EXPECT_TRUE(g.sub_point(g).is_zero());
  EXPECT_TRUE(g.add_point(Point::zero()).eq(g));
  EXPECT_TRUE(Point::zero().add_point(g).eq(g));
}

TEST(Msm, MatchesSumOfProducts) {
  std::vector<Scalar> ks;
  std::vector<Point> ps;
  Point want = Point::zero();
  for (int i = 0; i < 37; ++i) {
    ks.push_back(i == 3 ? Scalar::zero() : random_scalar());
    ps.push_back(i == 5 ? Point::zero() : Point::generator().scalar_mul(random_scalar()));
    want = want.add_point(reference_mul(ps.back(), ks.back()));
  }
  // The second and later sums over the same points use cached tables.
  for (int round = 0; round < 3; ++round) EXPECT_TRUE(msm_vartime(ks.data(), ps.data(), ks.size()).to_affine("x").eq(want));
  EXPECT_TRUE(msm(ks.data(), ps.data(), ks.size()).to_affine("x").eq(want));
  EXPECT_TRUE(msm(ks.data(), ps.data(), 0).is_identity());
  EXPECT_TRUE(msm_vartime(ks.data(), ps.data(), 0).is_identity());
}

// Both variable-time engines against the reference, over the cases that
// take their special branches: repeated and opposite points (equal and
// opposite additions), zero scalars, the identity, small and negative
// scalars, and sums that cancel to the identity.
TEST(Msm, StrausAndPippengerAgreeOnAwkwardSums) {
  for (std::size_t n : {1u, 2u, 7u, 64u, 300u}) {
    std::vector<Scalar> ks;
    std::vector<Point> ps;
    const Point base = Point::generator().scalar_mul(random_scalar());
    for (std::size_t i = 0; i < n; ++i) {
      switch (i % 6) {
        case 0: ks.push_back(random_scalar()); ps.push_back(base); break;           // repeated point
        case 1: ks.push_back(random_scalar()); ps.push_back(base.neg()); break;     // its opposite
        case 2: ks.push_back(Scalar::zero()); ps.push_back(base); break;
        case 3: ks.push_back(Scalar::from_u64(i)); ps.push_back(Point::zero()); break;
        case 4: ks.push_back(Scalar::from_u64(i).neg()); ps.push_back(Point::generator().scalar_mul(random_scalar())); break;
        default: ks.push_back(random_scalar()); ps.push_back(Point::generator().scalar_mul(random_scalar())); break;
      }
    }
    Point want = Point::zero();
    for (std::size_t i = 0; i < n; ++i) want = want.add_point(reference_mul(ps[i], ks[i]));
    EXPECT_TRUE(msm_vartime_straus(ks.data(), ps.data(), n).to_affine("x").eq(want)) << n;
    EXPECT_TRUE(msm_vartime_pippenger(ks.data(), ps.data(), n).to_affine("x").eq(want)) << n;
    EXPECT_TRUE(msm_vartime(ks.data(), ps.data(), n).to_affine("x").eq(want)) << n;
    // Appending the negated sum cancels everything.
    ks.push_back(Scalar::one().neg());
    ps.push_back(want);
    EXPECT_TRUE(msm_vartime_straus(ks.data(), ps.data(), n + 1).is_identity()) << n;
    EXPECT_TRUE(msm_vartime_pippenger(ks.data(), ps.data(), n + 1).is_identity()) << n;
  }
}

// Sums over small multiples of one point with small scalars: bucket sums,
// running sums and window sums then meet equal and opposite points (a
// running sum equal to the window's sum, a bucket cancelling the running
// sum) in every engine, lanes or not. The expected value is the scalar
// Σ k_i·m_i times G.
TEST(Msm, PippengerMeetsEqualAndOppositePartialSums) {
  const Point& g = Point::generator();
  std::mt19937_64 rng(7);
  for (std::size_t n : {2u, 5u, 40u, 300u}) {
    for (int round = 0; round < 4; ++round) {
      std::vector<Scalar> ks;
      std::vector<Point> ps;
      Scalar total = Scalar::zero();
      for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t m = (std::int64_t)(rng() % 9) - 4;  // −4 … 4, zero the identity
        const std::int64_t k = (std::int64_t)(rng() % 600) + 2;
        const Scalar km = Scalar::from_i64(m), kk = round == 3 && i % 2 ? random_scalar() : Scalar::from_i64(k);
        ks.push_back(kk);
        ps.push_back(g.scalar_mul(km));
        total = total.add(kk.mul(km));
      }
      const Point want = g.scalar_mul(total);
      ASSERT_TRUE(msm_vartime_pippenger(ks.data(), ps.data(), n).to_affine("x").eq(want)) << n << " " << round;
      ASSERT_TRUE(msm_vartime_straus(ks.data(), ps.data(), n).to_affine("x").eq(want)) << n << " " << round;
    }
  }
  // Two terms whose buckets cancel in the running sum: Q in bucket 2 and
  // −Q in bucket 3, so the running sum is −Q, then the identity
  // (2·Q + 3·(−Q) = −Q).
  const Point q = g.scalar_mul(random_scalar());
  const Scalar ks[2] = {Scalar::from_u64(2), Scalar::from_u64(3)};
  const Point ps[2] = {q, q.neg()};
  EXPECT_TRUE(msm_vartime_pippenger(ks, ps, 2).to_affine("x").eq(q.neg()));
}

// A stream of fresh caller points, each summed twice (a point's row is
// admitted on its second sight), fills the cache of caller rows up to its
// bound and no further, leaves pinned rows alone, and every sum stays right.
// The scalar is 3: a term with the scalar 1 or -1 is added directly and
// never reaches the rows.
TEST(Msm, CallerCacheStaysBoundedUnderFreshPoints) {
  constexpr std::size_t kBound = 4096;           // the cache's bound (about 3 MiB of rows)
  constexpr std::size_t kFresh = kBound + 1000;  // past it: the least recently used rows go
  const Point pinned_point = Point::generator().scalar_mul(random_scalar());
  pin_vartime_tables(&pinned_point, 1);
  const Scalar k = random_scalar();
  const Point want_pinned = reference_mul(pinned_point, k);
  const Scalar three = Scalar::from_u64(3);
  // A random start: no other test walks these points, so every one is fresh.
  Point p = Point::generator().scalar_mul(random_scalar());
  std::size_t wrong = 0, most = 0;
  for (std::size_t i = 0; i < kFresh; ++i) {
    p = p.add_point_vartime(Point::generator());
    const Point want = p.add_point_vartime(p).add_point_vartime(p);
    for (int use = 0; use < 2; ++use) wrong += !msm_vartime(&three, &p, 1).to_affine("x").eq(want);
    most = std::max(most, vartime_cache_size());
  }
  EXPECT_EQ(wrong, 0u);
  ASSERT_GE(most, kBound) << "the stream never filled the cache: its points did not reach the rows";
  EXPECT_LE(most, kBound);
  EXPECT_EQ(vartime_cache_size(), kBound);
  EXPECT_TRUE(msm_vartime(&k, &pinned_point, 1).to_affine("x").eq(want_pinned));
}

// The one policy behind both table caches, on its own: admission on the
// second sight, least recently used eviction (a lookup refreshes), the
// earlier of two tables built for one key kept, and a seen-once set bounded
// at four times the capacity.
TEST(RowCache, SecondSightAdmissionAndLeastRecentlyUsedEviction) {
  const auto key = [](std::uint64_t i) { return PointKey{i, 0, 0, 0, 0, 0, 0, 0}; };
  SecondSightCache<int> c(2);
  EXPECT_EQ(c.find(key(1)), nullptr);
  EXPECT_FALSE(c.second_sight(key(1)));  // first sight: remembered only
  EXPECT_TRUE(c.second_sight(key(1)));
  EXPECT_EQ(c.admit(key(1), 10), 10);
  EXPECT_EQ(c.admit(key(1), 11), 10);  // built twice meanwhile: the first stays
  EXPECT_FALSE(c.second_sight(key(2)));
  EXPECT_TRUE(c.second_sight(key(2)));
  c.admit(key(2), 20);
  ASSERT_NE(c.find(key(1)), nullptr);  // 1 is now the most recently used
  EXPECT_FALSE(c.second_sight(key(3)));
  EXPECT_TRUE(c.second_sight(key(3)));
  c.admit(key(3), 30);  // past the capacity: 2, the least recently used, goes
  EXPECT_EQ(c.size(), 2u);
  ASSERT_NE(c.find(key(1)), nullptr);
  EXPECT_EQ(*c.find(key(1)), 10);
  EXPECT_EQ(c.find(key(2)), nullptr);
  ASSERT_NE(c.find(key(3)), nullptr);
  EXPECT_EQ(*c.find(key(3)), 30);
  // Eight later first sights push a ninth, older one out of the seen-once
  // set: its next sight counts as a first again.
  EXPECT_FALSE(c.second_sight(key(100)));
  for (std::uint64_t i = 0; i < 8; ++i) EXPECT_FALSE(c.second_sight(key(200 + i)));
  EXPECT_FALSE(c.second_sight(key(100)));
  EXPECT_TRUE(c.second_sight(key(207)));
}

TEST(Encoding, GeneratorNegationAndIdentity) {
  const Point& g = Point::generator();
  auto c = g.serialize_compressed();
  auto u = g.serialize_uncompressed();
  EXPECT_EQ(hex_encode(c.data(), 32), std::string(63, '0') + "1");
  EXPECT_EQ(hex_encode(u.data(), 64), std::string(63, '0') + "2" + std::string(63, '0') + "1");
  auto nc = g.neg().serialize_compressed();
  EXPECT_EQ(hex_encode(nc.data(), 32), "80" + std::string(61, '0') + "1");
  auto ic = Point::zero().serialize_compressed();
  auto iu = Point::zero().serialize_uncompressed();
  EXPECT_EQ(hex_encode(ic.data(), 32), "40" + std::string(62, '0'));
  EXPECT_EQ(hex_encode(iu.data(), 64), "40" + std::string(126, '0'));
  for (const Point& q : {g, g.neg(), Point::zero(), g.scalar_mul(random_scalar())}) {
    auto a = q.serialize_compressed();
    auto b = q.serialize_uncompressed();
    EXPECT_TRUE(Point::deserialize(a.data(), 32).value().eq(q));
    EXPECT_TRUE(Point::deserialize(b.data(), 64).value().eq(q));
  }
}

TEST(Encoding, RefusesBadBytes) {
  unsigned char both[32] = {0xc0};
  EXPECT_FALSE(Point::deserialize(both, 32).ok());
  unsigned char x_is_p[32];
  limbs::to_be(FpParams::MOD, x_is_p);
  EXPECT_FALSE(Point::deserialize(x_is_p, 32).ok());
  unsigned char x_small[32] = {0};
  x_small[31] = 4;  // 4^3 + 3 = 67 is not a square mod p: no point has x = 4
  EXPECT_FALSE(Point::deserialize(x_small, 32).ok());
  x_small[31] = 5;
  EXPECT_TRUE(Point::deserialize(x_small, 32).ok());
  unsigned char short_input[31] = {0};
  EXPECT_FALSE(Point::deserialize(short_input, 31).ok());
}

TEST(HashToCurve, ZeroInputAndExceptionalInputs) {
  const Point q = SvdW::map_to_curve_g1_unchecked(Fp::zero());
  EXPECT_EQ(q.x_coord().to_hex(), "183227397098d014dc2822db40c0ac2ecbc0b548b438e5469e10460b6c3e7ea3");
  EXPECT_EQ(q.y_coord().to_hex(), "a6ea289876b139cfe2cd1f08c065a2ab4aad542eaccb013520ea36934e877b4");
  EXPECT_TRUE(generate_random_point(nullptr, 0).eq(q));
  // u = (p - 1)/2 and (p + 1)/2 make tv1·tv2 zero: still a point on the curve.
  const BigInt p = to_big(bn254::kFpModulus);
  for (const BigInt& u : {(p - BigInt(1)) >> 1, (p + BigInt(1)) >> 1}) {
    unsigned char b[32];
    u.to_bytes32(b);
    const Point m = SvdW::map_to_curve_g1_unchecked(Fp::from_be_bytes_reduce(b));
    EXPECT_TRUE(m.on_curve());
    EXPECT_FALSE(m.is_zero());
  }
  for (int i = 1; i < 20; ++i) {
    const Point m = SvdW::map_to_curve_g1_unchecked(Fp::from_u64((std::uint64_t)i));
    EXPECT_TRUE(m.on_curve());
    EXPECT_EQ((int)(m.y.to_raw()[0] & 1), i & 1);
  }
}

}  // namespace

#include "curve/fixed_base.hpp"

namespace {

TEST(FixedBase, TablesGiveTheSameResults) {
  const Point base = Point::generator().scalar_mul(random_scalar());
  const Point other = Point::generator().scalar_mul(random_scalar());
  std::vector<Scalar> ks = {Scalar::zero(), Scalar::from_u64(1), Scalar::from_u64(16), Scalar::from_u64(17),
                            Scalar::from_u64(31), Scalar::from_u64(32), Scalar::from_i64(-1), Scalar::from_i64(-16)};
  for (int i = 0; i < 40; ++i) ks.push_back(random_scalar());
  // The first use of a base goes the plain way, later uses through its table.
  for (int round = 0; round < 3; ++round) {
    for (const Scalar& k : ks) {
      ASSERT_TRUE(scalar_mul_fixed(base, k).eq(reference_mul(base, k)));
      const Scalar k2 = k.add(Scalar::from_u64(7));
      ASSERT_TRUE(double_scalar_mul_fixed(base, k, other, k2).eq(reference_mul(base, k).add_point(reference_mul(other, k2))));
    }
  }
  EXPECT_TRUE(scalar_mul_fixed(Point::zero(), ks.back()).is_zero());
}

// The amount form (low windows only, sign applied to the digits) against the
// full scalar form, over the sign and width edges of a 64-bit amount.
TEST(FixedBase, AmountFormMatchesScalarForm) {
  const Point g = Point::generator().scalar_mul(random_scalar());
  const Point h = Point::generator().scalar_mul(random_scalar());
  std::vector<std::int64_t> amounts = {0, 1, -1, 15, 16, 17, -16, -17, 31, 32, 2147483647, -2147483648LL,
                                       INT64_MAX, INT64_MIN, INT64_MIN + 1, (std::int64_t)1 << 62};
  for (int i = 0; i < 20; ++i) amounts.push_back((std::int64_t)rng()());
  for (int round = 0; round < 3; ++round) {  // plain sums first, then the tables
    for (std::int64_t a : amounts) {
      const Scalar b = random_scalar();
      const Point want = double_scalar_mul_fixed(g, Scalar::from_i64(a), h, b);
      ASSERT_TRUE(amount_scalar_mul_fixed_proj(g, a, h, b).to_affine("x").eq(want)) << a;
    }
  }
}

// The unsigned form over the whole 64-bit range: its top window (bits
// 60..63) reaches the largest digit with a carry, and must carry no further.
TEST(FixedBase, U64FormMatchesScalarForm) {
  const Point g = Point::generator().scalar_mul(random_scalar());
  const Point h = Point::generator().scalar_mul(random_scalar());
  std::vector<std::uint64_t> values = {0, 1, 15, 16, 17, 31, 32, 0x7fffffffffffffffULL, 0x8000000000000000ULL,
                                       0xf800000000000000ULL, 0xfbffffffffffffffULL, 0xffffffffffffffffULL,
                                       0xfffffffffffffff0ULL};
  for (int i = 0; i < 20; ++i) values.push_back(rng()());
  for (int round = 0; round < 3; ++round) {  // plain sums first, then the tables
    for (std::uint64_t a : values) {
      const Scalar b = random_scalar();
      const Point want = double_scalar_mul_fixed(g, Scalar::from_u64(a), h, b);
      ASSERT_TRUE(u64_scalar_mul_fixed_proj(g, a, h, b).to_affine("x").eq(want)) << a;
    }
  }
}

}  // namespace

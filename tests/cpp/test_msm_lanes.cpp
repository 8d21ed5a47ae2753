// The sums in lanes (curve/msm_lanes.hpp) against the scalar engines, in
// every lane layer this machine can run (the portable one always, the IFMA
// one where the processor has it): the constant-time and the variable-time
// kernel against msm, the many-sums form against msm_vartime sum by sum.
//
// The cases are sizes around the lane width (1 to 17 terms, and more than
// two slots a lane), edge scalars (0, 1, small, r - 1, r - 2, values whose
// GLV halves use the top windows) beside random ones, and point lists that
// drive the mixed addition into its exceptional cases: a lane whose terms
// share one point (acc = entry), opposite points (acc = -entry), identity
// points (no term). Each list is summed three times, so that the rows are
// built, then admitted to the cache, then read from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "curve/lanes/lanes.hpp"
#include "curve/msm_lanes.hpp"
#include "curve/msm_vartime.hpp"
#include "curve/scalar_mul.hpp"
#include "test_util.hpp"

using namespace vemo::curve;
using lanes::Kernels;

namespace {

using vemo::test::random_scalar;
using vemo::test::rng;

// Scalars: kinds cycled over the terms, so that every size mixes them.
enum class Scalars { Random, Edge, Ones, Zeros };
// Points: how the list relates its points.
enum class Points { Distinct, OneRepeated, OppositePairs, WithIdentities };

Point random_point() { return Point::generator().scalar_mul_vartime(random_scalar()); }

Scalar edge_scalar(std::size_t i) {
  // top, about 2^126, reaches the top window of a half; its square and
  // its negation spread over both halves; r - 1 and r - 2 are the largest
  // scalars.
  const Scalar top = Scalar::from_u64(~0ULL >> 1).mul(Scalar::from_u64(1ULL << 63)).add(Scalar::from_u64(~0ULL));
  const Scalar kinds[] = {Scalar::zero(),
                          Scalar::one(),
                          Scalar::from_u64(2),
                          Scalar::from_u64(16),
                          Scalar::from_u64(17),
                          Scalar::one().neg(),
                          Scalar::from_u64(2).neg(),
                          top,
                          top.mul(top),
                          top.neg(),
                          random_scalar()};
  return kinds[i % (sizeof kinds / sizeof kinds[0])];
}

std::vector<Scalar> make_scalars(Scalars kind, std::size_t n) {
  std::vector<Scalar> v(n);
  for (std::size_t i = 0; i < n; ++i) switch (kind) {
      case Scalars::Random:
        v[i] = random_scalar();
        break;
      case Scalars::Edge:
        v[i] = edge_scalar(i + rng()() % 3);
        break;
      case Scalars::Ones:
        v[i] = Scalar::one();
        break;
      case Scalars::Zeros:
        v[i] = Scalar::zero();
        break;
    }
  return v;
}

std::vector<Point> make_points(Points kind, std::size_t n) {
  std::vector<Point> v(n);
  const Point p = random_point();
  for (std::size_t i = 0; i < n; ++i) switch (kind) {
      case Points::Distinct:
        v[i] = random_point();
        break;
      case Points::OneRepeated:
        v[i] = p;
        break;
      case Points::OppositePairs:
        // Terms i and i + 8 share a lane: there p meets -p.
        v[i] = (i / 8) % 2 ? p.neg() : p;
        break;
      case Points::WithIdentities:
        v[i] = i % 3 == 1 ? Point{} : random_point();
        break;
    }
  return v;
}

std::vector<const Kernels*> layers() {
  std::vector<const Kernels*> v{&lanes::portable_kernels()};
  if (const Kernels* k = lanes::ifma_kernels()) v.push_back(k);
  return v;
}

struct MsmLanesTest : ::testing::TestWithParam<const Kernels*> {
  const Kernels& k() const { return *GetParam(); }
};

TEST_P(MsmLanesTest, OneSumIsMsmsSum) {
  const Scalars scalar_kinds[] = {Scalars::Random, Scalars::Edge, Scalars::Ones, Scalars::Zeros};
  const Points point_kinds[] = {Points::Distinct, Points::OneRepeated, Points::OppositePairs, Points::WithIdentities};
  std::vector<std::size_t> sizes;
  for (std::size_t n = 1; n <= 17; ++n) sizes.push_back(n);
  sizes.push_back(24);
  sizes.push_back(41);
  for (const std::size_t n : sizes)
    for (const Scalars sk : scalar_kinds)
      for (const Points pk : point_kinds) {
        const auto pts = make_points(pk, n);
        const auto ks = make_scalars(sk, n);
        const Point want = msm(ks.data(), pts.data(), n).to_affine("want");
        ASSERT_TRUE(want.eq(msm_vartime(ks.data(), pts.data(), n).to_affine("vartime")));
        for (int round = 0; round < 3; ++round) {
          const std::string what = "n=" + std::to_string(n) + " scalars " + std::to_string((int)sk) + " points " +
                                   std::to_string((int)pk) + " round " + std::to_string(round);
          EXPECT_TRUE(msm_lanes_public_points(k(), ks.data(), pts.data(), n).to_affine("ct").eq(want)) << what;
          EXPECT_TRUE(msm_lanes_vartime(k(), ks.data(), pts.data(), n).to_affine("vt").eq(want)) << what;
        }
      }
  EXPECT_TRUE(msm_lanes_public_points(k(), nullptr, nullptr, 0).is_identity());
  EXPECT_GT(lane_rows_cached(), 0u);
}

TEST_P(MsmLanesTest, ManySumsAreTheSumsOneByOne) {
  struct Shape {
    std::size_t sums, terms;
  };
  const Shape shapes[] = {{1, 1}, {1, 3}, {7, 3}, {8, 3}, {9, 1}, {9, 3}, {17, 2}, {16, 3}};
  for (const Shape& sh : shapes)
    for (const Points pk : {Points::Distinct, Points::OneRepeated, Points::WithIdentities}) {
      const std::size_t m = sh.sums * sh.terms;
      const auto pts = make_points(pk, m);
      const auto ks = make_scalars(pk == Points::OneRepeated ? Scalars::Edge : Scalars::Random, m);
      std::vector<ProjPoint> out(sh.sums);
      msm_each_lanes_vartime(k(), ks.data(), pts.data(), sh.sums, sh.terms, out.data());
      for (std::size_t s = 0; s < sh.sums; ++s) {
        const Point want = msm_vartime(&ks[s * sh.terms], &pts[s * sh.terms], sh.terms).to_affine("want");
        EXPECT_TRUE(out[s].to_affine("got").eq(want))
            << sh.sums << " sums of " << sh.terms << ", points " << (int)pk << ", sum " << s;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Layers, MsmLanesTest, ::testing::ValuesIn(layers()),
                         [](const ::testing::TestParamInfo<const Kernels*>& i) { return std::string(i.param->name); });

// msm_public_points takes the active lanes or msm, and both give msm's point.
TEST(MsmPublicPoints, GivesMsmsSumWhicheverPathRuns) {
  for (const std::size_t n : {std::size_t{3}, std::size_t{8}, std::size_t{129}}) {
    const auto pts = make_points(Points::Distinct, n);
    const auto ks = make_scalars(Scalars::Random, n);
    const Point want = msm(ks.data(), pts.data(), n).to_affine("want");
    EXPECT_TRUE(msm_public_points(ks.data(), pts.data(), n).to_affine("got").eq(want)) << n;
  }
}

}  // namespace

// The challenge derivation's worked examples, the search for small discrete
// logarithms at every window edge, and the proof records at library level.
#include <gtest/gtest.h>

#include <string>

#include "curve/encoding.hpp"
#include "curve/hash.hpp"
#include "curve/proofs/challenge.hpp"
#include "curve/proofs/sigma_consistency.hpp"
#include "curve/proofs/sigma_dlog_explicit.hpp"
#include "curve/proofs/sigma_eq_dlog.hpp"
#include "curve/proofs/sigma_eq_dlog_ped.hpp"
#include "curve/small_dlog.hpp"

using namespace vemo::curve;
using namespace vemo::proofs;

namespace {

std::string hex_of(const Scalar& s) { return parse_scep256k1scalar_to_string(s); }

Point times(const Point& p, std::int64_t v) { return p.scalar_mul(Scalar::from_i64(v)); }

Scalar some_scalar(std::uint64_t seed) {
  return Scalar::from_u64(seed * 0x9e3779b97f4a7c15ULL + 1).mul(Scalar::from_u64(seed ^ 0xdeadbeefULL));
}

}  // namespace

TEST(Challenge, WorkedExamplesOverTheGenerator) {
  const Point& g = Point::generator();
  EXPECT_EQ(hex_of(challenge_from_transcript(Digest::Sha256, {g})),
            "1bcb661b301089f2b094b5521376e9dfa3cd7c500858b562f6d8874330b17243");
  EXPECT_EQ(hex_of(challenge_from_transcript(Digest::Sha512, {g})),
            "1f7a46492ad527b1c8043c39d9e59c59940e27e55519984248d9c0f34af25c92");
}

TEST(Challenge, OrderAndIdentityMatter) {
  const Point& g = Point::generator();
  const Point g2 = times(g, 2);
  EXPECT_FALSE(challenge_from_transcript(Digest::Sha256, {g, g2}).eq(challenge_from_transcript(Digest::Sha256, {g2, g})));
  EXPECT_FALSE(challenge_from_transcript(Digest::Sha256, {g, Point::zero()})
                   .eq(challenge_from_transcript(Digest::Sha256, {g})));
  EXPECT_FALSE(challenge_from_transcript(Digest::Sha256, {g}).eq(challenge_from_transcript(Digest::Sha512, {g})));
}

// Every v in and just outside [−bound, bound], for bounds whose windows
// end at every offset; the baby table is a single element for bound 1.
TEST(SmallDlog, ExhaustiveForSmallBounds) {
  const Point b = times(Point::generator(), 987654321);
  for (std::uint32_t bound : {1u, 2u, 3u, 4u, 5u, 6u, 8u, 9u, 10u, 11u, 15u, 16u, 17u, 24u, 25u, 26u, 50u}) {
    for (std::int64_t v = -(std::int64_t)bound - 4; v <= (std::int64_t)bound + 4; ++v) {
      const auto got = small_dlog_vartime(times(b, v), b, bound);
      if (v >= -(std::int64_t)bound && v <= (std::int64_t)bound) {
        ASSERT_TRUE(got.has_value()) << "bound " << bound << " v " << v;
        EXPECT_EQ(*got, v) << "bound " << bound;
      } else {
        EXPECT_FALSE(got.has_value()) << "bound " << bound << " v " << v;
      }
    }
  }
}

// A bound whose baby table (2000) and giant walk (1000 per side) each span
// several conversion chunks (512).
TEST(SmallDlog, ChunkAndWindowEdges) {
  const Point b = times(Point::generator(), 31337);
  const std::uint32_t bound = 4000000;  // baby table of 2000, steps of 4001
  const std::int64_t step = 4001;
  const std::vector<std::int64_t> vs = {0, 1, 511, 512, 513, 1024, 1025, 1999, 2000, 2001, step - 1, step, step + 1,
                                        511 * step + 2000, 512 * step - 2000, 512 * step, 513 * step - 1,
                                        999 * step + 2000, 3999999, 4000000};
  for (std::int64_t v : vs) {
    for (std::int64_t s : {std::int64_t{1}, std::int64_t{-1}}) {
      const auto got = small_dlog_vartime(times(b, s * v), b, bound);
      ASSERT_TRUE(got.has_value()) << s * v;
      EXPECT_EQ(*got, s * v);
    }
  }
  for (std::int64_t v : std::vector<std::int64_t>{4000001, 4000002, 1000 * step + 2000, 1001 * step, 5000000}) {
    EXPECT_FALSE(small_dlog_vartime(times(b, v), b, bound).has_value()) << v;
    EXPECT_FALSE(small_dlog_vartime(times(b, -v), b, bound).has_value()) << -v;
  }
}

TEST(SmallDlog, DegenerateBase) {
  const Point b = times(Point::generator(), 5);
  EXPECT_EQ(small_dlog_vartime(Point::zero(), b, 0), std::optional<std::int64_t>(0));
  EXPECT_FALSE(small_dlog_vartime(b, b, 0).has_value());
  EXPECT_EQ(small_dlog_vartime(Point::zero(), Point::zero(), 10), std::optional<std::int64_t>(0));
  EXPECT_FALSE(small_dlog_vartime(b, Point::zero(), 10).has_value());
}

TEST(SigmaRecords, ProveVerifyAndReadBack) {
  const Point& g = Point::generator();
  const Point h = times(g, 1234567);
  const std::int32_t amount = -42;
  const Scalar x = some_scalar(7), r = some_scalar(8), val = Scalar::from_i64(amount);
  const Point pk = h.scalar_mul(x);

  auto d = DLogProofExplicit::prove(Digest::Sha512, x, h);
  ASSERT_TRUE(d.ok());
  EXPECT_TRUE(d.value().verify(Digest::Sha512, h, pk));
  EXPECT_FALSE(d.value().verify(Digest::Sha256, h, pk));
  auto d2 = DLogProofExplicit::from_json(d.value().to_json().dump());
  ASSERT_TRUE(d2.ok());
  EXPECT_TRUE(d2.value().verify(Digest::Sha512, h, pk));

  auto e = DLogEqProof::prove(Digest::Sha256, x, g, h);
  ASSERT_TRUE(e.ok());
  EXPECT_TRUE(e.value().verify(Digest::Sha256, g, h));
  EXPECT_FALSE(e.value().verify(Digest::Sha256, h, g));
  auto e2 = DLogEqProof::from_json(e.value().to_json().dump(2));
  ASSERT_TRUE(e2.ok());
  EXPECT_TRUE(e2.value().verify(Digest::Sha256, g, h));

  auto p = DLogEqProofPed::prove(amount, g, h, pk);
  ASSERT_TRUE(p.ok());
  EXPECT_TRUE(p.value().verify(g, h));
  EXPECT_TRUE(p.value().cm1.eq(p.value().cm3));
  auto w = p.value().generate_mul_witness(g, h);
  EXPECT_TRUE(w.chalRspDg.add_point(w.chalRspD1h).sub_point(w.challengecm2).eq(
      g.scalar_mul(p.value().challenge_response_D)
          .add_point(h.scalar_mul(p.value().challenge_response_D1))
          .sub_point(p.value().cm2.scalar_mul(p.value().challenge))));

  const Point cm = g.scalar_mul(val).add_point(h.scalar_mul(r));
  const Point tk = pk.scalar_mul(r);
  auto c = ConsistencyProof::prove(amount, r, g, h, cm, pk, tk);
  ASSERT_TRUE(c.ok());
  EXPECT_TRUE(c.value().verify(g, h, cm, pk, tk));
  EXPECT_FALSE(c.value().verify(g, h, cm, pk, cm));
  auto refused = ConsistencyProof::prove(amount, x, g, h, cm, pk, tk);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "assertion failed: false");
}

TEST(SigmaRecords, ReadingErrorsNameTheRecord) {
  auto e = ConsistencyProof::from_json("[1]");
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().debug(), "Error(\"invalid type: integer `1`, expected point of bn254 curve\", line: 1, column: 2)");
  auto f = DLogEqProofPed::from_json("true");
  ASSERT_FALSE(f.ok());
  EXPECT_EQ(f.error().message, "invalid type: boolean `true`, expected struct DLogEqProofPed");
}

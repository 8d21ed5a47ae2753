// The strict suite's engine where Python cannot reach it: tables that are
// not well formed, sums of more than two terms (the constant-time
// multi-scalar path), a secret used twice in one equation, and the shape's
// part in the transcript.
#include <gtest/gtest.h>

#include <string>

#include "strict/relation.hpp"
#include "strict/relations.hpp"

using namespace vemo::curve;
using namespace vemo::strict;

namespace {

Point multiple(std::uint64_t n) { return Point::generator().scalar_mul_vartime(Scalar::from_u64(n)); }

// P = Σ w_i·B over the given terms, as the table's image.
LinearEquation equation(std::vector<Term> terms, const std::vector<Scalar>& w) {
  Point p = Point::zero();
  for (const Term& t : terms) p = p.add_point_vartime(t.base.scalar_mul_vartime(w[t.secret]));
  return LinearEquation{p, std::move(terms)};
}

bool verifies(const Relation& rel, std::string_view context, const std::string& proof) {
  auto c = claims_vartime(rel, context, proof);
  return c.ok() && c->holds_vartime();
}

}  // namespace

TEST(StrictEngine, RefusesTablesThatAreNotWellFormed) {
  const Point b = multiple(3);
  const struct {
    Relation rel;
    const char* message;
  } cases[] = {
      {{"t", 0, {{b, {{0, b}}}}, {}}, "t: a relation needs a secret and an equation"},
      {{"t", 1, {}, {}}, "t: a relation needs a secret and an equation"},
      {{"t", 1, {{b, {}}}, {}}, "t: equation 0 has no term"},
      {{"t", 1, {{b, {{1, b}}}}, {}}, "t: equation 0 names secret 1 of 1"},
      {{"t", 2, {{b, {{0, b}}}}, {}}, "t: secret 1 appears in no equation"},
      {{"t", 1, {{b, {{0, b}}}, {b, {{0, b}, {0, Point::zero()}}}}, {}},
       "t: base 1 of equation 1: the identity is not allowed here"},
  };
  for (const auto& c : cases) {
    auto shape = check_shape(c.rel);
    ASSERT_FALSE(shape.ok()) << c.message;
    EXPECT_EQ(shape.error().message, c.message);
    auto proof = prove(c.rel, "", {Scalar::one(), Scalar::one()});
    ASSERT_FALSE(proof.ok());
    EXPECT_EQ(proof.error().message, c.message);
    auto claims = claims_vartime(c.rel, "", std::string(c.rel.proof_size(), '\0'));
    ASSERT_FALSE(claims.ok());
    EXPECT_EQ(claims.error().message, c.message);
  }
}

TEST(StrictEngine, LongSumsAndRepeatedSecrets) {
  // Four terms (the multi-scalar path), secret 0 twice in one equation.
  const std::vector<Scalar> w = {Scalar::from_u64(1234567), Scalar::from_u64(7654321).neg(), Scalar::from_u64(99)};
  Relation rel{"test", 3, {}, {{"note", "extra"}}};
  rel.equations.push_back(equation({{0, multiple(2)}, {1, multiple(3)}, {2, multiple(5)}, {0, multiple(7)}}, w));
  rel.equations.push_back(equation({{2, multiple(11)}}, w));
  auto proof = prove(rel, "ctx", w);
  ASSERT_TRUE(proof.ok()) << proof.error().message;
  ASSERT_EQ(proof->size(), rel.proof_size());
  EXPECT_TRUE(verifies(rel, "ctx", proof.value()));
  EXPECT_FALSE(verifies(rel, "ctx2", proof.value()));
  Relation other_extra = rel;
  other_extra.extra[0].bytes = "extrb";
  EXPECT_FALSE(verifies(other_extra, "ctx", proof.value()));
  // Wrong secrets are refused before any nonce is drawn.
  std::vector<Scalar> wrong = w;
  wrong[1] = wrong[1].add(Scalar::one());
  auto refused = prove(rel, "ctx", wrong);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "test: the secrets do not satisfy the statement");
}

TEST(StrictEngine, TheShapeIsPartOfTheStatement) {
  // The same images and bases with the secrets' indices swapped: one
  // equation's proof for secrets (a, b) is no proof when the table names
  // (b, a), even though both tables hold for some secrets.
  const std::vector<Scalar> w = {Scalar::from_u64(5), Scalar::from_u64(8)};
  const Point b1 = multiple(2), b2 = multiple(3);
  const Point p = b1.scalar_mul_vartime(w[0]).add_point_vartime(b2.scalar_mul_vartime(w[1]));
  const Relation ab{"test", 2, {{p, {{0, b1}, {1, b2}}}}, {}};
  const Relation ba{"test", 2, {{p, {{1, b1}, {0, b2}}}}, {}};
  auto proof = prove(ab, "", w);
  ASSERT_TRUE(proof.ok());
  EXPECT_TRUE(verifies(ab, "", proof.value()));
  EXPECT_FALSE(verifies(ba, "", proof.value()));
  auto swapped = prove(ba, "", {w[1], w[0]});
  ASSERT_TRUE(swapped.ok());
  EXPECT_TRUE(verifies(ba, "", swapped.value()));
}

TEST(StrictEngine, FixedRandomBytesGiveOneProofPerStatementAndContext) {
  const std::vector<Scalar> w = {Scalar::from_u64(42)};
  auto rel = dleq(multiple(1), multiple(42), multiple(9), multiple(9 * 42));
  ASSERT_TRUE(rel.ok());
  std::array<unsigned char, 32> r{};
  r.fill(0x5a);
  set_nonce_random_for_testing(r);
  auto a = prove(rel.value(), "one", w), b = prove(rel.value(), "one", w), c = prove(rel.value(), "two", w);
  set_nonce_random_for_testing(std::nullopt);
  auto d = prove(rel.value(), "one", w);
  ASSERT_TRUE(a.ok() && b.ok() && c.ok() && d.ok());
  EXPECT_EQ(a.value(), b.value());
  // The same R in another context: other nonces, so other commitments.
  EXPECT_NE(a->substr(0, 64), c->substr(0, 64));
  EXPECT_NE(a.value(), d.value());
  EXPECT_TRUE(verifies(rel.value(), "two", c.value()));
}

// The strict suite's aggregated range proof: completeness over every size,
// soundness against every single change of statement, context or proof,
// the strict decoder on hostile bytes, the generator derivation, and the
// golden vectors in tests/data/strict_range_vectors.json.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bulletproofs/src/proofs/generators.hpp"
#include "curve/hash.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/proofs/batch.hpp"
#include "src/api/api.hpp"
#include "src/api/strict_range.hpp"
#include "strict/generators.hpp"
#include "strict/range_proof.hpp"
#include "strict/transcript.hpp"
#include "test_util.hpp"

namespace {

using namespace vemo;
using curve::Point;
using curve::Scalar;
namespace sapi = vemo::api::strict;

const api::GHV& pair() {
  static const api::GHV gh = api::gen_GH();
  return gh;
}

std::uint64_t top(std::uint64_t bits) { return bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1; }

// v·g + γ·h, computed apart from the prover's own path.
Point commitment(std::uint64_t v, const Scalar& gamma, const api::GHV& gh = pair()) {
  return gh.g.scalar_mul_vartime(Scalar::from_u64(v)).add_point_vartime(gh.h.scalar_mul_vartime(gamma));
}

struct Statement {
  std::uint64_t bits;
  std::vector<std::uint64_t> values;
  std::vector<api::RandR> blindings;
  std::vector<api::CommitV> commitments;
};

// m values: the ends of the range and random ones in between, cycling so
// that even single-value statements see each kind.
Statement statement(std::uint64_t bits, std::size_t m) {
  Statement s{bits, {}, {}, {}};
  for (std::size_t j = 0; j < m; ++j) {
    std::uint64_t v = 0;
    switch ((j + m) % 3) {
      case 0: v = 0; break;
      case 1: v = top(bits); break;
      default: v = test::rng()() & top(bits);
    }
    s.values.push_back(v);
    s.blindings.push_back(api::RandR{test::random_scalar()});
    s.commitments.push_back(api::CommitV{commitment(v, s.blindings.back().s)});
  }
  return s;
}

std::string prove(const Statement& s, std::string_view context = "ctx") {
  auto p = sapi::range_prove(context, pair(), s.bits, s.values, s.blindings);
  EXPECT_TRUE(p.ok()) << (p.ok() ? "" : p.error().message);
  return p.ok() ? p.value() : std::string();
}

// The verdict, or the error's message when the claims could not be made.
struct Verdict {
  bool accepted;
  std::string error;
};
Verdict verify(std::string_view context, const api::GHV& gh, std::uint64_t bits,
               const std::vector<api::CommitV>& commitments, std::string_view proof) {
  auto c = sapi::range_claims(context, gh, bits, commitments, proof);
  if (!c.ok()) return {false, c.error().message};
  EXPECT_EQ(c->equations.size(), c->checks_pass ? 1u : 0u) << "one equation per proof";
  return {c->holds_vartime(), ""};
}

std::size_t padded(std::size_t m) {
  std::size_t p = 1;
  while (p < m) p *= 2;
  return p;
}
std::size_t log2_of(std::size_t N) {
  std::size_t k = 0;
  while ((std::size_t{1} << k) < N) ++k;
  return k;
}

TEST(StrictRange, CompleteForEveryBitLengthAndCount) {
  for (std::uint64_t bits : {8, 16, 32, 64}) {
    for (std::size_t m = 1; m <= strict::kMaxRangeValues; ++m) {
      SCOPED_TRACE("bits " + std::to_string(bits) + ", m " + std::to_string(m));
      const Statement s = statement(bits, m);
      const std::string proof = prove(s);
      // 2·log2(n·m') + 9 points and scalars of 32 bytes.
      EXPECT_EQ(proof.size(), 32 * (2 * log2_of(bits * padded(m)) + 9));
      EXPECT_EQ(strict::range_proof_length(bits, m).value(), proof.size());
      const Verdict v = verify("ctx", pair(), bits, s.commitments, proof);
      EXPECT_TRUE(v.accepted) << v.error;
    }
  }
}

// Two pairs, two contexts, a proof per statement: each proves its own
// statement only.
TEST(StrictRange, ChangingAnyStatementElementFails) {
  const Statement s = statement(8, 3);  // padded to 4 values
  const std::string proof = prove(s);
  ASSERT_TRUE(verify("ctx", pair(), 8, s.commitments, proof).accepted);

  const api::GHV other_pair = api::gen_new_GH(api::g_to_x(pair(), 5), api::CommitV{pair().h});
  const api::GHV swapped{pair().g, pair().h};  // h and g exchanged
  struct Case {
    const char* name;
    std::string context;
    api::GHV gh;
    std::uint64_t bits;
    std::vector<api::CommitV> commitments;
  };
  std::vector<Case> cases;
  cases.push_back({"context", "ctx2", pair(), 8, s.commitments});
  cases.push_back({"empty context", "", pair(), 8, s.commitments});
  cases.push_back({"g", "ctx", other_pair, 8, s.commitments});
  cases.push_back({"g and h swapped", "ctx", swapped, 8, s.commitments});
  cases.push_back({"bits", "ctx", pair(), 16, s.commitments});
  // m: one fewer, or a fourth commitment that is exactly the prover's own
  // padding (the identity), which the same proof length would admit.
  cases.push_back({"m, one fewer", "ctx", pair(), 8, {s.commitments[0], s.commitments[1]}});
  std::vector<api::CommitV> with_padding = s.commitments;
  with_padding.push_back(api::CommitV{Point::zero()});
  cases.push_back({"m, the padding given", "ctx", pair(), 8, with_padding});
  for (std::size_t j = 0; j < 3; ++j) {
    std::vector<api::CommitV> changed = s.commitments;
    changed[j].p = changed[j].p.add_point_vartime(pair().g);
    cases.push_back({"a commitment", "ctx", pair(), 8, changed});
  }
  std::vector<api::CommitV> reordered = s.commitments;
  std::swap(reordered[0], reordered[2]);
  cases.push_back({"the order of commitments", "ctx", pair(), 8, reordered});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(verify(c.context, c.gh, c.bits, c.commitments, proof).accepted);
  }
}

TEST(StrictRange, ChangingAnyProofByteFails) {
  const Statement s = statement(8, 2);
  const std::string proof = prove(s);
  ASSERT_EQ(proof.size(), 32u * (2 * 4 + 9));
  ASSERT_TRUE(verify("ctx", pair(), 8, s.commitments, proof).accepted);
  std::size_t refused_by_decoder = 0;
  for (std::size_t i = 0; i < proof.size(); ++i) {
    for (unsigned char flip : {(unsigned char)(1u << (i % 8)), (unsigned char)0xff}) {
      std::string bad = proof;
      bad[i] = (char)(bad[i] ^ flip);
      const Verdict v = verify("ctx", pair(), 8, s.commitments, bad);
      EXPECT_FALSE(v.accepted) << "byte " << i << " xor " << (int)flip;
      refused_by_decoder += !v.error.empty();
    }
  }
  // Some changes leave valid encodings (and fail the equation), some do not
  // (and fail decoding): both paths were taken.
  EXPECT_GT(refused_by_decoder, 0u);
  EXPECT_LT(refused_by_decoder, 2 * proof.size());
}

TEST(StrictRange, OutOfRangeValuesCannotBeProved) {
  const std::array<unsigned char, 32> R{7};
  struct Case {
    std::uint64_t bits, value;
  };
  for (const Case& c : {Case{8, 256}, Case{8, 257}, Case{8, ~std::uint64_t{0}}, Case{16, 1u << 16},
                        Case{32, std::uint64_t{1} << 32}, Case{32, std::uint64_t{1} << 63}}) {
    SCOPED_TRACE(std::to_string(c.value) + " in " + std::to_string(c.bits) + " bits");
    const std::vector<std::uint64_t> values{3, c.value};
    const std::vector<api::RandR> blindings{api::RandR{test::random_scalar()}, api::RandR{test::random_scalar()}};
    auto refused = sapi::range_prove("ctx", pair(), c.bits, values, blindings);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "range proof: value 1 is not below 2^" + std::to_string(c.bits));
    // The prover run without its check proves the low bits, which the
    // commitment does not hold: the proof fails.
    auto forced = strict::testing::range_prove_unchecked("ctx", pair().g, pair().h, c.bits, values,
                                                         {blindings[0].s, blindings[1].s}, R);
    ASSERT_TRUE(forced.ok());
    const std::vector<api::CommitV> V{api::CommitV{commitment(3, blindings[0].s)},
                                      api::CommitV{commitment(c.value, blindings[1].s)}};
    EXPECT_FALSE(verify("ctx", pair(), c.bits, V, forced.value()).accepted);
  }
}

TEST(StrictRange, ShapeErrorsArePrecise) {
  const std::vector<api::RandR> one{api::RandR{Scalar::one()}};
  struct Case {
    std::uint64_t bits;
    std::size_t m, blindings;
    std::string message;
  };
  const std::vector<Case> cases = {
      {7, 1, 1, "range proof: bits must be 8, 16, 32 or 64, got 7"},
      {0, 1, 1, "range proof: bits must be 8, 16, 32 or 64, got 0"},
      {128, 1, 1, "range proof: bits must be 8, 16, 32 or 64, got 128"},
      {8, 0, 0, "range proof: from 1 to 64 values, got 0"},
      {8, 65, 65, "range proof: from 1 to 64 values, got 65"},
      {8, 2, 1, "range proof: 2 values but 1 blindings"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const std::vector<std::uint64_t> values(c.m, 1);
    const std::vector<api::RandR> blindings(c.blindings, api::RandR{Scalar::one()});
    auto p = sapi::range_prove("ctx", pair(), c.bits, values, blindings);
    ASSERT_FALSE(p.ok());
    EXPECT_EQ(p.error().message, c.message);
    if (c.m == c.blindings) {
      const std::vector<api::CommitV> V(c.m, api::CommitV{pair().g});
      auto claims = sapi::range_claims("ctx", pair(), c.bits, V, std::string(32 * 19, '\0'));
      ASSERT_FALSE(claims.ok());
      EXPECT_EQ(claims.error().message, c.message);
    }
  }
  // An identity base has no meaning for a commitment.
  const api::GHV no_h{Point::zero(), pair().g};
  auto p = sapi::range_prove("ctx", no_h, 8, {1}, one);
  ASSERT_FALSE(p.ok());
  EXPECT_EQ(p.error().message, "range proof: h: the identity is not allowed here");
}

// Bytes that are not a proof: every refusal names the item and the fault.
TEST(StrictRange, StrictDecoderRefusesHostileProofs) {
  const Statement s = statement(16, 1);  // N = 16: 4 levels, 17 items
  const std::string proof = prove(s);
  ASSERT_EQ(proof.size(), 32u * 17);
  auto at = [&](std::size_t item, const std::string& bytes) {
    std::string p = proof;
    p.replace(32 * item, 32, bytes);
    return p;
  };
  std::string identity(32, '\0');
  identity[0] = 0x40;
  std::string all_ones(32, '\xff');
  std::string both_flags = proof.substr(0, 32);
  both_flags[0] = (char)(both_flags[0] | 0xc0);
  std::string x_is_p(32, '\0');
  {
    // p itself, with no flag: the x coordinate must be below p.
    const char* p_hex = "30644e72e131a029b85045b68181585d97816a916871ca8d3c208c16d87cfd47";
    for (int i = 0; i < 32; ++i) x_is_p[i] = (char)std::stoi(std::string(p_hex + 2 * i, 2), nullptr, 16);
  }
  std::string not_on_curve(32, '\0');
  not_on_curve[31] = 4;  // x = 4: 4³ + 3 = 67 is not a square modulo p
  std::string r_bytes(32, '\0');
  {
    const char* r_hex = "30644e72e131a029b85045b68181585d2833e84879b9709143e1f593f0000001";
    for (int i = 0; i < 32; ++i) r_bytes[i] = (char)std::stoi(std::string(r_hex + 2 * i, 2), nullptr, 16);
  }
  struct Case {
    std::string bytes, message;
  };
  const std::vector<Case> cases = {
      {"", "range proof: expected 544 bytes, got 0"},
      {proof.substr(0, 543), "range proof: expected 544 bytes, got 543"},
      {proof + '\0', "range proof: expected 544 bytes, got 545"},
      {at(0, identity), "range proof: A: the identity is not allowed here"},
      {at(3, both_flags), "range proof: T2: both flag bits set"},
      {at(1, x_is_p), "range proof: S: x coordinate not below p"},
      {at(2, not_on_curve), "range proof: T1: not a point of the curve"},
      {at(4, r_bytes), "range proof: t_hat: not below the group order"},
      {at(5, all_ones), "range proof: tau_x: not below the group order"},
      {at(6, r_bytes), "range proof: mu: not below the group order"},
      {at(7, identity), "range proof: L_0: the identity is not allowed here"},
      {at(14, not_on_curve), "range proof: R_3: not a point of the curve"},
      {at(15, r_bytes), "range proof: a: not below the group order"},
      {at(16, all_ones), "range proof: b: not below the group order"},
  };
  for (const Case& c : cases) {
    auto claims = sapi::range_claims("ctx", pair(), 16, s.commitments, c.bytes);
    ASSERT_FALSE(claims.ok()) << c.message;
    EXPECT_EQ(claims.error().message, c.message);
  }
}

// The verifier's challenges y, z, x for a proof, drawn as docs/strict.md
// says, from the suite's transcript.
struct Challenges {
  Scalar y, z, x;
};
Challenges challenges_of(std::string_view context, std::uint64_t bits, const std::vector<Point>& V,
                         const std::string& proof, std::size_t N) {
  auto point = [&](std::size_t item) {
    return Point::deserialize(reinterpret_cast<const unsigned char*>(proof.data()) + 32 * item, 32).value();
  };
  strict::Transcript t("range", context);
  t.absorb_u64("n", bits);
  t.absorb_u64("m", V.size());
  const auto gens = strict::generators(N).value();
  t.absorb("generators", gens->digest.data(), gens->digest.size());
  t.absorb_point("g", pair().g);
  t.absorb_point("h", pair().h);
  for (const Point& v : V) t.absorb_point("V", v);
  t.absorb_point("A", point(0));
  t.absorb_point("S", point(1));
  Challenges c;
  c.y = t.challenge("y");
  c.z = t.challenge("z");
  t.absorb_point("T1", point(2));
  t.absorb_point("T2", point(3));
  c.x = t.challenge("x");
  return c;
}

// The polynomial check t̂·g + τ_x·h = δ·g + z²·V + x·T1 + x²·T2 of a
// one-value proof of n bits, for given challenges.
bool polynomial_check_holds(std::uint64_t n, const Challenges& c, const Point& V, const Point& T1,
                            const std::string& proof) {
  auto scalar = [&](std::size_t item) {
    return Scalar::deserialize(reinterpret_cast<const unsigned char*>(proof.data()) + 32 * item, 32).value();
  };
  const Point T2 = Point::deserialize(reinterpret_cast<const unsigned char*>(proof.data()) + 96, 32).value();
  Scalar sum_y = Scalar::zero(), y_i = Scalar::one();
  for (std::uint64_t i = 0; i < n; ++i, y_i = y_i.mul(c.y)) sum_y.add_assign(y_i);
  const Scalar z2 = c.z.mul(c.z);
  const Scalar delta = c.z.sub(z2).mul(sum_y).sub(z2.mul(c.z).mul(Scalar::from_u64(top(n))));
  const std::vector<Scalar> s = {scalar(4).sub(delta), scalar(5), z2.neg(), c.x.neg(), c.x.mul(c.x).neg()};
  const std::vector<Point> p = {pair().g, pair().h, V, T1, T2};
  return curve::msm_vartime(s.data(), p.data(), s.size()).is_identity();
}

// The forgery a transcript without V before y and z admits: keep an honest
// proof's challenges, move V to a value out of range and solve the
// verification equation for T1. It solves the equation; the suite's
// transcript, which binds V and T1 before x, refuses it.
TEST(StrictRange, ForgerySolvedAfterTheChallengesFails) {
  const std::uint64_t n = 8;
  const Statement s = statement(n, 1);
  const std::string proof = prove(s);
  const Point V = s.commitments[0].p;
  const Challenges c = challenges_of("ctx", n, {V}, proof, n);
  const Point T1 = Point::deserialize(reinterpret_cast<const unsigned char*>(proof.data()) + 64, 32).value();
  ASSERT_TRUE(polynomial_check_holds(n, c, V, T1, proof)) << "the test's transcript is the prover's";

  // V' = V + 2^n·g, T1' = T1 − x⁻¹·z²·2^n·g.
  const Scalar shift = Scalar::from_u64(std::uint64_t{1} << n);
  const Point V_forged = V.add_point_vartime(pair().g.scalar_mul_vartime(shift));
  const Scalar t1_shift = c.x.invert()->mul(c.z).mul(c.z).mul(shift);
  const Point T1_forged = T1.sub_point_vartime(pair().g.scalar_mul_vartime(t1_shift));
  ASSERT_TRUE(polynomial_check_holds(n, c, V_forged, T1_forged, proof)) << "the forgery solves the equation";
  std::string forged = proof;
  const auto t1_bytes = T1_forged.serialize_compressed();
  forged.replace(64, 32, reinterpret_cast<const char*>(t1_bytes.data()), 32);
  EXPECT_FALSE(verify("ctx", pair(), n, {api::CommitV{V_forged}}, forged).accepted);
}

TEST(StrictRange, ClaimsBatchWithOtherProofs) {
  std::vector<proofs::Claims> claims;
  for (std::size_t m : {1, 2, 5}) {
    const Statement s = statement(32, m);
    claims.push_back(sapi::range_claims("ctx", pair(), 32, s.commitments, prove(s)).value());
  }
  std::vector<const proofs::Claims*> all;
  for (const auto& c : claims) all.push_back(&c);
  EXPECT_EQ(proofs::verify_batch_vartime(all, 1), std::vector<bool>(3, true));
  // A proof for other commitments is refused in the batch as alone.
  const Statement a = statement(32, 2), b = statement(32, 2);
  claims.push_back(sapi::range_claims("ctx", pair(), 32, b.commitments, prove(a)).value());
  all.push_back(&claims.back());
  EXPECT_FALSE(claims.back().holds_vartime());
  EXPECT_EQ(proofs::verify_batch_vartime(all, 2), (std::vector<bool>{true, true, true, false}));
}

// SHA-512 of frame(l1, d1) || frame(l2, d2), written out byte by byte.
std::array<unsigned char, 64> two_frames(std::string_view l1, std::string_view d1, std::string_view l2,
                                         const std::string& d2) {
  std::string bytes;
  for (auto [label, data] : {std::pair<std::string_view, std::string>{l1, std::string(d1)}, {l2, d2}}) {
    bytes += '\x01';
    bytes += (char)label.size();
    bytes += label;
    for (int i = 7; i >= 0; --i) bytes += (char)((std::uint64_t)data.size() >> (8 * i));
    bytes += data;
  }
  return curve::sha512(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(StrictRange, GeneratorsFollowTheirDerivation) {
  const auto small = strict::generators(8).value();
  const auto large = strict::generators(64).value();
  for (std::uint32_t i : {0u, 1u, 7u}) {
    const std::string index{(char)(i >> 24), (char)(i >> 16), (char)(i >> 8), (char)i};
    for (const auto& [label, points] :
         {std::pair<std::string, const std::vector<Point>*>{"G", &small->G}, {"H", &small->H}}) {
      const auto d = two_frames("generator", strict::kTag, label, index);
      EXPECT_TRUE(curve::generate_random_point(d.data(), d.size()).eq((*points)[i])) << label << i;
    }
  }
  const auto q = two_frames("generator", strict::kTag, "Q", "");
  EXPECT_TRUE(curve::generate_random_point(q.data(), q.size()).eq(small->Q));
  // Shorter vectors are prefixes of longer ones; the digests differ.
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_TRUE(small->G[i].eq(large->G[i]));
    EXPECT_TRUE(small->H[i].eq(large->H[i]));
  }
  EXPECT_NE(small->digest, large->digest);
  // All distinct, and none of them one of vemo's own vector points (hashed
  // from bare integers) or the pair.
  std::vector<Point> seen = large->G;
  seen.insert(seen.end(), large->H.begin(), large->H.end());
  seen.push_back(large->Q);
  seen.push_back(pair().g);
  seen.push_back(pair().h);
  const auto vemo_vectors = bulletproofs::derive_generator_vectors(64, 64);
  seen.insert(seen.end(), vemo_vectors.G.begin(), vemo_vectors.G.end());
  seen.insert(seen.end(), vemo_vectors.H.begin(), vemo_vectors.H.end());
  for (std::size_t a = 0; a < seen.size(); ++a)
    for (std::size_t b = a + 1; b < seen.size(); ++b) EXPECT_FALSE(seen[a].eq(seen[b])) << a << " " << b;
  for (std::size_t N : {0, 3, 8192}) EXPECT_FALSE(strict::generators(N).ok()) << N;
}

// The golden vectors: frozen proofs for fixed inputs and random bytes R.
TEST(StrictRange, GoldenVectors) {
  std::ifstream in(VEMO_SOURCE_ROOT "/tests/data/strict_range_vectors.json");
  ASSERT_TRUE(in.good());
  const auto doc = nlohmann::json::parse(in);
  ASSERT_GE(doc["vectors"].size(), 4u);
  const api::GHV gh = api::gen_GH();
  auto hex = [](const std::array<unsigned char, 32>& b) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : b) (out += digits[c >> 4]) += digits[c & 15];
    return out;
  };
  // The vectors are made with vemo's generator pair.
  ASSERT_EQ(doc["g"], hex(gh.g.serialize_compressed()));
  ASSERT_EQ(doc["h"], hex(gh.h.serialize_compressed()));
  for (const auto& v : doc["vectors"]) {
    SCOPED_TRACE(v["name"].get<std::string>());
    auto bytes_of = [](const std::string& hex) {
      std::string out;
      for (std::size_t i = 0; i < hex.size(); i += 2) out += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
      return out;
    };
    const std::string context = bytes_of(v["context"]);
    const std::string R_bytes = bytes_of(v["random"]);
    std::array<unsigned char, 32> R{};
    std::copy(R_bytes.begin(), R_bytes.end(), R.begin());
    std::vector<std::uint64_t> values;
    std::vector<Scalar> blindings;
    std::vector<api::CommitV> commitments;
    for (const auto& x : v["values"]) values.push_back(std::stoull(x.get<std::string>()));
    for (const auto& b : v["blindings"]) {
      const std::string raw = bytes_of(b);
      blindings.push_back(Scalar::deserialize(reinterpret_cast<const unsigned char*>(raw.data()), 32).value());
    }
    for (const auto& c : v["commitments"]) {
      const std::string raw = bytes_of(c);
      commitments.push_back(api::CommitV{Point::deserialize(reinterpret_cast<const unsigned char*>(raw.data()), 32).value()});
    }
    const std::uint64_t bits = v["bits"];
    for (std::size_t j = 0; j < values.size(); ++j) EXPECT_TRUE(commitments[j].p.eq(commitment(values[j], blindings[j], gh)));
    auto proof = strict::testing::range_prove_with_random(context, gh.g, gh.h, bits, values, blindings, R);
    ASSERT_TRUE(proof.ok());
    EXPECT_EQ(proof.value(), bytes_of(v["proof"]));
    EXPECT_TRUE(verify(context, gh, bits, commitments, bytes_of(v["proof"])).accepted);
  }
  // docs/strict.md shows the first vector's proof: the same bytes.
  std::ifstream doc_in(VEMO_SOURCE_ROOT "/docs/strict.md");
  std::stringstream text;
  text << doc_in.rdbuf();
  std::string squeezed;
  for (char ch : text.str())
    if (ch != ' ' && ch != '\n') squeezed += ch;
  EXPECT_NE(squeezed.find(doc["vectors"][0]["proof"].get<std::string>()), std::string::npos);
}

}  // namespace

// libFuzzer target for the text decoders of the core (no Python).
//
// The first input byte picks a decoder, the rest is its text. Besides not
// crashing, every decoder must hold two properties:
//   - a failure carries a position inside the text (line from 1 up to the
//     number of lines);
//   - a success survives a round trip: writing the value and reading it back
//     gives the same value (and the same text when written again).
// Decoded range proofs are also checked against small generator vectors,
// which runs the folding over whatever L/R lists the record holds.
//
// The strict suite's proofs (mode kStrictProof) are bytes, not texts: the
// next byte picks the relation (and the key count of consistency), the rest
// is the proof. A proof that decodes must be in its one encoding (each
// point and scalar written back gives the same bytes), and its claims are
// evaluated.
//
// VEMO_FUZZ_TARGET (point, scalar, json, sigma, range or strict) confines a
// run to one group of decoders: the first byte then only picks within the
// group.
//
// Build and run: see README.md next to this file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <cstring>

#include "bulletproofs/src/proofs/generators.hpp"
#include "bulletproofs/src/proofs/inner_product.hpp"
#include "bulletproofs/src/proofs/range_proof.hpp"
#include "curve/encoding.hpp"
#include "curve/json_read.hpp"
#include "curve/proofs/sigma_consistency.hpp"
#include "curve/proofs/sigma_dlog_explicit.hpp"
#include "curve/proofs/sigma_eq_dlog.hpp"
#include "curve/proofs/sigma_eq_dlog_ped.hpp"
#include "strict/range_proof.hpp"
#include "strict/relations.hpp"

using namespace vemo;
using namespace vemo::curve;

namespace {

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "fuzz_decoders: %s\ninput: %.*s\n", what, (int)text.size(), text.data());
  std::abort();
}

std::size_t line_count(std::string_view text) {
  std::size_t n = 1;
  for (char c : text) n += c == '\n';
  return n;
}

void check_error(const json::JsonError& e, std::string_view text) {
  if (e.message.empty()) fail("empty error message", text);
  if (e.line < 1 || e.line > line_count(text)) fail("error line outside the text", text);
  (void)e.debug();
}

// Reads a whole text with one reader function.
template <class T, class F>
Result<T, json::JsonError> read_all(std::string_view text, F read) {
  return json::parse_all<T>(text, read);
}

// from_json(dump(to_json(v))) must succeed and write the same text again.
template <class T, class Parse, class Write>
void round_trip(const T& v, Parse parse, Write write, std::string_view text) {
  const std::string once = dump_pretty(write(v));
  auto back = parse(once);
  if (!back.ok()) fail("written record does not read back", text);
  if (dump_pretty(write(back.value())) != once) fail("record changes in a round trip", text);
}

template <class Proof>
void sigma_record(std::string_view text) {
  auto p = Proof::from_json(text);
  if (!p.ok()) return check_error(p.error(), text);
  round_trip(p.value(), [](std::string_view t) { return Proof::from_json(t); },
             [](const Proof& q) { return q.to_json(); }, text);
}

// Small vectors for n = 1, 2, 4, derived once.
const bulletproofs::GeneratorVectors& vectors(std::size_t k) {
  static const bulletproofs::GeneratorVectors v[3] = {bulletproofs::derive_generator_vectors(1, 1),
                                                     bulletproofs::derive_generator_vectors(2, 2),
                                                     bulletproofs::derive_generator_vectors(4, 4)};
  return v[k];
}

void range_record(std::string_view text, unsigned selector) {
  auto p = bulletproofs::parse_range_proof(text);
  if (!p.ok()) return check_error(p.error(), text);
  round_trip(p.value(), [](std::string_view t) { return bulletproofs::parse_range_proof(t); },
             [](const bulletproofs::RangeProof& q) { return bulletproofs::to_json(q); }, text);
  const std::size_t k = selector % 3;
  const std::uint64_t n = std::uint64_t{1} << k;
  const Point& g = Point::generator();
  const Point h = bulletproofs::point_from_integer(1);
  // Any outcome is fine (false or a panic value); it must only be reached.
  auto ok = p->verify(vectors(k).G, vectors(k).H, g, h, {p->A}, n);
  (void)ok;
}

void inner_product_record(std::string_view text) {
  auto read = [](json::Reader& r) { return bulletproofs::read_inner_product_arg(r); };
  auto p = read_all<bulletproofs::InnerProductArg>(text, read);
  if (!p.ok()) return check_error(p.error(), text);
  round_trip(p.value(),
             [&](std::string_view t) { return read_all<bulletproofs::InnerProductArg>(t, read); },
             [](const bulletproofs::InnerProductArg& q) { return bulletproofs::to_json(q); }, text);
}

void point_text(std::string_view text) {
  auto p = parse_string_to_scep256k1point(text);
  if (!p.ok()) {
    // Positions refer to the point object the text is read as.
    const std::string wrapped = R"({"curve":"bn254","point":")" + std::string(text) + R"("})";
    return check_error(p.error(), wrapped);
  }
  auto back = parse_string_to_scep256k1point(parse_scep256k1point_to_string(p.value()));
  if (!back.ok() || !back->eq(p.value())) fail("point text round trip", text);
}

void scalar_text(std::string_view text) {
  auto s = parse_string_to_scep256k1scalar(text);
  if (!s.ok()) {
    const std::string wrapped = R"({"curve":"bn254","scalar":")" + std::string(text) + R"("})";
    return check_error(s.error(), wrapped);
  }
  auto back = parse_string_to_scep256k1scalar(parse_scep256k1scalar_to_string(s.value()));
  if (!back.ok() || !back->eq(s.value())) fail("scalar text round trip", text);
}

void reader_value(std::string_view text, unsigned which) {
  switch (which) {
    case 0: {
      auto p = read_all<Point>(text, [](json::Reader& r) { return r.read_point(); });
      if (!p.ok()) return check_error(p.error(), text);
      auto back = read_all<Point>(dump_pretty(point_to_json(p.value())), [](json::Reader& r) { return r.read_point(); });
      if (!back.ok() || !back->eq(p.value())) fail("point object round trip", text);
      return;
    }
    case 1: {
      auto s = read_all<Scalar>(text, [](json::Reader& r) { return r.read_scalar(); });
      if (!s.ok()) return check_error(s.error(), text);
      auto back =
          read_all<Scalar>(dump_pretty(scalar_to_json(s.value())), [](json::Reader& r) { return r.read_scalar(); });
      if (!back.ok() || !back->eq(s.value())) fail("scalar object round trip", text);
      return;
    }
    case 2: {
      auto b = read_all<BigInt>(text, [](json::Reader& r) { return r.read_bigint(); });
      if (!b.ok()) return check_error(b.error(), text);
      auto back = read_all<BigInt>(dump_pretty(bigint_to_json(b.value())), [](json::Reader& r) { return r.read_bigint(); });
      if (!back.ok() || back.value() != b.value()) fail("bigint round trip", text);
      return;
    }
    case 3: {
      auto read = [](json::Reader& r) { return r.read_point_vec(); };
      auto v = read_all<std::vector<Point>>(text, read);
      if (!v.ok()) return check_error(v.error(), text);
      nlohmann::ordered_json j = nlohmann::ordered_json::array();
      for (const Point& p : v.value()) j.push_back(point_to_json(p));
      auto back = read_all<std::vector<Point>>(dump_pretty(j), read);
      if (!back.ok() || back->size() != v->size()) fail("point list round trip", text);
      for (std::size_t i = 0; i < v->size(); ++i)
        if (!(*back)[i].eq((*v)[i])) fail("point list round trip", text);
      return;
    }
    default: {
      json::Reader r(text);
      auto st = r.skip_value();
      if (st.ok()) st = r.end();
      if (!st.ok()) return check_error(st.error(), text);
      return;
    }
  }
}

// A fixed statement for each relation: points of known logarithm.
Point multiple(std::uint64_t n) { return Point::generator().scalar_mul_vartime(Scalar::from_u64(n)); }

Result<strict::Relation, strict::Error> strict_relation(unsigned selector) {
  const Point g = multiple(3), h = Point::generator();
  switch (selector % 5) {
    case 0: return strict::opening(g, h, multiple(11));
    case 1: {
      const std::size_t keys = 1 + (selector / 5) % strict::kMaxKeys;
      std::vector<Point> pks, tokens;
      for (std::size_t i = 0; i < keys; ++i) {
        pks.push_back(multiple(100 + i));
        tokens.push_back(multiple(200 + i));
      }
      return strict::consistency(g, h, multiple(11), pks, tokens);
    }
    case 2: return strict::dleq(h, multiple(7), multiple(5), multiple(35));
    case 3: return strict::signature(h, multiple(7), "fuzz message");
    default: return strict::balance(g, h, multiple(7), multiple(11), multiple(13), multiple(17));
  }
}

// A strict range proof for a fixed statement: the selector picks the bit
// length (its low two bits) and the number of values.
void strict_range_proof(unsigned selector, std::string_view proof) {
  static constexpr std::uint64_t kBits[] = {8, 16, 32, 64};
  const std::uint64_t bits = kBits[selector & 3];
  const std::size_t m = 1 + ((selector >> 2) & 15);
  std::vector<Point> commitments;
  for (std::size_t j = 0; j < m; ++j) commitments.push_back(multiple(300 + j));
  auto claims = strict::range_claims_vartime("fuzz", multiple(3), Point::generator(), bits, commitments, proof);
  if (!claims.ok()) {
    if (claims.error().message.rfind("range proof: ", 0) != 0) fail("strict range error without its kind", proof);
    return;
  }
  if (proof.size() != strict::range_proof_length(bits, m).value()) fail("range proof of the wrong length accepted", proof);
  (void)claims->holds_vartime();
}

void strict_proof(std::string_view input) {
  if (input.empty()) return;
  // Selectors from 192 up: the aggregated range proof.
  if ((unsigned char)input[0] >= 192) return strict_range_proof((unsigned char)input[0] - 192, input.substr(1));
  auto rel = strict_relation((unsigned char)input[0]);
  if (!rel.ok()) fail("a fixed statement is refused", input);
  const std::string_view proof = input.substr(1);
  auto claims = strict::claims_vartime(rel.value(), "fuzz", proof);
  if (!claims.ok()) {
    if (claims.error().message.rfind(rel->kind + " proof: ", 0) != 0) fail("strict error without its kind", input);
    return;
  }
  if (proof.size() != rel->proof_size()) fail("strict proof of the wrong length accepted", input);
  const auto* b = reinterpret_cast<const unsigned char*>(proof.data());
  for (std::size_t j = 0; j < rel->equations.size(); ++j, b += 32) {
    auto p = strict::decode_point_vartime("A", b, 32, strict::Identity::refused);
    if (!p.ok() || strict::encode_point(p.value()) != std::to_array(*reinterpret_cast<const unsigned char(*)[32]>(b)))
      fail("strict point not in its one encoding", input);
  }
  for (std::size_t i = 0; i < rel->secrets; ++i, b += 32) {
    auto s = strict::decode_scalar_vartime("z", b, 32);
    if (!s.ok() || strict::encode_scalar(s.value()) != std::to_array(*reinterpret_cast<const unsigned char(*)[32]>(b)))
      fail("strict scalar not in its one encoding", input);
  }
  (void)claims->holds_vartime();
}

// The decoder an input's first byte selects (its mode): mode % 12 picks the
// decoder, and for the range records mode / 12 picks the inner-product
// record (odd) or the range record and its size (mode / 24). Named once,
// here: the switch below, the target groups and the seeds that
// tests/fuzz/run.sh writes (from the table VEMO_FUZZ_MODES=1 prints) all
// take their numbers from this table.
enum Mode : unsigned {
  kPointText = 0,
  kScalarText = 1,
  kJsonPoint = 2,  // kJsonPoint + 0 to 4: reader_value's five kinds
  kJsonScalar = 3,
  kJsonBigInt = 4,
  kJsonPointList = 5,
  kJsonValue = 6,
  kConsistencyProof = 7,
  kDLogProofExplicit = 8,
  kDLogEqProof = 9,
  kDLogEqProofPed = 10,
  kRangeProof = 11,               // n = 1
  kInnerProductArg = 11 + 12,     // any odd multiple of 12 above kRangeProof
  kRangeProofN2 = 11 + 2 * 12,    // n = 2
  // The strict suite's proofs: one byte of its own, checked before the
  // modulo. It took nothing a group reaches (255 % 12 is kJsonScalar, whose
  // group mode is 3 alone) and no stored regression input starts with it.
  kStrictProof = 255,
};
constexpr struct {
  const char* name;
  Mode mode;
} kModeNames[] = {
    {"point_text", kPointText},
    {"scalar_text", kScalarText},
    {"json_point", kJsonPoint},
    {"json_scalar", kJsonScalar},
    {"json_bigint", kJsonBigInt},
    {"json_point_list", kJsonPointList},
    {"json_value", kJsonValue},
    {"consistency_proof", kConsistencyProof},
    {"sigma_dlog_proof_explicit", kDLogProofExplicit},
    {"sigma_eq_dlog", kDLogEqProof},
    {"sigma_eq_dlog_ped", kDLogEqProofPed},
    {"range_proof", kRangeProof},
    {"inner_product", kInnerProductArg},
    {"range_proof_n2", kRangeProofN2},
    {"strict_proof", kStrictProof},
};

// The modes of each target group: first mode, how many, and the step
// between them (the range group's are 11, 23, 35, ...).
struct Group {
  const char* name;
  unsigned first, count, stride;
};
constexpr Group kGroups[] = {
    {"point", kPointText, 1, 12},
    {"scalar", kScalarText, 1, 12},
    {"json", kJsonPoint, kJsonValue - kJsonPoint + 1, 1},
    {"sigma", kConsistencyProof, kDLogEqProofPed - kConsistencyProof + 1, 1},
    {"range", kRangeProof, 8, 12},
    {"strict", kStrictProof, 1, 0},
};
const Group* g_group = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::getenv("VEMO_FUZZ_MODES") != nullptr) {
    for (const auto& m : kModeNames) std::printf("%s %u\n", m.name, (unsigned)m.mode);
    std::exit(0);
  }
  if (const char* t = std::getenv("VEMO_FUZZ_TARGET")) {
    for (const Group& g : kGroups)
      if (std::strcmp(g.name, t) == 0) g_group = &g;
    if (g_group == nullptr) {
      std::fprintf(stderr, "unknown VEMO_FUZZ_TARGET %s\n", t);
      std::exit(2);
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  unsigned mode = data[0];
  if (g_group != nullptr) mode = g_group->first + (mode % g_group->count) * g_group->stride;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode == kStrictProof) {
    strict_proof(text);
    return 0;
  }
  switch (mode % 12) {
    case kPointText: point_text(text); break;
    case kScalarText: scalar_text(text); break;
    case kJsonPoint: case kJsonScalar: case kJsonBigInt: case kJsonPointList: case kJsonValue:
      reader_value(text, mode % 12 - kJsonPoint);
      break;
    case kConsistencyProof: sigma_record<proofs::ConsistencyProof>(text); break;
    case kDLogProofExplicit: sigma_record<proofs::DLogProofExplicit>(text); break;
    case kDLogEqProof: sigma_record<proofs::DLogEqProof>(text); break;
    case kDLogEqProofPed: sigma_record<proofs::DLogEqProofPed>(text); break;
    default:
      if ((mode / 12) % 2) inner_product_record(text);
      else range_record(text, mode / 24);
      break;
  }
  return 0;
}

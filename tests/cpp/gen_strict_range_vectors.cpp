// Writes the golden vectors of the strict range proof to stdout, as
// tests/data/strict_range_vectors.json holds them: fixed inputs, the fixed
// random bytes R of the nonces, and the proof. Run once and frozen; the
// test recomputes every proof and compares bytes, so a change to the
// proof's bytes shows as a failing test, never as a silently new file.
//   build/dev/tests/cpp/gen_strict_range_vectors > tests/data/strict_range_vectors.json
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "curve/hash.hpp"
#include "src/api/api.hpp"
#include "strict/range_proof.hpp"
#include "strict/transcript.hpp"

using namespace vemo;
using curve::Point;
using curve::Scalar;

namespace {

std::string hex(const unsigned char* b, std::size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) (out += digits[b[i] >> 4]) += digits[b[i] & 15];
  return out;
}
template <std::size_t N>
std::string hex(const std::array<unsigned char, N>& b) {
  return hex(b.data(), N);
}
std::string hex(const std::string& s) { return hex(reinterpret_cast<const unsigned char*>(s.data()), s.size()); }

// A fixed scalar named by a text: SHA-512 of it, reduced modulo r.
Scalar named_scalar(const std::string& name) {
  const auto d = curve::sha512(reinterpret_cast<const unsigned char*>(name.data()), name.size());
  return strict::scalar_from_wide(d.data());
}

struct Input {
  std::string name, context;
  std::uint64_t bits;
  std::vector<std::uint64_t> values;
};

}  // namespace

int main() {
  const api::GHV gh = api::gen_GH();
  const std::vector<Input> inputs = {
      {"one value, 8 bits", "vector 1", 8, {200}},
      {"three values padded to four, 16 bits", "ledger 7 / transfer 12", 16, {0, 65535, 4660}},
      {"two values, 32 bits, empty context", "", 32, {1, 4294967295u}},
      {"two values, 64 bits", "vector 4", 64, {0, 18446744073709551615u}},
      {"five values padded to eight, 64 bits", "vector 5", 64, {1, 2, 3, 1u << 31, 9007199254740993u}},
  };
  nlohmann::ordered_json doc;
  doc["about"] = "Strict range proofs (docs/strict.md, Range proofs) for vemo's generator pair: inputs, the "
                 "nonces' random bytes R, the proof. Hex strings are bytes; values are decimal.";
  doc["g"] = hex(gh.g.serialize_compressed());
  doc["h"] = hex(gh.h.serialize_compressed());
  doc["vectors"] = nlohmann::ordered_json::array();
  for (const Input& in : inputs) {
    std::vector<Scalar> blindings;
    nlohmann::ordered_json v, values = nlohmann::ordered_json::array(), bl = nlohmann::ordered_json::array(),
                              cm = nlohmann::ordered_json::array();
    for (std::size_t j = 0; j < in.values.size(); ++j) {
      blindings.push_back(named_scalar(in.name + " blinding " + std::to_string(j)));
      values.push_back(std::to_string(in.values[j]));
      bl.push_back(hex(blindings.back().serialize()));
      const Point c = gh.g.scalar_mul_vartime(Scalar::from_u64(in.values[j]))
                          .add_point_vartime(gh.h.scalar_mul_vartime(blindings.back()));
      cm.push_back(hex(c.serialize_compressed()));
    }
    const auto R = named_scalar(in.name + " random").serialize();
    auto proof = strict::testing::range_prove_with_random(in.context, gh.g, gh.h, in.bits, in.values, blindings, R);
    if (!proof.ok()) {
      std::fprintf(stderr, "%s: %s\n", in.name.c_str(), proof.error().message.c_str());
      return 1;
    }
    v["name"] = in.name;
    v["bits"] = in.bits;
    v["context"] = hex(in.context);
    v["values"] = values;
    v["blindings"] = bl;
    v["commitments"] = cm;
    v["random"] = hex(R);
    v["proof"] = hex(proof.value());
    doc["vectors"].push_back(v);
  }
  std::puts(doc.dump(2).c_str());
  return 0;
}

#include "encoding.hpp"

namespace vemo::curve {

namespace {

// Hex digits by arithmetic rather than a table or a comparison chain: the
// same code encodes and decodes secret scalars, so neither a memory index
// nor a branch may depend on a digit.

// 0..15 -> '0'..'9', 'a'..'f'.
char hex_char(unsigned nibble) {
  const int n = (int)nibble;
  return (char)(n + '0' + (((9 - n) >> 8) & ('a' - '0' - 10)));
}

// The digit's value, and in `valid` all ones for 0-9 a-f A-F, zero
// otherwise.
unsigned hex_value(unsigned char ch, unsigned& valid) {
  const int c = ch;
  const int num = c ^ '0';
  const int num_mask = (num - 10) >> 8;  // all ones when c is '0'..'9'
  const int alpha = (c & ~32) - ('A' - 10);
  const int alpha_mask = ((alpha - 10) ^ (alpha - 16)) >> 8;  // all ones for a-f A-F
  valid = (unsigned)(num_mask | alpha_mask);
  return (unsigned)((num_mask & num) | (alpha_mask & alpha)) & 15;
}

}  // namespace

std::string hex_encode(const unsigned char* b, std::size_t n) {
  std::string s(2 * n, '0');
  for (std::size_t i = 0; i < n; ++i) {
    s[2 * i] = hex_char(b[i] >> 4);
    s[2 * i + 1] = hex_char(b[i] & 15);
  }
  return s;
}

bool hex_decode(std::string_view s, std::vector<unsigned char>& out) {
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  // Every digit is read; only whether all were digits is branched on.
  unsigned all_valid = ~0u;
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned v_hi, v_lo;
    const unsigned hi = hex_value((unsigned char)s[2 * i], v_hi);
    const unsigned lo = hex_value((unsigned char)s[2 * i + 1], v_lo);
    all_valid &= v_hi & v_lo;
    out[i] = (unsigned char)(hi << 4 | lo);
  }
  ct::declassify(all_valid);
  return all_valid == ~0u;
}

Result<Bn254Point, std::string> point_from_hex(std::string_view s) {
  if (s.size() != 64 && s.size() != 128) return Err{std::string("invalid point")};
  std::vector<unsigned char> b;
  if (!hex_decode(s, b)) return Err{std::string("malformed hex encoding")};
  auto p = Bn254Point::deserialize(b.data(), b.size());
  if (!p.ok()) return Err{"invalid point: " + PointFromBytesError{PointFromBytesError::Deserialization}.display()};
  return p.value();
}

Result<Bn254Scalar, std::string> scalar_from_hex(std::string_view s) {
  if (s.size() != 64) return Err{json::invalid_length(s.size(), "64")};
  std::vector<unsigned char> b;
  if (!hex_decode(s, b)) return Err{std::string("malformed hex encoding")};
  auto v = Bn254Scalar::deserialize(b.data(), b.size());
  return v.value();  // every 32-byte string is a scalar
}

nlohmann::ordered_json point_to_json(const Bn254Point& p) {
  auto b = p.serialize_compressed();
  nlohmann::ordered_json j;
  j["curve"] = "bn254";
  j["point"] = hex_encode(b.data(), b.size());
  return j;
}

nlohmann::ordered_json scalar_to_json(const Bn254Scalar& s) {
  auto b = s.serialize();
  nlohmann::ordered_json j;
  j["curve"] = "bn254";
  j["scalar"] = hex_encode(b.data(), b.size());
  return j;
}

nlohmann::ordered_json bigint_to_json(const BigInt& v) {
  auto b = v.to_bytes();
  return nlohmann::ordered_json(hex_encode(b.data(), b.size()));
}

std::string dump_pretty(const nlohmann::ordered_json& j) { return j.dump(2); }
std::string dump_pretty(const nlohmann::json& j) { return j.dump(2); }

namespace {
constexpr std::string_view kPointPrefix = R"({"curve":"bn254","point":")";
constexpr std::string_view kScalarPrefix = R"({"curve":"bn254","scalar":")";
constexpr std::string_view kSuffix = R"("})";
}  // namespace

Result<Bn254Point, json::JsonError> parse_string_to_scep256k1point(std::string_view s) {
  std::string text;
  text.reserve(kPointPrefix.size() + s.size() + kSuffix.size());
  text.append(kPointPrefix).append(s).append(kSuffix);
  json::Reader r(text);
  auto p = r.read_point();
  if (!p.ok()) return p;
  if (auto e = r.end(); !e.ok()) return Err{e.error()};
  return p;
}

Result<Bn254Scalar, json::JsonError> parse_string_to_scep256k1scalar(std::string_view s) {
  // The text of a secret scalar: 64 hex digits decode in constant time.
  // Anything else goes through the JSON reader, which names the fault (and
  // branches on the text as it scans it).
  if (s.size() == 64) {
    std::vector<unsigned char> b;
    const bool digits = hex_decode(s, b);
    if (digits) {
      Bn254Scalar v = Bn254Scalar::deserialize(b.data(), b.size()).value();
      ct::wipe(b.data(), b.size());
      return v;
    }
    ct::wipe(b.data(), b.size());
  }
  std::string text;
  text.reserve(kScalarPrefix.size() + s.size() + kSuffix.size());
  text.append(kScalarPrefix).append(s).append(kSuffix);
  json::Reader r(text);
  auto v = r.read_scalar();
  if (!v.ok()) return v;
  if (auto e = r.end(); !e.ok()) return Err{e.error()};
  return v;
}

std::string parse_scep256k1point_to_string(const Bn254Point& p) {
  auto b = p.serialize_compressed();
  return hex_encode(b.data(), b.size());
}

std::string parse_scep256k1scalar_to_string(const Bn254Scalar& s) {
  ct::Wiped<std::array<unsigned char, 32>> b(s.serialize());
  return hex_encode(b->data(), b->size());
}

}  // namespace vemo::curve

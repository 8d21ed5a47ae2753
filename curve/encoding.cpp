#include "encoding.hpp"

namespace vemo::curve {

std::string hex_encode(const unsigned char* b, std::size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s(2 * n, '0');
  for (std::size_t i = 0; i < n; ++i) {
    s[2 * i] = digits[b[i] >> 4];
    s[2 * i + 1] = digits[b[i] & 15];
  }
  return s;
}

namespace {
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool hex_decode(std::string_view s, std::vector<unsigned char>& out) {
  if (s.size() % 2) return false;
  out.resize(s.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = hex_digit(s[2 * i]), lo = hex_digit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[i] = (unsigned char)(hi * 16 + lo);
  }
  return true;
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
  auto b = s.serialize();
  return hex_encode(b.data(), b.size());
}

}  // namespace vemo::curve

#include "encoding.hpp"

#include <iterator>
#include <type_traits>

#include "lanes/decompress.hpp"

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
  // A batch being verified may have decoded its points beforehand, their
  // square roots side by side (lanes/decompress.hpp).
  if (const lanes::DecompressedPoints* t = lanes::installed_decompressed_points(); t && b.size() == 32)
    if (const Bn254Point* p = t->find_vartime(b.data())) return *p;
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

namespace vemo::json {

namespace {

constexpr const char* kPointFields[] = {"curve", "point"};
constexpr const char* kScalarFields[] = {"curve", "scalar"};

}  // namespace

Status Reader::read_curve_name() {
  auto s = read_str_value("curve name (constrained to be 'bn254')");
  if (!s.ok()) return Err{s.error()};
  if (s.value() != "bn254") return Err{error_here("belongs to " + s.value() + " curve, expected bn254 curve")};
  return ok();
}

template <class T>
Result<T, JsonError> Reader::read_curve_value(bool is_point) {
  const char* value_key = is_point ? "point" : "scalar";
  T value{};
  auto read_value = [&]() -> Status {
    auto s = read_str_value(is_point ? "point of bn254 curve" : "scalar value of bn254 curve");
    if (!s.ok()) return Err{s.error()};
    if constexpr (std::is_same_v<T, curve::Bn254Point>) {
      auto p = curve::point_from_hex(s.value());
      if (!p.ok()) return Err{error_here(p.error())};
      value = p.value();
    } else {
      auto v = curve::scalar_from_hex(s.value());
      if (!v.ok()) return Err{error_here(v.error())};
      value = v.value();
    }
    return ok();
  };
  const int c = peek_ws();
  if (c == -1) return Err{error_peek("EOF while parsing a value")};
  if (c == '[') {
    // [curve, value] and nothing more.
    if (auto st = enter(); !st.ok()) return Err{st.error()};
    eat();
    bool first = true;
    int stage = 0;
    for (; stage < 3; ++stage) {
      auto more = next_element(first);
      if (!more.ok()) return Err{more.error()};
      if (!more.value()) break;
      Status st = stage == 0 ? read_curve_name() : stage == 1 ? read_value() : skip_value();
      if (!st.ok()) return Err{st.error()};
    }
    leave();
    if (stage == 3) return Err{seq_error(std::string(value_key) + " consist of too many fields")};
    if (stage < 2)
      return Err{seq_error(missing_field(stage == 0 ? "curve name" : (is_point ? "point value" : "scalar value")))};
    if (auto st = close_seq(); !st.ok()) return Err{st.error()};
    return value;
  }
  if (c != '{') return Err{invalid_type_here(is_point ? "point of bn254 curve" : "scalar of bn254 curve")};
  if (auto st = enter(); !st.ok()) return Err{st.error()};
  eat();
  const std::vector<const char*> names = is_point ? std::vector<const char*>(std::begin(kPointFields), std::end(kPointFields))
                                                  : std::vector<const char*>(std::begin(kScalarFields), std::end(kScalarFields));
  bool have_curve = false, have_value = false, first = true;
  std::string key;
  for (;;) {
    auto more = next_key(first, key);
    if (!more.ok()) return Err{more.error()};
    if (!more.value()) break;
    const bool is_curve = key == "curve";
    const bool is_value = key == value_key;
    if (!is_curve && !is_value) return Err{record_error(unknown_field(key, names))};
    if (is_curve && have_curve) return Err{record_error(duplicate_field("curve_name"))};
    if (is_value && have_value) return Err{record_error(duplicate_field(value_key))};
    if (auto st = expect_colon(); !st.ok()) return Err{st.error()};
    Status st = is_curve ? read_curve_name() : read_value();
    if (!st.ok()) return Err{st.error()};
    (is_curve ? have_curve : have_value) = true;
  }
  leave();
  if (!have_curve) return Err{record_error(missing_field("curve_name"))};
  if (!have_value) return Err{record_error(missing_field(value_key))};
  eat();
  return value;
}

Result<curve::Bn254Point, JsonError> Reader::read_point() { return read_curve_value<curve::Bn254Point>(true); }
Result<curve::Bn254Scalar, JsonError> Reader::read_scalar() { return read_curve_value<curve::Bn254Scalar>(false); }

Result<curve::BigInt, JsonError> Reader::read_bigint() {
  auto s = read_str_value("bigint");
  if (!s.ok()) return Err{s.error()};
  std::vector<unsigned char> bytes;
  if (!curve::hex_decode(s.value(), bytes)) return Err{error_here("malformed hex encoding")};
  return curve::BigInt::from_bytes(bytes);
}

Result<std::vector<curve::Bn254Point>, JsonError> Reader::read_point_vec() {
  const int c = peek_ws();
  if (c == -1) return Err{error_peek("EOF while parsing a value")};
  if (c != '[') return Err{invalid_type_here("a sequence")};
  if (auto st = enter(); !st.ok()) return Err{st.error()};
  eat();
  std::vector<curve::Bn254Point> out;
  auto st = read_seq([&]() -> Status {
    auto p = read_point();
    if (!p.ok()) return Err{p.error()};
    out.push_back(p.value());
    return ok();
  });
  leave();
  if (!st.ok()) return Err{st.error()};
  return out;
}

}  // namespace vemo::json

// Text and JSON forms of scalars, points and big integers, both ways.
//
// Byte forms are big-endian. Point text: lowercase hex of the 32-byte
// compressed form (input also takes the 64-byte uncompressed form, and
// either case). Scalar text: 64 hex digits of the 32 big-endian bytes,
// reduced modulo r on input. JSON objects: {"curve":"bn254","point":…}
// and {"curve":"bn254","scalar":…}; a BigInt is a JSON string of the hex of
// its minimal bytes ("00" for zero).
//
// Reading: json::Reader is the reader every record reader uses, the JSON
// syntax of json_read.hpp plus these values. It lives here rather than in
// json_read.hpp so that the JSON layer depends on no curve type and the
// curve values' encodings, written and read, stay in one unit.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bigint.hpp"
#include "json_read.hpp"
#include "point.hpp"
#include "result.hpp"
#include "scalar.hpp"

namespace vemo::curve {

std::string hex_encode(const unsigned char* b, std::size_t n);
// Even length, digits 0-9 a-f A-F; false otherwise.
bool hex_decode(std::string_view s, std::vector<unsigned char>& out);

// Decoders of the JSON string values; the error is the message text.
Result<Bn254Point, std::string> point_from_hex(std::string_view s);
Result<Bn254Scalar, std::string> scalar_from_hex(std::string_view s);

// JSON writers (member order as written; dumped with two-space indentation).
nlohmann::ordered_json point_to_json(const Bn254Point& p);
nlohmann::ordered_json scalar_to_json(const Bn254Scalar& s);
nlohmann::ordered_json bigint_to_json(const BigInt& b);
// The indented layout: two spaces per level, ": " after keys, "[]" for an
// empty array, no final line break.
std::string dump_pretty(const nlohmann::ordered_json& j);
std::string dump_pretty(const nlohmann::json& j);

// Module text conversions: a bare hex string read as the value of a point
// (or scalar) JSON object; errors carry line and column in that object.
Result<Bn254Point, json::JsonError> parse_string_to_scep256k1point(std::string_view s);
Result<Bn254Scalar, json::JsonError> parse_string_to_scep256k1scalar(std::string_view s);
std::string parse_scep256k1point_to_string(const Bn254Point& p);
std::string parse_scep256k1scalar_to_string(const Bn254Scalar& s);

}  // namespace vemo::curve

namespace vemo::json {

// The JSON syntax and records of TextReader, and the curve values records
// hold. A point or scalar is the object {"curve":"bn254","point":…} (or
// "scalar"), members in any order, or the array ["bn254", …]; a big integer
// is a hex string; a point list is an array of points. Errors name the
// fault in the reader's wording, with its position. It branches on the
// text as it scans it, so it reads public records only (the text of a
// secret scalar goes to curve::parse_string_to_scep256k1scalar, which
// decodes well-formed text in constant time).
class Reader : public TextReader {
 public:
  using TextReader::TextReader;

  Result<curve::Bn254Point, JsonError> read_point();
  Result<curve::Bn254Scalar, JsonError> read_scalar();
  Result<curve::BigInt, JsonError> read_bigint();
  Result<std::vector<curve::Bn254Point>, JsonError> read_point_vec();

 private:
  // Reads a curve-name value ("bn254").
  Status read_curve_name();
  template <class T>
  Result<T, JsonError> read_curve_value(bool is_point);
};

// Parses a whole text as one record/value with `read`, then requires the end.
template <class T>
Result<T, JsonError> parse_all(std::string_view text, const std::function<Result<T, JsonError>(Reader&)>& read) {
  Reader r(text);
  auto v = read(r);
  if (!v.ok()) return v;
  auto e = r.end();
  if (!e.ok()) return Err{e.error()};
  return v;
}

}  // namespace vemo::json

// Text and JSON forms of scalars, points and big integers.
//
// Byte forms are big-endian. Point text: lowercase hex of the 32-byte
// compressed form (input also takes the 64-byte uncompressed form, and
// either case). Scalar text: 64 hex digits of the 32 big-endian bytes,
// reduced modulo r on input. JSON objects: {"curve":"bn254","point":…}
// and {"curve":"bn254","scalar":…}; a BigInt is a JSON string of the hex of
// its minimal bytes ("00" for zero).
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

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

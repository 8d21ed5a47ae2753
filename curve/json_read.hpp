// Reading JSON text into curve values and proof records.
//
// A small streaming reader that reports failures in one family of wording,
// shared by every record's reader:
//   missing field `NAME`, duplicate field `NAME`, unknown field `NAME`, expected …,
//   invalid type: …, expected …, invalid length N, expected …,
//   trailing characters, EOF while parsing a value, expected `,` or `}`, …
// Every error carries a line and column. Convention: lines count from 1;
// the column is the number of bytes read on that line when the error was
// found, that is the 1-based position of the last character read (0 just
// after a line break). Errors found by looking at the next character
// without reading it (syntax errors) point at that character instead.
//
// Records are read the way plain records expect: members by exact name in
// any order, members with other names skipped (their values still checked
// for syntax), or a JSON array of the values in member order.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bigint.hpp"
#include "point.hpp"
#include "result.hpp"
#include "scalar.hpp"

namespace vemo::json {

struct JsonError {
  std::string message;
  std::size_t line = 0;
  std::size_t column = 0;
  // Error("message", line: L, column: C)
  std::string debug() const;
};

struct Unit {};
using Status = Result<Unit, JsonError>;
inline Status ok() { return Unit{}; }

class Reader {
 public:
  explicit Reader(std::string_view text) : s_(text) {}

  // A record with the given member names. read_member(i) reads the value of
  // member i (the reader stands before it). `name` is the record's type name
  // as it appears in messages ("struct NAME", "struct NAME with N elements").
  Status read_struct(const char* name, const std::vector<const char*>& members,
                     const std::function<Status(std::size_t)>& read_member);
  // A JSON array read element by element; `expecting` names it in the
  // invalid-type message ("a sequence").
  Status read_seq(const std::function<Status()>& read_element);

  Result<curve::Bn254Point, JsonError> read_point();
  Result<curve::Bn254Scalar, JsonError> read_scalar();
  Result<curve::BigInt, JsonError> read_bigint();
  Result<std::vector<curve::Bn254Point>, JsonError> read_point_vec();

  // Skips any value, checking its syntax.
  Status skip_value();
  // Only whitespace may follow a complete value.
  Status end();

 private:
  struct Pos {
    std::size_t line, column;
  };
  Pos position_of(std::size_t index) const;
  JsonError error_here(std::string msg) const;  // at the last character read
  JsonError error_peek(std::string msg) const;  // at the next character
  JsonError fix(JsonError e) const;             // positions an unpositioned error here

  int peek_ws();  // skips whitespace; next byte or -1
  int peek() const { return i_ < s_.size() ? (unsigned char)s_[i_] : -1; }
  void eat() { ++i_; }
  Result<std::string, JsonError> parse_string_body();  // after the opening quote
  Status parse_ident(const char* rest);
  Result<std::string, JsonError> parse_number_unexpected(bool positive);
  JsonError invalid_type_here(const std::string& expected);  // consumes a scalar
  Result<std::string, JsonError> read_str_value(const std::string& expected);
  Status enter();
  void leave() { ++depth_; }
  Result<bool, JsonError> next_key(bool& first, std::string& key);
  Status expect_colon();
  Result<bool, JsonError> next_element(bool& first);
  Status close_seq();
  JsonError record_error(std::string msg);
  JsonError seq_error(std::string msg);

  // Reads a curve-name value ("bn254").
  Status read_curve_name();
  template <class T>
  Result<T, JsonError> read_curve_value(bool is_point);

  std::string_view s_;
  std::size_t i_ = 0;
  int depth_ = 128;
};

// The message texts, built in one place for every reader.
std::string missing_field(std::string_view name);
std::string duplicate_field(std::string_view name);
std::string unknown_field(std::string_view name, const std::vector<const char*>& expected);
std::string invalid_length(std::size_t len, std::string_view expected);

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

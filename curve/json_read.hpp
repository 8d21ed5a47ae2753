// Reading JSON text: its syntax, records and sequences.
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
//
// This layer knows no value type of the layers above it. The reader that
// record readers use, json::Reader, adds the curve values (points, scalars,
// big integers) in curve/encoding.hpp, beside the rest of their encodings.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "result.hpp"

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

// The syntax of JSON and the shape of records and sequences. Readers of
// typed values derive from it and build on the protected steps.
class TextReader {
 public:
  explicit TextReader(std::string_view text) : s_(text) {}

  // A record with the given member names. read_member(i) reads the value of
  // member i (the reader stands before it). `name` is the record's type name
  // as it appears in messages ("struct NAME", "struct NAME with N elements").
  Status read_struct(const char* name, const std::vector<const char*>& members,
                     const std::function<Status(std::size_t)>& read_member);
  // A JSON array read element by element (after its opening bracket, up to
  // and including the closing one); read_element returns an error to stop.
  Status read_seq(const std::function<Status()>& read_element);

  // Skips any value, checking its syntax.
  Status skip_value();
  // Only whitespace may follow a complete value.
  Status end();

 protected:
  // The steps a value reader is built from. Errors leave the reader where it
  // stopped; nothing reads on after an error.
  JsonError error_here(std::string msg) const;  // at the last character read
  JsonError error_peek(std::string msg) const;  // at the next character

  int peek_ws();  // skips whitespace; next byte or -1
  void eat() { ++i_; }
  // Consumes the scalar value (or names the container) that stands next
  // and reports it as not the `expected` kind.
  JsonError invalid_type_here(const std::string& expected);
  // A JSON string value, or an invalid-type error naming `expected`.
  Result<std::string, JsonError> read_str_value(const std::string& expected);
  // Entering and leaving a container, bounded in depth.
  Status enter();
  void leave() { ++depth_; }
  // Before the next member: true with the key read, false at the closing
  // brace (not eaten).
  Result<bool, JsonError> next_key(bool& first, std::string& key);
  Status expect_colon();
  // Before the next element: true when one follows, false at the closing
  // bracket (not eaten).
  Result<bool, JsonError> next_element(bool& first);
  // The closing bracket after the elements a reader wanted.
  Status close_seq();
  // Errors found by the record and array readers themselves (missing,
  // duplicate, unknown member; too few or too many values), positioned once
  // the closing brace or bracket, if it stands next, is read.
  JsonError record_error(std::string msg);
  JsonError seq_error(std::string msg);

 private:
  struct Pos {
    std::size_t line, column;
  };
  Pos position_of(std::size_t index) const;
  JsonError fix(JsonError e) const;  // positions an unpositioned error here

  int peek() const { return i_ < s_.size() ? (unsigned char)s_[i_] : -1; }
  Result<std::string, JsonError> parse_string_body();  // after the opening quote
  Status parse_ident(const char* rest);
  Result<std::string, JsonError> parse_number_unexpected(bool positive);

  std::string_view s_;
  std::size_t i_ = 0;
  int depth_ = 128;
};

// The message texts, built in one place for every reader.
std::string missing_field(std::string_view name);
std::string duplicate_field(std::string_view name);
std::string unknown_field(std::string_view name, const std::vector<const char*>& expected);
std::string invalid_length(std::size_t len, std::string_view expected);

}  // namespace vemo::json

#include "json_read.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vemo::json {

namespace {

// The debug form of a message: double-quoted with escapes for quote,
// backslash and control characters; other characters stay as they are.
std::string quote_debug(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buf[12];
          std::snprintf(buf, sizeof buf, "\\u{%x}", c);
          out += buf;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}

}  // namespace

std::string JsonError::debug() const {
  return "Error(" + quote_debug(message) + ", line: " + std::to_string(line) + ", column: " + std::to_string(column) + ")";
}

std::string missing_field(std::string_view name) { return "missing field `" + std::string(name) + "`"; }
std::string duplicate_field(std::string_view name) { return "duplicate field `" + std::string(name) + "`"; }
std::string invalid_length(std::size_t len, std::string_view expected) {
  return "invalid length " + std::to_string(len) + ", expected " + std::string(expected);
}
std::string unknown_field(std::string_view name, const std::vector<const char*>& expected) {
  std::string m = "unknown field `" + std::string(name) + "`, ";
  if (expected.empty()) return m + "there are no fields";
  if (expected.size() == 1) return m + "expected `" + expected[0] + "`";
  if (expected.size() == 2) return m + "expected `" + expected[0] + "` or `" + expected[1] + "`";
  m += "expected one of ";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (i) m += ", ";
    m.append("`").append(expected[i]).append("`");
  }
  return m;
}

TextReader::Pos TextReader::position_of(std::size_t index) const {
  Pos p{1, 0};
  for (std::size_t k = 0; k < index && k < s_.size(); ++k) {
    if (s_[k] == '\n') {
      ++p.line;
      p.column = 0;
    } else {
      ++p.column;
    }
  }
  return p;
}

JsonError TextReader::error_here(std::string msg) const {
  Pos p = position_of(i_);
  return JsonError{std::move(msg), p.line, p.column};
}

JsonError TextReader::error_peek(std::string msg) const {
  Pos p = position_of(std::min(s_.size(), i_ + 1));
  return JsonError{std::move(msg), p.line, p.column};
}

JsonError TextReader::fix(JsonError e) const {
  if (e.line == 0) {
    Pos p = position_of(i_);
    e.line = p.line;
    e.column = p.column;
  }
  return e;
}

int TextReader::peek_ws() {
  while (i_ < s_.size()) {
    const char c = s_[i_];
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r')
      ++i_;
    else
      return (unsigned char)c;
  }
  return -1;
}

Status TextReader::enter() {
  if (--depth_ == 0) return Err{error_peek("recursion limit exceeded")};
  return ok();
}

Result<std::string, JsonError> TextReader::parse_string_body() {
  std::string out;
  for (;;) {
    if (i_ >= s_.size()) return Err{error_here("EOF while parsing a string")};
    const unsigned char c = (unsigned char)s_[i_++];
    if (c == '"') return out;
    if (c < 0x20) return Err{error_here("control character (\\u0000-\\u001F) found while parsing a string")};
    if (c != '\\') {
      out += (char)c;
      continue;
    }
    if (i_ >= s_.size()) return Err{error_here("EOF while parsing a string")};
    const char e = s_[i_++];
    switch (e) {
      case '"': out += '"'; break;
      case '\\': out += '\\'; break;
      case '/': out += '/'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'u': {
        auto hex4 = [&](unsigned& v) -> Status {
          v = 0;
          for (int k = 0; k < 4; ++k) {
            if (i_ >= s_.size()) return Err{error_here("EOF while parsing a string")};
            const char h = s_[i_++];
            int d = (h >= '0' && h <= '9') ? h - '0' : (h >= 'a' && h <= 'f') ? h - 'a' + 10 : (h >= 'A' && h <= 'F') ? h - 'A' + 10 : -1;
            if (d < 0) return Err{error_here("invalid escape")};
            v = v * 16 + (unsigned)d;
          }
          return ok();
        };
        unsigned cp;
        if (auto st = hex4(cp); !st.ok()) return Err{st.error()};
        if (cp >= 0xDC00 && cp <= 0xDFFF) return Err{error_here("lone leading surrogate in hex escape")};
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          if (i_ + 1 >= s_.size() || s_[i_] != '\\' || s_[i_ + 1] != 'u') {
            if (i_ >= s_.size()) return Err{error_here("EOF while parsing a string")};
            return Err{error_here("unexpected end of hex escape")};
          }
          i_ += 2;
          unsigned lo;
          if (auto st = hex4(lo); !st.ok()) return Err{st.error()};
          if (lo < 0xDC00 || lo > 0xDFFF) return Err{error_here("lone leading surrogate in hex escape")};
          cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        }
        // UTF-8 encode
        if (cp < 0x80) {
          out += (char)cp;
        } else if (cp < 0x800) {
          out += (char)(0xC0 | (cp >> 6));
          out += (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
          out += (char)(0xE0 | (cp >> 12));
          out += (char)(0x80 | ((cp >> 6) & 0x3F));
          out += (char)(0x80 | (cp & 0x3F));
        } else {
          out += (char)(0xF0 | (cp >> 18));
          out += (char)(0x80 | ((cp >> 12) & 0x3F));
          out += (char)(0x80 | ((cp >> 6) & 0x3F));
          out += (char)(0x80 | (cp & 0x3F));
        }
        break;
      }
      default:
        return Err{error_here("invalid escape")};
    }
  }
}

Status TextReader::parse_ident(const char* rest) {
  for (const char* p = rest; *p; ++p) {
    if (i_ >= s_.size()) return Err{error_here("EOF while parsing a value")};
    if (s_[i_++] != *p) return Err{error_here("expected ident")};
  }
  return ok();
}

// Parses a number (the reader stands after a '-' when !positive) and returns
// how it is named in an invalid-type message.
Result<std::string, JsonError> TextReader::parse_number_unexpected(bool positive) {
  const std::size_t start = positive ? i_ : i_ - 1;
  auto digit = [&](std::size_t k) { return k < s_.size() && s_[k] >= '0' && s_[k] <= '9'; };
  if (i_ >= s_.size()) return Err{error_here("EOF while parsing a value")};
  if (!digit(i_)) return Err{error_peek("invalid number")};
  bool is_float = false;
  if (s_[i_] == '0') {
    ++i_;
    if (digit(i_)) return Err{error_peek("invalid number")};
  } else {
    while (digit(i_)) ++i_;
  }
  if (i_ < s_.size() && s_[i_] == '.') {
    ++i_;
    if (!digit(i_)) {
      if (i_ >= s_.size()) return Err{error_here("EOF while parsing a value")};
      return Err{error_peek("invalid number")};
    }
    while (digit(i_)) ++i_;
    is_float = true;
  }
  if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
    ++i_;
    if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
    if (!digit(i_)) {
      if (i_ >= s_.size()) return Err{error_here("EOF while parsing a value")};
      return Err{error_peek("invalid number")};
    }
    while (digit(i_)) ++i_;
    is_float = true;
  }
  std::string text(s_.substr(start, i_ - start));
  if (!is_float) {
    // Integers that fit 64 bits are integers; larger ones read as floats.
    errno = 0;
    char* end = nullptr;
    if (positive) {
      unsigned long long v = std::strtoull(text.c_str(), &end, 10);
      if (errno == 0) return "integer `" + std::to_string(v) + "`";
    } else {
      long long v = std::strtoll(text.c_str(), &end, 10);
      if (errno == 0) return "integer `" + std::to_string(v) + "`";
    }
  }
  const double d = std::strtod(text.c_str(), nullptr);
  if (std::isinf(d)) return Err{error_here("number out of range")};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  // Shortest form that reads back the same.
  for (int prec = 1; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, d);
    if (std::strtod(buf, nullptr) == d) break;
  }
  std::string f = buf;
  if (f.find_first_of(".e") == std::string::npos && f.find("inf") == std::string::npos) f += ".0";
  return "floating point `" + f + "`";
}

JsonError TextReader::invalid_type_here(const std::string& expected) {
  const int c = peek();
  std::string what;
  switch (c) {
    case 'n':
      eat();
      if (auto st = parse_ident("ull"); !st.ok()) return st.error();
      what = "unit value";
      break;
    case 't':
      eat();
      if (auto st = parse_ident("rue"); !st.ok()) return st.error();
      what = "boolean `true`";
      break;
    case 'f':
      eat();
      if (auto st = parse_ident("alse"); !st.ok()) return st.error();
      what = "boolean `false`";
      break;
    case '-': {
      eat();
      auto n = parse_number_unexpected(false);
      if (!n.ok()) return n.error();
      what = n.value();
      break;
    }
    case '"': {
      eat();
      auto s = parse_string_body();
      if (!s.ok()) return s.error();
      what = "string " + quote_debug(s.value());
      break;
    }
    case '[':
      what = "sequence";
      break;
    case '{':
      what = "map";
      break;
    default:
      if (c >= '0' && c <= '9') {
        auto n = parse_number_unexpected(true);
        if (!n.ok()) return n.error();
        what = n.value();
        break;
      }
      return error_peek("expected value");
  }
  return error_here("invalid type: " + what + ", expected " + expected);
}

// Steps shared by every object and array reader. Errors leave the reader
// where it stopped; nothing reads on after an error.

// Before the next member: true with the key read (the reader after it),
// false at the closing brace (not eaten).
Result<bool, JsonError> TextReader::next_key(bool& first, std::string& key) {
  int p = peek_ws();
  if (p == '}') return false;
  if (p == ',' && !first) {
    eat();
    p = peek_ws();
  } else if (p == -1) {
    return Err{error_peek("EOF while parsing an object")};
  } else if (!first) {
    return Err{error_peek("expected `,` or `}`")};
  }
  first = false;
  if (p == '}') return Err{error_peek("trailing comma")};
  if (p == -1) return Err{error_peek("EOF while parsing a value")};
  if (p != '"') return Err{error_peek("key must be a string")};
  eat();
  auto k = parse_string_body();
  if (!k.ok()) return Err{k.error()};
  key = std::move(k.value());
  return true;
}

Status TextReader::expect_colon() {
  const int p = peek_ws();
  if (p == ':') {
    eat();
    return ok();
  }
  return Err{p == -1 ? error_peek("EOF while parsing an object") : error_peek("expected `:`")};
}

// Before the next element: true when one follows (the reader before it),
// false at the closing bracket (not eaten).
Result<bool, JsonError> TextReader::next_element(bool& first) {
  int p = peek_ws();
  if (p == ']') return false;
  if (p == ',' && !first) {
    eat();
    p = peek_ws();
  } else if (p == -1) {
    return Err{error_peek("EOF while parsing a list")};
  } else if (!first) {
    return Err{error_peek("expected `,` or `]`")};
  }
  first = false;
  if (p == ']') return Err{error_peek("trailing comma")};
  if (p == -1) return Err{error_peek("EOF while parsing a value")};
  return true;
}

// After the elements a reader wanted: the closing bracket, or the text
// that stands where it should be.
Status TextReader::close_seq() {
  const int p = peek_ws();
  if (p == ']') {
    eat();
    return ok();
  }
  if (p == ',') {
    eat();
    if (peek_ws() == ']') return Err{error_peek("trailing comma")};
    return Err{error_peek("trailing characters")};
  }
  if (p == -1) return Err{error_peek("EOF while parsing a list")};
  return Err{error_peek("trailing characters")};
}

// An error the record reader found itself (missing, duplicate or unknown
// member): positioned once the closing brace, if it stands next, is read.
JsonError TextReader::record_error(std::string msg) {
  if (peek_ws() == '}') eat();
  return fix(JsonError{std::move(msg), 0, 0});
}

// An error of an array reader (too few or too many values): positioned
// once the closing bracket, if it stands next, is read.
JsonError TextReader::seq_error(std::string msg) {
  if (peek_ws() == ']') eat();
  return fix(JsonError{std::move(msg), 0, 0});
}

Status TextReader::skip_value() {
  const int c = peek_ws();
  switch (c) {
    case -1:
      return Err{error_peek("EOF while parsing a value")};
    case 'n':
      eat();
      return parse_ident("ull");
    case 't':
      eat();
      return parse_ident("rue");
    case 'f':
      eat();
      return parse_ident("alse");
    case '"': {
      eat();
      auto s = parse_string_body();
      if (!s.ok()) return Err{s.error()};
      return ok();
    }
    case '[': {
      if (auto st = enter(); !st.ok()) return st;
      eat();
      auto st = read_seq([&]() { return skip_value(); });
      leave();
      return st;
    }
    case '{': {
      if (auto st = enter(); !st.ok()) return st;
      eat();
      bool first = true;
      std::string key;
      for (;;) {
        auto more = next_key(first, key);
        if (!more.ok()) return Err{more.error()};
        if (!more.value()) break;
        if (auto st = expect_colon(); !st.ok()) return st;
        if (auto st = skip_value(); !st.ok()) return st;
      }
      eat();
      leave();
      return ok();
    }
    default:
      if (c == '-' || (c >= '0' && c <= '9')) {
        if (c == '-') eat();
        auto n = parse_number_unexpected(c != '-');
        if (!n.ok()) return Err{n.error()};
        return ok();
      }
      return Err{error_peek("expected value")};
  }
}

// Reads array elements after the opening bracket has been eaten, then the
// closing bracket. read_element returns an error to stop.
Status TextReader::read_seq(const std::function<Status()>& read_element) {
  bool first = true;
  for (;;) {
    auto more = next_element(first);
    if (!more.ok()) return Err{more.error()};
    if (!more.value()) break;
    if (auto st = read_element(); !st.ok()) return st;
  }
  eat();
  return ok();
}

Status TextReader::read_struct(const char* name, const std::vector<const char*>& members,
                           const std::function<Status(std::size_t)>& read_member) {
  const int c = peek_ws();
  if (c == -1) return Err{error_peek("EOF while parsing a value")};
  const std::string sname = std::string("struct ") + name;
  if (c == '[') {
    // Array form: the members in order; fewer is an invalid length, more
    // is trailing characters.
    if (auto st = enter(); !st.ok()) return st;
    eat();
    bool first = true;
    std::size_t k = 0;
    for (; k < members.size(); ++k) {
      auto more = next_element(first);
      if (!more.ok()) return Err{more.error()};
      if (!more.value()) break;
      if (auto st = read_member(k); !st.ok()) return st;
    }
    leave();
    if (k < members.size())
      return Err{seq_error(invalid_length(k, sname + " with " + std::to_string(members.size()) + " elements"))};
    return close_seq();
  }
  if (c != '{') return Err{invalid_type_here(sname)};
  if (auto st = enter(); !st.ok()) return st;
  eat();
  std::vector<bool> seen(members.size(), false);
  bool first = true;
  std::string key;
  for (;;) {
    auto more = next_key(first, key);
    if (!more.ok()) return Err{more.error()};
    if (!more.value()) break;
    std::size_t idx = members.size();
    for (std::size_t k = 0; k < members.size(); ++k)
      if (key == members[k]) idx = k;
    if (idx < members.size() && seen[idx]) return Err{record_error(duplicate_field(members[idx]))};
    if (auto st = expect_colon(); !st.ok()) return st;
    Status st = idx < members.size() ? read_member(idx) : skip_value();
    if (!st.ok()) return st;
    if (idx < members.size()) seen[idx] = true;
  }
  leave();
  for (std::size_t k = 0; k < members.size(); ++k)
    if (!seen[k]) return Err{record_error(missing_field(members[k]))};
  eat();
  return ok();
}

Status TextReader::end() {
  if (peek_ws() != -1) return Err{error_peek("trailing characters")};
  return ok();
}

Result<std::string, JsonError> TextReader::read_str_value(const std::string& expected) {
  const int c = peek_ws();
  if (c == -1) return Err{error_peek("EOF while parsing a value")};
  if (c != '"') return Err{invalid_type_here(expected)};
  eat();
  return parse_string_body();
}

}  // namespace vemo::json

// The member tables behind the proof records' JSON: one table writes a
// record and reads it back, members in table order on the way out, in any
// order (or as an array in table order) on the way in, with the reader's
// messages and positions, and missing members reported in table order.
#include <gtest/gtest.h>

#include <string>

#include "curve/encoding.hpp"
#include "curve/proofs/json_record.hpp"

using namespace vemo;
using namespace vemo::curve;
using namespace vemo::proofs;

namespace {

// A record with every kind of member, one of them a nested record.
struct Inner {
  std::vector<Point> ps;
  BigInt n;
};
constexpr Member<Inner> kInner[] = {
    member<&Inner::ps>("ps", as_point_list),
    member<&Inner::n>("n", as_bigint),
};
struct InnerKind {
  using Type = Inner;
  static nlohmann::ordered_json write(const Inner& v) { return write_record(kInner, v); }
  static Result<Inner, json::JsonError> read(json::Reader& r) { return read_record(r, "Inner", kInner); }
};

struct Outer {
  Point p;
  Scalar s;
  Inner inner;
};
constexpr Member<Outer> kOuter[] = {
    member<&Outer::p>("p", as_point),
    member<&Outer::s>("s", as_scalar),
    member<&Outer::inner>("inner", InnerKind{}),
};

const std::string G = std::string(63, '0') + "1";
const std::string PT = R"({"curve":"bn254","point":")" + G + R"("})";
const std::string SC = R"({"curve":"bn254","scalar":")" + std::string(63, '0') + R"(5"})";

std::string err(const std::string& msg, std::size_t line, std::size_t col) {
  return "Error(\"" + msg + "\", line: " + std::to_string(line) + ", column: " + std::to_string(col) + ")";
}

// The record read from the text and written again (compact), or the error.
std::string read_back(const std::string& text) {
  auto v = parse_record(text, "Outer", kOuter);
  if (!v.ok()) return v.error().debug();
  return write_record(kOuter, v.value()).dump();
}

}  // namespace

TEST(MemberTable, WritesMembersInTableOrder) {
  Outer v{Point::generator(), Scalar::from_u64(5), Inner{{}, BigInt(5)}};
  // An empty point list is an empty array, not null.
  EXPECT_EQ(write_record(kOuter, v).dump(), R"({"p":)" + PT + R"(,"s":)" + SC + R"(,"inner":{"ps":[],"n":"05"}})");
  v.inner.ps = {Point::generator(), Point::generator()};
  EXPECT_EQ(write_record(kOuter, v).dump(),
            R"({"p":)" + PT + R"(,"s":)" + SC + R"(,"inner":{"ps":[)" + PT + "," + PT + R"(],"n":"05"}})");
  // The indented form reads back to the same record.
  EXPECT_EQ(read_back(dump_pretty(write_record(kOuter, v))), write_record(kOuter, v).dump());
}

TEST(MemberTable, ReadsWhatTheReaderAccepts) {
  const std::string canonical = R"({"p":)" + PT + R"(,"s":)" + SC + R"(,"inner":{"ps":[)" + PT + R"(],"n":"05"}})";
  const std::string duplicate_prefix = R"({"p":)" + PT + R"(,"p")";
  const std::string nested_missing = R"({"p":)" + PT + R"(,"s":)" + SC + R"(,"inner":{"ps":[]}})";
  const std::string only_s = R"({"s":)" + SC + "}";
  const std::string no_inner = R"({"s":)" + SC + R"(,"p":)" + PT + "}";
  const std::string short_array = "[" + PT + "," + SC + "]";
  const std::string bad_hex_prefix = R"({"p":)" + PT + R"(,"s":)" + SC + R"(,"inner":{"ps":[],"n":"5x")";
  struct Case {
    std::string text, want;
  } cases[] = {
      {canonical, canonical},
      // Any order, other names skipped, the nested record too.
      {R"({"inner":{"n":"05","zz":1,"ps":[)" + PT + R"(]},"zz":[1,{"q":null}],"s":)" + SC + R"(,"p":)" + PT + "}",
       canonical},
      // The array form, in table order, nested as well.
      {"[" + PT + "," + SC + ",[[" + PT + R"(],"05"]])", canonical},
      // Several missing: the first in table order is named.
      {only_s, err("missing field `p`", 1, only_s.size())},
      {no_inner, err("missing field `inner`", 1, no_inner.size())},
      {nested_missing, err("missing field `n`", 1, nested_missing.size() - 1)},
      // Several wrong: reading stops at the first one in the text.
      {R"({"s":5,"p":7})", err("invalid type: integer `5`, expected scalar of bn254 curve", 1, 6)},
      {duplicate_prefix + ":" + PT + "}", err("duplicate field `p`", 1, duplicate_prefix.size())},
      {short_array, err("invalid length 2, expected struct Outer with 3 elements", 1, short_array.size())},
      {"null", err("invalid type: unit value, expected struct Outer", 1, 4)},
      {bad_hex_prefix + "}}", err("malformed hex encoding", 1, bad_hex_prefix.size())},
  };
  for (const auto& c : cases) EXPECT_EQ(read_back(c.text), c.want) << c.text;
}

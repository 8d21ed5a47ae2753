// The JSON reader: point and scalar objects in both forms, records, and the
// exact messages with their positions.
#include <gtest/gtest.h>

#include "curve/encoding.hpp"
#include "curve/json_read.hpp"

using namespace vemo;
using namespace vemo::curve;

namespace {

const std::string G = std::string(63, '0') + "1";

std::string point_result(const std::string& text) {
  json::Reader r(text);
  auto p = r.read_point();
  if (!p.ok()) return p.error().debug();
  if (auto e = r.end(); !e.ok()) return e.error().debug();
  return "ok:" + parse_scep256k1point_to_string(p.value());
}

std::string scalar_result(const std::string& text) {
  json::Reader r(text);
  auto s = r.read_scalar();
  if (!s.ok()) return s.error().debug();
  if (auto e = r.end(); !e.ok()) return e.error().debug();
  return "ok:" + parse_scep256k1scalar_to_string(s.value());
}

std::string err(const char* msg, int line, int col) {
  return std::string("Error(\"") + msg + "\", line: " + std::to_string(line) + ", column: " + std::to_string(col) + ")";
}

TEST(JsonPoint, FormsAndFailures) {
  struct Case {
    std::string text, want;
  } cases[] = {
      {R"({"curve":"bn254","point":")" + G + R"("})", "ok:" + G},
      {R"({"point":")" + G + R"(","curve":"bn254"})", "ok:" + G},
      {R"(["bn254",")" + G + R"("])", "ok:" + G},
      {"  [ \"bn254\" , \"" + G + "\" ]  ", "ok:" + G},
      {R"({"curve":"secp256k1","point":")" + G + R"("})", err("belongs to secp256k1 curve, expected bn254 curve", 1, 20)},
      {R"({"curve":5,"point":")" + G + R"("})", err("invalid type: integer `5`, expected curve name (constrained to be 'bn254')", 1, 10)},
      {R"({"curve":"bn254","point":5})", err("invalid type: integer `5`, expected point of bn254 curve", 1, 26)},
      {R"({"curve":"bn254"})", err("missing field `point`", 1, 17)},
      {R"({"point":")" + G + R"("})", err("missing field `curve_name`", 1, 76)},
      {R"({"curve":"bn254","x":1})", err("unknown field `x`, expected `curve` or `point`", 1, 20)},
      {R"(["bn254"])", err("missing field `point value`", 1, 9)},
      {R"([])", err("missing field `curve name`", 1, 2)},
      {R"(["bn254",")" + G + R"(",1])", err("point consist of too many fields", 1, 78)},
      {"5", err("invalid type: integer `5`, expected point of bn254 curve", 1, 1)},
      {"\"x\"", err("invalid type: string \\\"x\\\", expected point of bn254 curve", 1, 3)},
      {"", err("EOF while parsing a value", 1, 0)},
      {R"({"curve":"bn254",)", err("EOF while parsing a value", 1, 17)},
      {R"({"curve":"bn254","point":")" + G + R"(",})", err("trailing comma", 1, 93)},
      {R"({"curve" "bn254"})", err("expected `:`", 1, 10)},
      {R"({"curve":"bn254","point":")" + G + R"("} x)", err("trailing characters", 1, 94)},
      {R"({"curve":"bn254","point":")" + G + "\n\"}", err("control character (\\\\u0000-\\\\u001F) found while parsing a string", 2, 0)},
  };
  for (const auto& c : cases) EXPECT_EQ(point_result(c.text), c.want) << c.text;
}

TEST(JsonScalar, FormsAndFailures) {
  const std::string one = std::string(63, '0') + "1";
  struct Case {
    std::string text, want;
  } cases[] = {
      {R"({"curve":"bn254","scalar":")" + one + R"("})", "ok:" + one},
      {R"(["bn254",")" + one + R"("])", "ok:" + one},
      {R"({"curve":"bn254","scalar":"0a"})", err("invalid length 2, expected 64", 1, 30)},
      {R"({"curve":"bn254","scalar":5})", err("invalid type: integer `5`, expected scalar value of bn254 curve", 1, 27)},
      {"true", err("invalid type: boolean `true`, expected scalar of bn254 curve", 1, 4)},
      {R"(["bn254"])", err("missing field `scalar value`", 1, 9)},
      {R"({"curve":"bn254","scalar":")" + one + R"(","scalar":")" + one + R"("})", err("duplicate field `scalar`", 1, 101)},
      {R"(["bn254",")" + one + R"(",null])", err("scalar consist of too many fields", 1, 81)},
  };
  for (const auto& c : cases) EXPECT_EQ(scalar_result(c.text), c.want) << c.text;
}

TEST(JsonRecord, MembersInAnyOrderUnknownSkippedArrayForm) {
  auto read = [](const std::string& text) -> std::string {
    json::Reader r(text);
    Bn254Point a, b;
    auto st = r.read_struct("Pair", {"a", "b"}, [&](std::size_t i) -> json::Status {
      auto p = r.read_point();
      if (!p.ok()) return Err{p.error()};
      (i == 0 ? a : b) = p.value();
      return json::ok();
    });
    if (!st.ok()) return st.error().debug();
    if (auto e = r.end(); !e.ok()) return e.error().debug();
    return "ok";
  };
  const std::string pt = R"({"curve":"bn254","point":")" + G + R"("})";
  EXPECT_EQ(read("{\"a\":" + pt + ",\"b\":" + pt + "}"), "ok");
  EXPECT_EQ(read("{\"b\":" + pt + ",\"zz\":[1,{\"q\":null}],\"a\":" + pt + "}"), "ok");
  EXPECT_EQ(read("[" + pt + "," + pt + "]"), "ok");
  EXPECT_EQ(read("{\"a\":" + pt + "}"), err("missing field `b`", 1, 98));
  EXPECT_EQ(read("{\"a\":" + pt + ",\"a\":" + pt + "}"), err("duplicate field `a`", 1, 101));
  EXPECT_EQ(read("[" + pt + "]"), err("invalid length 1, expected struct Pair with 2 elements", 1, 94));
  EXPECT_EQ(read("[" + pt + "," + pt + "," + pt + "]"), err("trailing characters", 1, 188));
  EXPECT_EQ(read("7"), err("invalid type: integer `7`, expected struct Pair", 1, 1));
  EXPECT_EQ(read("{\"a\":" + pt + ",\"zz\":tru}"), err("expected ident", 1, 107));
  // Deep nesting inside a skipped member stops at the recursion limit
  // instead of exhausting the stack.
  std::string deep = "{\"zz\":" + std::string(100000, '[');
  EXPECT_EQ(read(deep), err("recursion limit exceeded", 1, 133));
}

}  // namespace

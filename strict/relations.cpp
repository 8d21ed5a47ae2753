#include "relations.hpp"

#include <string>

namespace vemo::strict {

using curve::Point;
using curve::Scalar;

namespace {

// The secrets' indices, as the document lists them.
constexpr std::uint32_t kV = 0, kR = 1;  // opening, consistency
constexpr std::uint32_t kX = 0;          // dleq, signature
constexpr std::uint32_t kBalV = 0, kBalU = 1, kBalR = 2;

Expected<bool> refuse_identity(std::string_view kind, std::string_view what, const Point& p) {
  auto c = checked_point(std::string(kind) + ": " + std::string(what), p, Identity::refused);
  if (!c.ok()) return Err{c.error()};
  return true;
}

}  // namespace

Expected<Relation> opening(const Point& g, const Point& h, const Point& c) {
  for (auto [what, p] : {std::pair{"g", &g}, std::pair{"h", &h}})
    if (auto r = refuse_identity("opening", what, *p); !r.ok()) return Err{r.error()};
  return Relation{"opening", 2, {{c, {{kV, g}, {kR, h}}}}, {}, 1u << kV};
}

Expected<Relation> consistency(const Point& g, const Point& h, const Point& c, const std::vector<Point>& keys,
                               const std::vector<Point>& tokens) {
  if (keys.empty() || keys.size() > kMaxKeys)
    return error("consistency: expected 1 to " + std::to_string(kMaxKeys) + " keys, got " +
                 std::to_string(keys.size()));
  if (tokens.size() != keys.size())
    return error("consistency: " + std::to_string(keys.size()) + " keys but " + std::to_string(tokens.size()) +
                 " tokens");
  for (auto [what, p] : {std::pair{"g", &g}, std::pair{"h", &h}})
    if (auto r = refuse_identity("consistency", what, *p); !r.ok()) return Err{r.error()};
  Relation rel{"consistency", 2, {{c, {{kV, g}, {kR, h}}}}, {}, 1u << kV};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (auto r = refuse_identity("consistency", "key " + std::to_string(i), keys[i]); !r.ok()) return Err{r.error()};
    rel.equations.push_back({tokens[i], {{kR, keys[i]}}});
  }
  return rel;
}

Expected<Relation> dleq(const Point& b1, const Point& p1, const Point& b2, const Point& p2) {
  for (auto [what, p] : {std::pair{"base 1", &b1}, std::pair{"base 2", &b2}})
    if (auto r = refuse_identity("dleq", what, *p); !r.ok()) return Err{r.error()};
  return Relation{"dleq", 1, {{p1, {{kX, b1}}}, {p2, {{kX, b2}}}}, {}};
}

Expected<Relation> signature(const Point& h, const Point& pk, std::string_view message) {
  for (auto [what, p] : {std::pair{"h", &h}, std::pair{"key", &pk}})
    if (auto r = refuse_identity("signature", what, *p); !r.ok()) return Err{r.error()};
  return Relation{"signature", 1, {{pk, {{kX, h}}}}, {{"message", std::string(message)}}};
}

Expected<Relation> balance(const Point& g, const Point& h, const Point& pk, const Point& c, const Point& t,
                           const Point& c2) {
  for (auto [what, p] : {std::pair{"g", &g}, std::pair{"h", &h}, std::pair{"key", &pk}, std::pair{"token", &t}})
    if (auto r = refuse_identity("balance", what, *p); !r.ok()) return Err{r.error()};
  return Relation{"balance",
                  3,
                  {{h, {{kBalU, pk}}}, {c, {{kBalV, g}, {kBalU, t}}}, {c2, {{kBalV, g}, {kBalR, h}}}},
                  {},
                  1u << kBalV};
}

Scalar balance_u(const Scalar& sk) { return Scalar{"invert", sk.fe.inverse()}; }

}  // namespace vemo::strict

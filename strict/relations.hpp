// The suite's named relations (docs/strict.md, "The named relations"), each
// a table for the engine of relation.hpp: the statement's points become the
// table's images and bases, in the order the document lists them, and each
// relation's secrets are listed in their index order beside it.
//
// A relation refuses the statements that have no meaning: a key or a base
// that is the identity, a key count outside 1 .. kMaxKeys, keys and tokens
// of different counts. The refusal names the item. Public data only; the
// witness helpers are constant time in the secrets.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "relation.hpp"

namespace vemo::strict {

inline constexpr std::size_t kMaxKeys = 16;

// opening: secrets (v, r); C = v·g + r·h.
Expected<Relation> opening(const curve::Point& g, const curve::Point& h, const curve::Point& c);

// consistency: secrets (v, r); C = v·g + r·h and T_i = r·pk_i for each of
// the 1 to 16 keys.
Expected<Relation> consistency(const curve::Point& g, const curve::Point& h, const curve::Point& c,
                               const std::vector<curve::Point>& keys, const std::vector<curve::Point>& tokens);

// dleq: secret x; P_1 = x·B_1 and P_2 = x·B_2.
Expected<Relation> dleq(const curve::Point& b1, const curve::Point& p1, const curve::Point& b2,
                        const curve::Point& p2);

// signature: secret sk; pk = sk·h, then frame("message", message).
Expected<Relation> signature(const curve::Point& h, const curve::Point& pk, std::string_view message);

// balance: secrets (v, u, r'); h = u·pk, C = v·g + u·T, C' = v·g + r'·h.
Expected<Relation> balance(const curve::Point& g, const curve::Point& h, const curve::Point& pk,
                           const curve::Point& c, const curve::Point& t, const curve::Point& c2);

// balance's secret u = sk^-1, by the constant-time inversion (zero for a
// zero sk, which no key of a refused-identity pk has).
curve::Scalar balance_u(const curve::Scalar& sk);

}  // namespace vemo::strict

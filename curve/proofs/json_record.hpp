// The JSON form of a proof record, declared once as a member table that
// drives both the record's writer and its reader.
//
// A table is an array of Member<Record> rows, one per member, in the order
// the writer emits them. The reader takes its names from the same rows, in
// the same order, which it makes observable: it is the element order of the
// array form, and the order in which missing members are reported. All
// matching (names in any order, other names skipped, duplicates, the array
// form) and every message with its position come from json::Reader's
// read_struct; a table only tells it the names and how to read each value.
//
// A row is member<&Record::field>("json name", kind). The kind is the JSON
// shape of the value:
//   as_point       {"curve":"bn254","point":hex}
//   as_scalar      {"curve":"bn254","scalar":hex}
//   as_bigint      hex of the minimal big-endian bytes
//   as_point_list  an array of point objects
// or a kind of the caller's own (a nested record): a type with `Type`, a
// static `write(const Type&)` and a static `read(json::Reader&)`. A kind whose
// Type is not the member's type does not compile.
//
// Proof records are public data: nothing here needs to be constant time.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "curve/bigint.hpp"
#include "curve/encoding.hpp"
#include "curve/json_read.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"

namespace vemo::proofs {

struct PointKind {
  using Type = curve::Bn254Point;
  static nlohmann::ordered_json write(const Type& v) { return curve::point_to_json(v); }
  static Result<Type, json::JsonError> read(json::Reader& r) { return r.read_point(); }
};

struct ScalarKind {
  using Type = curve::Bn254Scalar;
  static nlohmann::ordered_json write(const Type& v) { return curve::scalar_to_json(v); }
  static Result<Type, json::JsonError> read(json::Reader& r) { return r.read_scalar(); }
};

struct BigIntKind {
  using Type = curve::BigInt;
  static nlohmann::ordered_json write(const Type& v) { return curve::bigint_to_json(v); }
  static Result<Type, json::JsonError> read(json::Reader& r) { return r.read_bigint(); }
};

struct PointListKind {
  using Type = std::vector<curve::Bn254Point>;
  // An empty list is written as [], not null.
  static nlohmann::ordered_json write(const Type& v) {
    nlohmann::ordered_json j = nlohmann::ordered_json::array();
    for (const curve::Bn254Point& p : v) j.push_back(curve::point_to_json(p));
    return j;
  }
  static Result<Type, json::JsonError> read(json::Reader& r) { return r.read_point_vec(); }
};

inline constexpr PointKind as_point{};
inline constexpr ScalarKind as_scalar{};
inline constexpr BigIntKind as_bigint{};
inline constexpr PointListKind as_point_list{};

// One row of a table: the member's JSON name, and its value written from
// and read into a record.
template <class Record>
struct Member {
  const char* name;
  nlohmann::ordered_json (*write)(const Record&);
  // Reads the value the reader stands before into the record; on failure
  // the record is left as it was.
  json::Status (*read)(json::Reader&, Record&);
};

namespace detail {
template <class P>
struct MemberPointer;
template <class R, class T>
struct MemberPointer<T R::*> {
  using Record = R;
  using Type = T;
};
}  // namespace detail

template <auto field, class Kind>
constexpr Member<typename detail::MemberPointer<decltype(field)>::Record> member(const char* name, Kind) {
  using Record = typename detail::MemberPointer<decltype(field)>::Record;
  static_assert(std::is_same_v<typename detail::MemberPointer<decltype(field)>::Type, typename Kind::Type>,
                "the kind writes and reads another type than the member has");
  return {name, [](const Record& rec) { return Kind::write(rec.*field); },
          [](json::Reader& r, Record& rec) -> json::Status {
            auto v = Kind::read(r);
            if (!v.ok()) return Err{v.error()};
            rec.*field = std::move(v.value());
            return json::ok();
          }};
}

// The record as a JSON object with the table's members in table order.
template <class Record, std::size_t N>
nlohmann::ordered_json write_record(const Member<Record> (&table)[N], const Record& rec) {
  nlohmann::ordered_json j;
  for (const Member<Record>& m : table) j[m.name] = m.write(rec);
  return j;
}

// Reads one record from the reader: an object or the array form, as
// read_struct describes. type_name is the name messages give the record
// ("expected struct NAME").
template <class Record, std::size_t N>
Result<Record, json::JsonError> read_record(json::Reader& r, const char* type_name, const Member<Record> (&table)[N]) {
  std::vector<const char*> names;
  names.reserve(N);
  for (const Member<Record>& m : table) names.push_back(m.name);
  Record out{};
  auto st = r.read_struct(type_name, names, [&](std::size_t i) { return table[i].read(r, out); });
  if (!st.ok()) return Err{st.error()};
  return out;
}

// A whole text holding one record and nothing else.
template <class Record, std::size_t N>
Result<Record, json::JsonError> parse_record(std::string_view text, const char* type_name,
                                             const Member<Record> (&table)[N]) {
  return json::parse_all<Record>(text, [&](json::Reader& r) { return read_record(r, type_name, table); });
}

}  // namespace vemo::proofs

// The C++ values behind the six Python classes, and the failure type of the
// work. Work functions take and return these (and plain ints, bools and
// strings), never Python objects, so the work runs without the interpreter.
//
// Each value type names its Python class once (kClass): the extensions read
// the name from here for their type objects, their messages and __all__.
#pragma once

#include <array>
#include <cstdint>
#include <tuple>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"

namespace vemo::api {

using curve::Point;
using curve::Scalar;

struct CommitV {
  static constexpr const char* kClass = "Commit";
  Point p;
};
struct RandR {
  static constexpr const char* kClass = "rand_r";
  Scalar s;  // secret
};
struct GHV {
  static constexpr const char* kClass = "GH";
  Point h;
  Point g;
};
struct TokenV {
  static constexpr const char* kClass = "Token";
  Point p;
};
struct PbSkV {
  static constexpr const char* kClass = "PbSk";
  Scalar sk;  // secret
  Point pk;
};
struct HxV {
  static constexpr const char* kClass = "hx";
  Point p;
};

// The six, in the order vemo registers its classes.
using ValueTypes = std::tuple<CommitV, RandR, GHV, PbSkV, HxV, TokenV>;

// 32 bytes given as a Python sequence of ints.
struct Bytes32 {
  std::array<unsigned char, 32> b;
};
// 64 bytes returned as a Python list of ints.
struct ByteList {
  std::vector<unsigned char> b;
};

// A Python bytes argument, viewed in place (the caller's reference keeps it
// alive for the call).
struct Bytes {
  std::string_view v;
};

// A failure to be raised as PanicException, with where it was detected.
struct PanicAt {
  std::string message;
  std::source_location where;
};

template <class T>
using Outcome = Result<T, PanicAt>;

inline Err<PanicAt> panic(std::string msg, std::source_location where = std::source_location::current()) {
  return Err{PanicAt{std::move(msg), where}};
}
// "called `Result::unwrap()` on an `Err` value: " + the error's debug text.
inline Err<PanicAt> unwrap_failed(const std::string& debug, std::source_location where = std::source_location::current()) {
  return Err{PanicAt{"called `Result::unwrap()` on an `Err` value: " + debug, where}};
}
inline Err<PanicAt> from_panic(const Panic& p, std::source_location where = std::source_location::current()) {
  return Err{PanicAt{p.message, where}};
}

}  // namespace vemo::api

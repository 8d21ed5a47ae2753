// Result<T, E>: a value or an error, the way fallible operations in the core
// report failure (nothing in the core throws across its interface).
#pragma once

#include <utility>
#include <variant>

namespace vemo {

template <class E>
struct Err {
  E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T v) : v_(std::in_place_index<0>, std::move(v)) {}
  template <class E2>
  Result(Err<E2> e) : v_(std::in_place_index<1>, E(std::move(e.error))) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const E& error() const { return std::get<1>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  T& operator*() { return std::get<0>(v_); }

 private:
  std::variant<T, E> v_;
};

}  // namespace vemo

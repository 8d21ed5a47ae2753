// Converters between Python objects and the work's C++ values: one per
// parameter type, chosen from the C++ type (Converter<T>), reporting
// failure as a value (ArgError); one per result type (to_python).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

#include "boundary.hpp"
#include "src/api/values.hpp"
#include "strict/codec.hpp"

namespace vemo::py {

using api::ByteList;
using api::Bytes;
using api::Bytes32;
using api::Outcome;

std::optional<ArgError> convert_int32(PyObject* o, const char* name, std::int32_t& out);
std::optional<ArgError> convert_uint64(PyObject* o, const char* name, std::uint64_t& out);
std::optional<ArgError> convert_str(PyObject* o, const char* name, std::string_view& out);
std::optional<ArgError> convert_bytes32(PyObject* o, const char* name, Bytes32& out);
// A bytes object, viewed in place (kept alive by the caller's arguments).
std::optional<ArgError> convert_bytes(PyObject* o, const char* name, Bytes& out);
// A list or tuple: its length and items (borrowed), or an ArgError.
std::optional<ArgError> sequence_items(PyObject* o, const char* name, std::vector<PyObject*>& items);
std::string wrong_type(const char* name, PyObject* o, const char* target);

// Class instances: the Python object that wraps a value of type V.
template <class V>
struct Box {
  PyObject_HEAD
  V value;
};

// The type object of each value class, set by the extension at import
// (vemo builds its six; vemo_batch takes vemo's) and kept for the process.
template <class V>
inline PyTypeObject* g_class_type = nullptr;
template <class V>
PyTypeObject* class_type() {
  return g_class_type<V>;
}
template <class V>
constexpr const char* class_name() {
  return V::kClass;
}

template <class T>
struct Converter;

template <>
struct Converter<std::int32_t> {
  using Holder = std::int32_t;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) { return convert_int32(o, n, h); }
  static std::int32_t get(Holder& h) { return h; }
};
template <>
struct Converter<std::uint64_t> {
  using Holder = std::uint64_t;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) { return convert_uint64(o, n, h); }
  static std::uint64_t get(Holder& h) { return h; }
};
template <>
struct Converter<std::string_view> {
  using Holder = std::string_view;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) { return convert_str(o, n, h); }
  static std::string_view get(Holder& h) { return h; }
};
template <>
struct Converter<Bytes32> {
  using Holder = Bytes32;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) { return convert_bytes32(o, n, h); }
  static const Bytes32& get(Holder& h) { return h; }
};

template <>
struct Converter<Bytes> {
  using Holder = Bytes;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) { return convert_bytes(o, n, h); }
  static Bytes get(Holder& h) { return h; }
};
// A str copied, for the items of a list (a view would outlive nothing, but
// the list may be changed by another thread once the lock is released).
template <>
struct Converter<std::string> {
  using Holder = std::string;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) {
    std::string_view v;
    if (auto e = convert_str(o, n, v)) return e;
    h.assign(v);
    return std::nullopt;
  }
  static const std::string& get(Holder& h) { return h; }
};

// Any class value type: a read-only view of the instance's value.
template <class V>
struct Converter {
  using Holder = const V*;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) {
    if (!PyObject_TypeCheck(o, class_type<V>())) return ArgError{ArgError::Type, wrong_type(n, o, class_name<V>())};
    h = &reinterpret_cast<Box<V>*>(o)->value;
    return std::nullopt;
  }
  static const V& get(Holder& h) { return *h; }
};

// A list (or tuple) of values, each converted by its type's converter and
// copied, so the work never reads the Python list.
template <class T>
struct Converter<std::vector<T>> {
  using Holder = std::vector<T>;
  static std::optional<ArgError> from(PyObject* o, const char* n, Holder& h) {
    std::vector<PyObject*> items;
    if (auto e = sequence_items(o, n, items)) return e;
    h.clear();
    h.reserve(items.size());
    for (PyObject* item : items) {
      typename Converter<T>::Holder one{};
      if (auto e = Converter<T>::from(item, n, one)) return e;
      h.push_back(T(Converter<T>::get(one)));
    }
    return std::nullopt;
  }
  static const std::vector<T>& get(Holder& h) { return h; }
};

// Results.
PyObject* to_python(const std::string& s);
PyObject* to_python(bool b);
PyObject* to_python(std::int32_t v);
PyObject* to_python(const ByteList& v);

template <class V>
PyObject* to_python(const V& v) {
  PyTypeObject* t = class_type<V>();
  if (!t) return nullptr;
  auto* obj = PyObject_New(Box<V>, t);
  if (!obj) return nullptr;
  new (&obj->value) V(v);
  return reinterpret_cast<PyObject*>(obj);
}

template <class T>
PyObject* outcome_to_python(Outcome<T>&& r) {
  if (!r.ok()) {
    raise_panic(r.error());
    return nullptr;
  }
  return to_python(r.value());
}
// The strict suite's results: a failure is a ValueError with its message
// (nothing on standard error), and a std::string is bytes.
PyObject* bytes_to_python(const std::string& s);
void raise_strict_error(const vemo::strict::Error& e);
template <class T>
PyObject* outcome_to_python(vemo::strict::Expected<T>&& r) {
  if (!r.ok()) {
    raise_strict_error(r.error());
    return nullptr;
  }
  if constexpr (std::is_same_v<T, std::string>)
    return bytes_to_python(r.value());
  else
    return to_python(r.value());
}
template <class T>
PyObject* outcome_to_python(T&& v) {
  return to_python(v);
}

}  // namespace vemo::py

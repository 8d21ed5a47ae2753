// Rows and trampolines: declare once. A row of a function table names a
// function, its parameter names and the C++ function that does the work;
// the trampoline matches the arguments (match.hpp), converts each with the
// converter its C++ parameter type selects (convert.hpp), runs the work
// under its interpreter-lock policy (gil.hpp) and converts the result. Every
// trampoline ends in a catch-all, so no C++ exception unwinds through the
// interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <initializer_list>
#include <tuple>
#include <type_traits>
#include <utility>

#include "boundary.hpp"
#include "convert.hpp"
#include "gil.hpp"
#include "match.hpp"

namespace vemo::py {

// A module function or method as the table holds it.
struct Row {
  const char* name;  // the attribute name
  PyCFunction fn;
  int flags;
};

template <auto F>
struct FnTraits;
template <class R, class... A, R (*F)(A...)>
struct FnTraits<F> {
  using Ret = R;
  using Args = std::tuple<std::remove_cvref_t<A>...>;
  static constexpr std::size_t arity = sizeof...(A);
};

template <class T>
using Conv = Converter<std::remove_cvref_t<T>>;

// The arguments of one call, converted: one holder per parameter type, each
// filled by the converter its type selects.
template <class Params>
struct Converted;
template <class... Ps>
struct Converted<std::tuple<Ps...>> {
  std::tuple<typename Conv<Ps>::Holder...> holders{};

  // Converts slots[0 … n) in order; false with the exception set at the
  // first failure.
  bool convert(const Signature& sig, PyObject* const* slots) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      std::optional<ArgError> err;
      ((err ? void() : void(err = Conv<Ps>::from(slots[I], sig.params[I], std::get<I>(holders)))), ...);
      if (err) raise_arg_error(*err);
      return !err;
    }(std::index_sequence_for<Ps...>{});
  }
  // The total length of the text arguments.
  std::size_t texts() const {
    return std::apply([](const auto&... h) { return (std::size_t{0} + ... + text_length(h)); }, holders);
  }
  // fn(lead..., the converted values...).
  template <class Fn, class... Lead>
  decltype(auto) apply(Fn&& fn, Lead&&... lead) {
    return std::apply([&](auto&... h) -> decltype(auto) { return fn(lead..., Conv<Ps>::get(h)...); }, holders);
  }
};

template <class Tuple>
struct DropFirst;
template <class First, class... Rest>
struct DropFirst<std::tuple<First, Rest...>> {
  using type = std::tuple<Rest...>;
};

// Module function with parameters (positional-or-keyword).
template <auto F, class SigFn, Gil G>
PyObject* fastcall(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature& sig = SigFn{}();
  constexpr std::size_t N = FnTraits<F>::arity;
  try {
    PyObject* slots[N > 0 ? N : 1] = {};
    if (!match_arguments(sig, args, nargs, kwnames, slots)) return nullptr;
    Converted<typename FnTraits<F>::Args> conv;
    if (!conv.convert(sig, slots)) return nullptr;
    return outcome_to_python(run_work<G>(conv.texts(), [&] { return conv.apply(F); }));
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

// Module function without parameters.
template <auto F>
PyObject* noargs(PyObject*, PyObject*) {
  try {
    return outcome_to_python(F());
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

// Method: F's first parameter is the receiver's value.
template <auto F, class SigFn, Gil G>
PyObject* method_fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature& sig = SigFn{}();
  constexpr std::size_t N = FnTraits<F>::arity - 1;
  using Args = typename FnTraits<F>::Args;
  using Self = std::tuple_element_t<0, Args>;
  try {
    PyObject* slots[N > 0 ? N : 1] = {};
    if (!match_arguments(sig, args, nargs, kwnames, slots)) return nullptr;
    const Self& me = reinterpret_cast<Box<Self>*>(self)->value;
    Converted<typename DropFirst<Args>::type> conv;
    if (!conv.convert(sig, slots)) return nullptr;
    return outcome_to_python(run_work<G>(conv.texts(), [&] { return conv.apply(F, me); }));
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

template <auto F>
PyObject* method_noargs(PyObject* self, PyObject*) {
  using Self = std::remove_cvref_t<std::tuple_element_t<0, typename FnTraits<F>::Args>>;
  try {
    return outcome_to_python(F(reinterpret_cast<Box<Self>*>(self)->value));
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

template <auto F>
PyObject* getter(PyObject* self, void*) {
  using Self = std::remove_cvref_t<std::tuple_element_t<0, typename FnTraits<F>::Args>>;
  try {
    return outcome_to_python(F(reinterpret_cast<Box<Self>*>(self)->value));
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

// The Signature of a declared entry with a name and parameter names (the
// verifiers' table), as a row's SigFn.
template <const auto& Entry>
struct SignatureOf {
  const Signature& operator()() const {
    static const Signature s{Entry.name, Entry.params.data(), Entry.params.size()};
    return s;
  }
};

template <auto F, std::size_t Declared, Gil G, class SigFn>
constexpr Row make_row(const char* name, SigFn) {
  static_assert(Declared == FnTraits<F>::arity, "the row's parameter names must match its function's arity");
  return Row{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall<F, SigFn, G>)),
             METH_FASTCALL | METH_KEYWORDS};
}
template <auto F>
constexpr Row make_row0(const char* name) {
  static_assert(FnTraits<F>::arity == 0, "a row without parameters needs a function without parameters");
  return Row{name, &noargs<F>, METH_NOARGS};
}
template <auto F, std::size_t Declared, Gil G, class SigFn>
constexpr Row make_method(const char* name, SigFn) {
  static_assert(Declared + 1 == FnTraits<F>::arity, "the method's parameter names must match its function's arity");
  return Row{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_fastcall<F, SigFn, G>)),
             METH_FASTCALL | METH_KEYWORDS};
}
template <auto F>
constexpr Row make_method0(const char* name) {
  static_assert(FnTraits<F>::arity == 1, "a method without parameters takes only its receiver");
  return Row{name, &method_noargs<F>, METH_NOARGS};
}

}  // namespace vemo::py

// A row: VEMO_FN("commit", work::commit, "val", "r", "gh") runs its work with
// the interpreter lock released; VEMO_FN_HELD keeps the lock (cheap work,
// or work that prints); VEMO_FN_DECODER releases it for long texts only.
#define VEMO_ROW_(GIL, NAME, FN, ...)                                                                   \
  ::vemo::py::make_row<FN, std::initializer_list<const char*>{__VA_ARGS__}.size(), GIL>(               \
      NAME, []() -> const ::vemo::py::Signature& {                                                      \
        static const char* const p[] = {__VA_ARGS__};                                                   \
        static const ::vemo::py::Signature s{NAME, p, sizeof(p) / sizeof(p[0])};                        \
        return s;                                                                                       \
      })
#define VEMO_FN(NAME, FN, ...) VEMO_ROW_(::vemo::py::Gil::release, NAME, FN, __VA_ARGS__)
#define VEMO_FN_HELD(NAME, FN, ...) VEMO_ROW_(::vemo::py::Gil::hold, NAME, FN, __VA_ARGS__)
#define VEMO_FN_DECODER(NAME, FN, ...) VEMO_ROW_(::vemo::py::Gil::release_long, NAME, FN, __VA_ARGS__)
#define VEMO_FN0(NAME, FN) ::vemo::py::make_row0<FN>(NAME)
// A method: VEMO_METHOD("Commit", "sum", work::commit_sum, "c") keeps the
// lock; VEMO_METHOD_RELEASED runs its work with the lock released.
#define VEMO_METHOD_ROW_(GIL, CLASS, NAME, FN, ...)                                                     \
  ::vemo::py::make_method<FN, std::initializer_list<const char*>{__VA_ARGS__}.size(), GIL>(            \
      NAME, []() -> const ::vemo::py::Signature& {                                                      \
        static const char* const p[] = {__VA_ARGS__};                                                   \
        static const ::vemo::py::Signature s{CLASS "." NAME, p, sizeof(p) / sizeof(p[0])};              \
        return s;                                                                                       \
      })
#define VEMO_METHOD(CLASS, NAME, FN, ...) VEMO_METHOD_ROW_(::vemo::py::Gil::hold, CLASS, NAME, FN, __VA_ARGS__)
#define VEMO_METHOD_RELEASED(CLASS, NAME, FN, ...) \
  VEMO_METHOD_ROW_(::vemo::py::Gil::release, CLASS, NAME, FN, __VA_ARGS__)
#define VEMO_METHOD0(NAME, FN) ::vemo::py::make_method0<FN>(NAME)

// The binding layer between CPython and the work functions.
//
// Declare once: a row of the function table names a function, its
// parameter names and the C++ function that does the work. From the C++
// parameter types the trampoline picks one converter per argument; from
// the return type, one result converter. Matching arguments to parameters
// is one shared, non-template function (match_arguments) that produces
// every matching message; converters report failure as a value (ArgError);
// raise_arg_error and raise_panic are the only places that turn failures
// into Python exceptions. Every trampoline ends in a catch-all, so no C++
// exception unwinds through the interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "values.hpp"

namespace vemo::py {

// ---- signatures and rows ---------------------------------------------------

struct Signature {
  const char* qualname;  // "commit" or "Commit.sum": used in messages
  const char* const* params;
  std::size_t n;
};

struct Row {
  const char* name;  // the attribute name
  PyCFunction fn;
  int flags;
};

// ---- the interpreter lock --------------------------------------------------

// Whether a call's work runs with the interpreter lock released. The work
// takes C++ values only; class arguments are views of immutable instances
// and text arguments views of immutable str buffers, all kept alive by the
// caller's references for the whole call, so other threads may run Python
// meanwhile.
enum class Gil {
  hold,         // cheap work (a few microseconds): releasing would cost more than it frees
  release,      // heavy work: always released
  release_long  // text decoders: released when the texts are long enough to matter
};

// Texts longer than this in total make a release_long call release the lock.
inline constexpr std::size_t kLongText = 4096;

// Releases the lock for its lifetime and takes it back on every way out,
// exceptions included, so error paths reach Python with the lock held.
class GilReleased {
 public:
  GilReleased() : state_(PyEval_SaveThread()) {}
  ~GilReleased() { PyEval_RestoreThread(state_); }
  GilReleased(const GilReleased&) = delete;
  GilReleased& operator=(const GilReleased&) = delete;

 private:
  PyThreadState* state_;
};

template <class H>
std::size_t text_length(const H& h) {
  if constexpr (std::is_same_v<H, std::string_view>)
    return h.size();
  else
    return 0;
}

// Runs work() under the policy G; `texts` is the total length of the text
// arguments.
template <Gil G, class Work>
decltype(auto) run_work(std::size_t texts, Work&& work) {
  if constexpr (G == Gil::hold) {
    return work();
  } else {
    if (G == Gil::release || texts > kLongText) {
      GilReleased unlocked;
      return work();
    }
    return work();
  }
}

// ---- failures --------------------------------------------------------------

struct ArgError {
  enum Kind { Type, Overflow, Value, AlreadySet } kind;
  std::string message;
};

// Creates the once-per-process runtime objects (the PanicException type);
// called at import, under the interpreter lock. False with an error set.
bool prepare_runtime();

void raise_arg_error(const ArgError& e);
void raise_panic(const PanicAt& p);
// The catch-all for exceptions escaping the work (allocation failure and
// anything thrown by third-party code): MemoryError for allocation, else
// PanicException (vemo) or RuntimeError (vemo_batch, which raises no panics).
enum class Escape { panic, runtime_error };
void raise_from_current_exception(Escape as = Escape::panic);

// Fills slots[0..sig.n) from positional and keyword arguments, or raises
// the matching TypeError and returns false.
bool match_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** slots);

// ---- argument converters ---------------------------------------------------

std::optional<ArgError> convert_int32(PyObject* o, const char* name, std::int32_t& out);
std::optional<ArgError> convert_uint64(PyObject* o, const char* name, std::uint64_t& out);
std::optional<ArgError> convert_str(PyObject* o, const char* name, std::string_view& out);
std::optional<ArgError> convert_bytes32(PyObject* o, const char* name, Bytes32& out);
std::string wrong_type(const char* name, PyObject* o, const char* target);

// Class instances: the Python object that wraps a value of type V.
template <class V>
struct Box {
  PyObject_HEAD
  V value;
};

template <class V>
struct ClassInfo;  // name and type object per value type (classes.cpp)

template <class V>
PyTypeObject* class_type();  // built on first use; null with an error set on failure
template <class V>
const char* class_name();

#define VEMO_DECLARE_CLASS(V)             \
  template <>                             \
  PyTypeObject* class_type<V>();          \
  template <>                             \
  const char* class_name<V>();
VEMO_DECLARE_CLASS(CommitV)
VEMO_DECLARE_CLASS(RandR)
VEMO_DECLARE_CLASS(GHV)
VEMO_DECLARE_CLASS(PbSkV)
VEMO_DECLARE_CLASS(HxV)
VEMO_DECLARE_CLASS(TokenV)
#undef VEMO_DECLARE_CLASS

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

// ---- result converters -----------------------------------------------------

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
template <class T>
PyObject* outcome_to_python(T&& v) {
  return to_python(v);
}

// ---- trampolines -----------------------------------------------------------

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

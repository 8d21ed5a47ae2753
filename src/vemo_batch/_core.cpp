// vemo_batch._core: many proofs checked in one multi-scalar sum.
//
// Batch.add takes one of vemo's eight verifying functions (the function
// object itself) with exactly the arguments that function takes: the same
// shared matcher and the same converters run, under the function's own
// name, so a wrong call fails at add time with the text the function would
// give. The converted arguments are kept as owned C++ copies. Batch.verify
// then, with the interpreter lock released, turns every item into its
// claims (the very code the verifying function runs) on worker threads and
// settles them all with one weighted sum (curve/proofs/batch.hpp).
//
// The strict suite's functions live here too (this is the one native module
// of our own packages): a module object named vemo_strict, held as
// _core._strict and re-exported by the pure Python package vemo_strict.
// Batch.add takes its verifying functions exactly as it takes vemo's.
//
// The value classes are vemo's own: this module looks their type objects
// up in vemo at import, so vemo's instances pass the converters' checks and
// their values are read in place, as vemo reads them.
#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "curve/lanes/decompress.hpp"
#include "curve/parallel.hpp"
#include "curve/proofs/batch.hpp"
#include "decoders.hpp"
#include "docstrings.hpp"  // written from __init__.pyi at build time
#include "src/api/api.hpp"
#include "src/api/strict.hpp"
#include "src/api/verifiers.hpp"
#include "src/binding/call.hpp"
#include "strict/relation.hpp"
#include "strict_docstrings.hpp"  // written from vemo_strict's __init__.pyi at build time

namespace vemo::py {

namespace {

using namespace vemo::api;

// ---- items -----------------------------------------------------------------

using proofs::Claims;
using ClaimsOutcome = Outcome<Claims>;

// One verification waiting in a batch: its claims, computed on demand from
// the owned copies of its arguments. Immutable once made.
struct Item {
  std::function<ClaimsOutcome()> claims;
  // The item's text arguments (views into the owned copies the claims
  // function holds): where verify looks for the points to decode ahead.
  std::vector<std::string_view> texts;
};

// A bytes argument as an item keeps it: an owned copy that reads as Bytes.
struct OwnedBytes {
  std::string s;
  OwnedBytes(Bytes b) : s(b.v) {}
  operator Bytes() const { return Bytes{s}; }
};

// A parameter as the item keeps it: texts and bytes as owned strings, class
// values, lists and integers by value.
template <class T>
using Owned = std::conditional_t<std::is_same_v<T, std::string_view>, std::string,
                                 std::conditional_t<std::is_same_v<T, Bytes>, OwnedBytes, T>>;

// A strict claims function's failure reads as the item's error text, as a
// vemo verifier's panic text does.
inline ClaimsOutcome as_outcome(ClaimsOutcome&& r) { return std::move(r); }
inline ClaimsOutcome as_outcome(vemo::strict::Expected<Claims>&& r) {
  if (!r.ok()) return Err{PanicAt{r.error().message, std::source_location::current()}};
  return std::move(r).value();
}
template <class Tuple>
struct OwnedTuple;
template <class... Ps>
struct OwnedTuple<std::tuple<Ps...>> {
  using type = std::tuple<Owned<Ps>...>;
};
template <class Tuple>
using OwnedArgs = typename OwnedTuple<Tuple>::type;

// Matches and converts the arguments for the claims function F under the
// verifying function's signature; null with the exception set on failure.
template <auto F>
std::shared_ptr<const Item> make_item(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames) {
  using Args = typename FnTraits<F>::Args;
  constexpr std::size_t N = FnTraits<F>::arity;
  PyObject* slots[N] = {};
  if (!match_arguments(sig, args, nargs, kwnames, slots)) return nullptr;
  Converted<Args> conv;
  if (!conv.convert(sig, slots)) return nullptr;
  auto owned = conv.apply([](const auto&... values) {
    return std::make_shared<const OwnedArgs<Args>>(Owned<std::remove_cvref_t<decltype(values)>>(values)...);
  });
  std::vector<std::string_view> texts;
  std::apply(
      [&texts](const auto&... v) {
        auto take = [&texts](const auto& x) {
          if constexpr (std::is_same_v<std::remove_cvref_t<decltype(x)>, std::string>) texts.emplace_back(x);
        };
        (take(v), ...);
      },
      *owned);
  return std::make_shared<const Item>(Item{[owned] { return as_outcome(std::apply(F, *owned)); }, std::move(texts)});
}

struct Verifier {
  const char* name;  // the verifying function's name in vemo
  Signature sig;
  std::shared_ptr<const Item> (*make)(const Signature&, PyObject* const*, Py_ssize_t, PyObject*);
  PyObject* fn = nullptr;  // vemo's function object, set at import
};

// Filled at import from the verifiers' tables, in their order: vemo's
// eight, then the strict suite's.
std::vector<Verifier> g_verifiers;
std::size_t g_vemo_verifiers = 0;

template <class Table>
void add_verifiers(std::vector<Verifier>& out, const Table& table) {
  std::apply(
      [&](const auto&... v) {
        (out.push_back(Verifier{v.name, Signature{v.name, v.params.data(), v.params.size()},
                                &make_item<std::remove_cvref_t<decltype(v)>::claims>}),
         ...);
      },
      table);
}

std::vector<Verifier> all_verifiers() {
  std::vector<Verifier> out;
  add_verifiers(out, kVerifiers);
  add_verifiers(out, api::strict::kVerifiers);
  return out;
}

// ---- the Batch type --------------------------------------------------------

struct BatchState {
  std::vector<std::shared_ptr<const Item>> items;
  std::vector<std::optional<std::string>> errors;  // of the last verify
};

struct BatchObject {
  PyObject_HEAD
  BatchState* state;
};

BatchState& state_of(PyObject* self) { return *reinterpret_cast<BatchObject*>(self)->state; }

PyObject* batch_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (PyTuple_GET_SIZE(args) != 0 || (kwargs && PyDict_GET_SIZE(kwargs) != 0)) {
    PyErr_SetString(PyExc_TypeError, "Batch() takes no arguments");
    return nullptr;
  }
  PyObject* self = type->tp_alloc(type, 0);
  if (!self) return nullptr;
  try {
    reinterpret_cast<BatchObject*>(self)->state = new BatchState();
  } catch (const std::bad_alloc&) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return self;
}

void batch_dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  delete reinterpret_cast<BatchObject*>(self)->state;
  tp->tp_free(self);
  Py_DECREF(tp);
}

// vemo's PanicException is never raised from here: a record that would
// panic is a verdict of False with its text in errors, and anything else
// escaping the work is a RuntimeError (or MemoryError).
void raise_internal() { raise_from_current_exception(Escape::runtime_error); }

std::string describe(PyObject* o) {
  PyObject* r = PyObject_Repr(o);
  std::string text = "an object";
  if (r) {
    Py_ssize_t n;
    if (const char* c = PyUnicode_AsUTF8AndSize(r, &n)) text.assign(c, (std::size_t)n);
    Py_DECREF(r);
  }
  PyErr_Clear();
  return text;
}

PyObject* batch_add(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    if (nargs < 1) {
      PyErr_SetString(PyExc_TypeError, "Batch.add() missing required argument 'fn' (pos 1)");
      return nullptr;
    }
    for (const Verifier& v : g_verifiers) {
      if (args[0] != v.fn) continue;
      auto item = v.make(v.sig, args + 1, nargs - 1, kwnames);
      if (!item) return nullptr;
      state_of(self).items.push_back(std::move(item));
      Py_RETURN_NONE;
    }
    const std::string msg = "Batch.add() takes one of vemo's verifying functions (" + std::string(g_verifiers[0].name) +
                            ", consistency_proof_verify, the sigma_*_verify functions) or vemo_strict's "
                            "(verify_opening, ...), not " + describe(args[0]);
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return nullptr;
  } catch (...) {
    raise_internal();
    return nullptr;
  }
}

// threads: None (all cores) or an int in [1, 1024], used up to
// kThreadsPerCore threads a core.
constexpr unsigned kThreadsPerCore = 4;

bool parse_threads(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, unsigned& threads) {
  if (nargs != 0) {
    PyErr_Format(PyExc_TypeError, "Batch.verify() takes 0 positional arguments but %zd %s given", nargs,
                 nargs == 1 ? "was" : "were");
    return false;
  }
  threads = curve::all_cores();
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    if (PyUnicode_CompareWithASCIIString(key, "threads") != 0) {
      PyErr_Format(PyExc_TypeError, "Batch.verify() got an unexpected keyword argument '%U'", key);
      return false;
    }
    PyObject* value = args[k];
    if (value == Py_None) continue;
    if (!PyLong_Check(value) || PyBool_Check(value)) {
      PyErr_Format(PyExc_TypeError, "Batch.verify() argument 'threads' must be an int or None, not %s",
                   Py_TYPE(value)->tp_name);
      return false;
    }
    const long long n = PyLong_AsLongLong(value);
    if (n == -1 && PyErr_Occurred()) return false;
    if (n < 1 || n > 1024) {
      PyErr_SetString(PyExc_ValueError, "Batch.verify() argument 'threads' must be between 1 and 1024");
      return false;
    }
    threads = (unsigned)n;
  }
  // More threads than a small multiple of the cores only adds stacks and
  // switching; the loop itself never runs more threads than items.
  threads = std::min(threads, kThreadsPerCore * curve::all_cores());
  return true;
}

PyObject* batch_verify(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    unsigned threads = 1;
    if (!parse_threads(args, nargs, kwnames, threads)) return nullptr;
    // The items as they are now: add() from another thread while this runs
    // does not touch the snapshot (items are immutable and shared).
    const std::vector<std::shared_ptr<const Item>> items = state_of(self).items;
    const std::size_t n = items.size();
    std::vector<std::optional<ClaimsOutcome>> outcomes(n);
    std::vector<bool> verdicts;
    std::exception_ptr failure;
    {
      GilReleased unlocked;
      // The points of every record decoded ahead, their square roots in
      // lanes, where the lane engine is on (curve/lanes/decompress.hpp);
      // the parsers below then find them decoded.
      curve::lanes::DecompressedPoints decoded;
      if (const curve::lanes::Kernels* k = curve::lanes::active(); k && n > 1) {
        std::vector<curve::lanes::Compressed> found;
        for (const auto& item : items)
          for (std::string_view t : item->texts) curve::lanes::collect_compressed_hex_vartime(t, found);
        decoded.add_vartime(*k, std::move(found), threads);
      }
      std::mutex failure_mu;
      curve::parallel_for(n, threads, [&](std::size_t i) {
        try {
          curve::lanes::UseDecompressedPoints use(&decoded);
          outcomes[i].emplace(items[i]->claims());
        } catch (...) {
          std::lock_guard<std::mutex> lock(failure_mu);
          if (!failure) failure = std::current_exception();
        }
      });
      if (!failure) {
        static const Claims kRefused{false, {}};
        std::vector<const Claims*> claims(n, &kRefused);
        for (std::size_t i = 0; i < n; ++i)
          if (outcomes[i]->ok()) claims[i] = &outcomes[i]->value();
        verdicts = proofs::verify_batch_vartime(claims, threads);
      }
    }
    if (failure) std::rethrow_exception(failure);

    std::vector<std::optional<std::string>> errors(n);
    for (std::size_t i = 0; i < n; ++i)
      if (!outcomes[i]->ok()) errors[i] = outcomes[i]->error().message;
    PyObject* list = PyList_New((Py_ssize_t)n);
    if (!list) return nullptr;
    for (std::size_t i = 0; i < n; ++i) PyList_SET_ITEM(list, (Py_ssize_t)i, PyBool_FromLong(verdicts[i] ? 1 : 0));
    state_of(self).errors = std::move(errors);
    return list;
  } catch (...) {
    raise_internal();
    return nullptr;
  }
}

PyObject* batch_clear(PyObject* self, PyObject*) {
  state_of(self).items.clear();
  state_of(self).errors.clear();
  Py_RETURN_NONE;
}

PyObject* batch_errors(PyObject* self, void*) {
  const auto& errors = state_of(self).errors;
  PyObject* list = PyList_New((Py_ssize_t)errors.size());
  if (!list) return nullptr;
  for (std::size_t i = 0; i < errors.size(); ++i) {
    PyObject* item;
    if (errors[i]) {
      item = PyUnicode_FromStringAndSize(errors[i]->data(), (Py_ssize_t)errors[i]->size());
      if (!item) {
        Py_DECREF(list);
        return nullptr;
      }
    } else {
      item = Py_NewRef(Py_None);
    }
    PyList_SET_ITEM(list, (Py_ssize_t)i, item);
  }
  return list;
}

Py_ssize_t batch_len(PyObject* self) { return (Py_ssize_t)state_of(self).items.size(); }

PyObject* batch_repr(PyObject* self) {
  const std::size_t n = state_of(self).items.size();
  return PyUnicode_FromFormat("<vemo_batch.Batch with %zu item%s>", n, n == 1 ? "" : "s");
}

PyMethodDef batch_methods[] = {
    {"add", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&batch_add)), METH_FASTCALL | METH_KEYWORDS,
     VEMO_DOC_Batch_add},
    {"verify", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&batch_verify)),
     METH_FASTCALL | METH_KEYWORDS, VEMO_DOC_Batch_verify},
    {"clear", &batch_clear, METH_NOARGS, VEMO_DOC_Batch_clear},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef batch_getset[] = {
    {"errors", &batch_errors, nullptr, VEMO_DOC_Batch_errors, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot batch_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(&batch_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&batch_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(&batch_repr)},
    {Py_mp_length, reinterpret_cast<void*>(&batch_len)},
    {Py_tp_methods, batch_methods},
    {Py_tp_getset, batch_getset},
    {Py_tp_doc, const_cast<char*>(VEMO_DOC_Batch)},
    {0, nullptr},
};

PyType_Spec batch_spec{"vemo_batch.Batch", (int)sizeof(BatchObject), 0, Py_TPFLAGS_DEFAULT, batch_slots};

PyMethodDef module_methods[] = {
    {"decode_commit", &decode_commit, METH_O, VEMO_DOC_decode_commit},
    {"decode_token", &decode_token, METH_O, VEMO_DOC_decode_token},
    {nullptr, nullptr, 0, nullptr},
};

// ---- the strict suite's functions -----------------------------------------

template <const auto& V>
constexpr Row strict_verifier_row() {
  constexpr auto work = &api::strict::VerdictOf<std::remove_cvref_t<decltype(V)>::claims>::call;
  return make_row<work, V.params.size(), Gil::release>(V.name, SignatureOf<V>{});
}

struct DocumentedRow {
  Row row;
  const char* doc;
};

// One row per function, in the order of vemo_strict's __all__.
const DocumentedRow kStrictFunctions[] = {
    {VEMO_FN("commit", api::strict::commit, "value", "r", "gh"), VEMO_DOC_commit},
    {VEMO_FN("prove_opening", api::strict::prove_opening, "context", "value", "r", "gh", "commitment"),
     VEMO_DOC_prove_opening},
    {strict_verifier_row<api::strict::kVerifyOpening>(), VEMO_DOC_verify_opening},
    {VEMO_FN("prove_consistency", api::strict::prove_consistency, "context", "value", "r", "gh", "commitment", "keys",
             "tokens"),
     VEMO_DOC_prove_consistency},
    {strict_verifier_row<api::strict::kVerifyConsistency>(), VEMO_DOC_verify_consistency},
    {VEMO_FN("prove_dleq", api::strict::prove_dleq, "context", "pbsk", "gh", "base", "image"), VEMO_DOC_prove_dleq},
    {strict_verifier_row<api::strict::kVerifyDleq>(), VEMO_DOC_verify_dleq},
    {VEMO_FN("sign", api::strict::sign, "context", "message", "pbsk", "gh"), VEMO_DOC_sign},
    {strict_verifier_row<api::strict::kVerifySignature>(), VEMO_DOC_verify_signature},
    {VEMO_FN("prove_balance", api::strict::prove_balance, "context", "value", "pbsk", "new_r", "gh", "commitment",
             "token", "new_commitment"),
     VEMO_DOC_prove_balance},
    {strict_verifier_row<api::strict::kVerifyBalance>(), VEMO_DOC_verify_balance},
    {VEMO_FN("prove_range", api::strict::prove_range, "context", "bits", "values", "blindings", "gh"),
     VEMO_DOC_prove_range},
    {strict_verifier_row<api::strict::kVerifyRange>(), VEMO_DOC_verify_range},
};
constexpr std::size_t kStrictCount = sizeof(kStrictFunctions) / sizeof(kStrictFunctions[0]);

// Known-answer vectors fix the 32 random bytes of the nonce derivation on
// the calling thread (strict/relation.hpp); b"" gives them back to the OS.
// Not part of vemo_strict: tests/make_strict_vectors.py and the tests use it.
PyObject* strict_fix_random(PyObject*, PyObject* arg) {
  if (!PyBytes_Check(arg) || (PyBytes_GET_SIZE(arg) != 0 && PyBytes_GET_SIZE(arg) != 32)) {
    PyErr_SetString(PyExc_TypeError, "_set_nonce_random_for_testing() takes 32 bytes or b\"\"");
    return nullptr;
  }
  if (PyBytes_GET_SIZE(arg) == 0) {
    vemo::strict::set_nonce_random_for_testing(std::nullopt);
  } else {
    std::array<unsigned char, 32> r;
    std::memcpy(r.data(), PyBytes_AS_STRING(arg), 32);
    vemo::strict::set_nonce_random_for_testing(r);
  }
  Py_RETURN_NONE;
}

// The entries must outlive the function objects that point at them.
PyMethodDef g_strict_defs[kStrictCount + 2];

PyModuleDef kStrictModule = {PyModuleDef_HEAD_INIT, "vemo_strict",
                             "The strict proof suite's native functions (re-exported by vemo_strict).", -1,
                             g_strict_defs, nullptr, nullptr, nullptr, nullptr};

// The module object of the suite's functions; sets the strict verifiers'
// function objects in g_verifiers.
PyObject* make_strict_module() {
  for (std::size_t i = 0; i < kStrictCount; ++i) {
    const Row& r = kStrictFunctions[i].row;
    g_strict_defs[i] = PyMethodDef{r.name, r.fn, r.flags, kStrictFunctions[i].doc};
  }
  g_strict_defs[kStrictCount] =
      PyMethodDef{"_set_nonce_random_for_testing", &strict_fix_random, METH_O, "Test seam: fix the nonces' R."};
  g_strict_defs[kStrictCount + 1] = PyMethodDef{nullptr, nullptr, 0, nullptr};
  PyObject* module = PyModule_Create(&kStrictModule);
  if (!module) return nullptr;
  for (std::size_t i = g_vemo_verifiers; i < g_verifiers.size(); ++i) {
    g_verifiers[i].fn = PyObject_GetAttrString(module, g_verifiers[i].name);
    if (!g_verifiers[i].fn) {
      Py_DECREF(module);
      return nullptr;
    }
  }
  return module;
}

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "vemo_batch._core",
                       "The native core of vemo_batch: the Batch type and the quiet decoders.", -1, module_methods,
                       nullptr, nullptr, nullptr, nullptr};

// Looks up vemo's classes and verifying functions (new references kept for
// the process).
bool bind_vemo() {
  PyObject* vemo = PyImport_ImportModule("vemo");
  if (!vemo) return false;
  auto borrow = [vemo]<class V>(V*) {
    PyObject* t = PyObject_GetAttrString(vemo, V::kClass);
    if (!t || !PyType_Check(t)) {
      Py_XDECREF(t);
      if (!PyErr_Occurred()) PyErr_Format(PyExc_ImportError, "vemo.%s is not a class", V::kClass);
      return false;
    }
    g_class_type<V> = reinterpret_cast<PyTypeObject*>(t);
    return true;
  };
  bool ok = std::apply([&](auto... v) { return (borrow(&v) && ...); }, ValueTypes{});
  if (ok) {
    try {
      g_verifiers = all_verifiers();
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      ok = false;
    }
  }
  g_vemo_verifiers = std::tuple_size_v<std::remove_cvref_t<decltype(kVerifiers)>>;
  for (std::size_t i = 0; ok && i < g_vemo_verifiers; ++i) {
    g_verifiers[i].fn = PyObject_GetAttrString(vemo, g_verifiers[i].name);
    ok = g_verifiers[i].fn != nullptr;
  }
  Py_DECREF(vemo);
  return ok;
}

}  // namespace

}  // namespace vemo::py

PyMODINIT_FUNC PyInit__core(void) {
  using namespace vemo::py;
  if (!bind_vemo()) return nullptr;
  // Pin the ledger's generator pair's tables, as vemo does on its first
  // gen_GH.
  (void)vemo::api::gen_GH();
  PyObject* module = PyModule_Create(&kModule);
  if (!module) return nullptr;
  PyObject* type = PyType_FromSpec(&batch_spec);
  if (!type || PyModule_AddObject(module, "Batch", type) < 0) {
    Py_XDECREF(type);
    Py_DECREF(module);
    return nullptr;
  }
  PyObject* strict = make_strict_module();
  if (!strict || PyModule_AddObject(module, "_strict", strict) < 0) {
    Py_XDECREF(strict);
    Py_DECREF(module);
    return nullptr;
  }
  if (PyModule_AddStringConstant(module, "__version__", VEMO_VERSION) < 0) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

// Entry point of the vemo module: the function table in registration order
// (which also fills __all__), then the six classes.
#include <atomic>

#include "classes.hpp"
#include "src/api/api.hpp"
#include "src/api/verifiers.hpp"
#include "src/binding/call.hpp"

namespace vemo::py {

namespace {

using namespace vemo::api;

// A verifying function's row, from its entry in the verifiers' table.
template <const auto& V>
constexpr Row verifier_row() {
  constexpr auto work = &VerdictOf<std::remove_cvref_t<decltype(V)>::claims>::call;
  return make_row<work, V.params.size(), Gil::release>(V.name, SignatureOf<V>{});
}

// One row per function, in registration order. VEMO_FN rows run their work
// with the interpreter lock released; VEMO_FN_HELD rows are the cheap ones
// (point sums, copies, hash probes of a few points) and the ones that print
// their result, which keep it; VEMO_FN_DECODER rows release it only for
// long texts, since decoding one point costs a few microseconds.
const Row kFunctions[] = {
    VEMO_FN("range_proof_test", range_proof_test, "n_bit", "val"),
    VEMO_FN("commit", commit, "val", "r", "gh"),
    VEMO_FN_HELD("print_commit", print_commit, "com"),
    VEMO_FN_HELD("add", add, "com_l", "com_r"),
    VEMO_FN_HELD("sub", sub, "com_l", "com_r"),
    VEMO_FN("add_value_commits", add_value_commits, "com_l", "com_r"),
    VEMO_FN("sub_value_commits", sub_value_commits, "com_l", "com_r"),
    VEMO_FN_DECODER("from_str", from_str, "str_point"),
    VEMO_FN_DECODER("to_token_from_str", to_token_from_str, "str_point"),
    VEMO_FN0("gen_GH", gen_GH),
    VEMO_FN0("gen_r", gen_r),
    VEMO_FN("range_proof_single", range_proof_single, "n_bit", "val", "gh", "r"),
    VEMO_FN("gen_pb_sk", gen_pb_sk, "gh"),
    VEMO_FN("regen_pb_sk", regen_pb_sk, "gh", "sk"),
    VEMO_FN_DECODER("to_scalar_from_str", to_scalar_from_str, "str_scalar"),
    VEMO_FN_HELD("print_token", print_token, "token"),
    VEMO_FN_HELD("add_token", add_token, "token_l", "token_r"),
    VEMO_FN_HELD("sub_token", sub_token, "token_l", "token_r"),
    VEMO_FN_HELD("sub_commit_token", sub_commit_token, "commit_l", "token_r"),
    VEMO_FN_HELD("add_commit_token", add_commit_token, "commit_l", "token_r"),
    VEMO_FN("h_to_x", h_to_x, "gh", "x"),
    VEMO_FN("g_to_x", g_to_x, "gh", "val"),
    VEMO_FN("g_to_r", g_to_r, "gh", "r"),
    VEMO_FN("p_to_x", p_to_x, "p", "x"),
    VEMO_FN("sigma_eq_dlog_proof", sigma_eq_dlog_proof, "sum_tokens", "pbsk", "gh", "h_sumR"),
    VEMO_FN("sigma_eq_dlog_proof_sha256", sigma_eq_dlog_proof_sha256, "sum_tokens", "pbsk", "gh", "h_sumR"),
    VEMO_FN("to_token_from_pk", to_token_from_pk, "pk_json_point", "r"),
    verifier_row<kSigmaEqDlogVerify>(),
    verifier_row<kSigmaEqDlogVerifySha256>(),
    verifier_row<kRangeProofSingleVerify>(),
    VEMO_FN("consistency_proof", consistency_proof, "val", "r", "gh", "ped_cm", "token", "pubkey"),
    verifier_row<kConsistencyProofVerify>(),
    VEMO_FN("sigma_dlog_proof_explicit", sigma_dlog_proof_explicit, "sum_tokens", "pbsk", "h_sumR"),
    verifier_row<kSigmaDlogProofExplicitVerify>(),
    VEMO_FN("sigma_dlog_proof_explicit_sha256", sigma_dlog_proof_explicit_sha256, "sum_tokens", "pbsk", "h_sumR"),
    verifier_row<kSigmaDlogProofExplicitVerifySha256>(),
    VEMO_FN("get_brut_v", get_brut_v, "c", "t", "gh", "pbsk", "range"),
    VEMO_FN_HELD("hash_test1", hash_test1, "a1"),
    VEMO_FN_HELD("hash_test2", hash_test2, "a1", "a2"),
    VEMO_FN_HELD("hash_test3", hash_test3, "a1", "a2", "a3"),
    VEMO_FN0("curve_name", curve_name),
    VEMO_FN("ghvec", ghvec, "n_bit"),
    VEMO_FN_HELD("gen_new_GH", gen_new_GH, "g", "h"),
    VEMO_FN("sigma_eq_dlog_same_secret", sigma_eq_dlog_same_secret, "v", "gh1", "gh2"),
    verifier_row<kSigmaEqDlogVerifySameSecret>(),
    VEMO_FN("sigma_eq_dlog_ped_proof", sigma_eq_dlog_ped_proof, "v", "gh1", "gh2", "pk"),
    verifier_row<kSigmaEqDlogPedVerify>(),
    VEMO_FN("consistency_proof_with_witness", consistency_proof_with_witness, "val", "r", "gh", "ped_cm", "token",
            "pubkey"),
    VEMO_FN("sigma_eq_dlog_ped_proof_with_witness", sigma_eq_dlog_ped_proof_with_witness, "v", "gh1", "gh2", "pk"),
    VEMO_FN("sigma_dlog_proof_explicit_sha256_with_witness", sigma_dlog_proof_explicit_sha256_with_witness, "sum_tokens",
            "pbsk", "h_sumR"),
    VEMO_FN_DECODER("from_coords", from_coords, "x_", "y_"),
    VEMO_FN_HELD("get_y_coord", get_y_coord, "a1"),
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "vemo", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

std::atomic<bool> g_initialised{false};

// Appends name to __all__ (creating it when absent), then binds the attribute.
bool add_to_module(PyObject* module, const char* name, PyObject* value) {
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyList_New(0);
    if (!all || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      return false;
    }
  }
  PyObject* pyname = PyUnicode_FromString(name);
  const bool ok = pyname && PyList_Append(all, pyname) == 0 && PyObject_SetAttr(module, pyname, value) == 0;
  Py_XDECREF(pyname);
  Py_DECREF(all);
  return ok;
}

// PyMethodDef entries must outlive the function objects that point at them.
PyMethodDef g_defs[sizeof(kFunctions) / sizeof(kFunctions[0])];

}  // namespace

}  // namespace vemo::py

PyMODINIT_FUNC PyInit_vemo(void) {
  using namespace vemo::py;
  PyObject* module = PyModule_Create(&kModule);
  if (!module) return nullptr;
  if (g_initialised.exchange(true)) {
    Py_DECREF(module);
    PyErr_SetString(PyExc_ImportError, "vemo-capi modules may only be initialized once per interpreter process");
    return nullptr;
  }
  if (!prepare_runtime()) {
    Py_DECREF(module);
    return nullptr;
  }
  // Printing calls take the interpreter lock around each write.
  vemo::api::set_stdout_writer(&write_stdout_holding_lock);
  PyObject* modname = PyUnicode_FromString("vemo");
  if (!modname) {
    Py_DECREF(module);
    return nullptr;
  }
  std::size_t i = 0;
  for (const Row& r : kFunctions) {
    g_defs[i] = PyMethodDef{r.name, r.fn, r.flags, ""};
    PyObject* fn = PyCMethod_New(&g_defs[i], module, modname, nullptr);
    ++i;
    const bool ok = fn && add_to_module(module, r.name, fn);
    Py_XDECREF(fn);
    if (!ok) {
      Py_DECREF(modname);
      Py_DECREF(module);
      return nullptr;
    }
  }
  Py_DECREF(modname);
  const bool classes = build_classes() && std::apply(
      [&](auto... v) {
        return (add_to_module(module, decltype(v)::kClass, reinterpret_cast<PyObject*>(class_type<decltype(v)>())) &&
                ...);
      },
      ValueTypes{});
  if (!classes) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

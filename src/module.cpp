// Entry point of the vemo module: the function table in registration order
// (which also fills __all__), then the six classes.
#include <atomic>

#include "binding.hpp"
#include "work.hpp"

namespace vemo::py {

namespace {

using namespace work;

// One row per function, in registration order. Functions whose work is
// not built yet have no row.
const Row kFunctions[] = {
    VEMO_FN("commit", commit, "val", "r", "gh"),
    VEMO_FN("print_commit", print_commit, "com"),
    VEMO_FN("add", add, "com_l", "com_r"),
    VEMO_FN("sub", sub, "com_l", "com_r"),
    VEMO_FN("add_value_commits", add_value_commits, "com_l", "com_r"),
    VEMO_FN("sub_value_commits", sub_value_commits, "com_l", "com_r"),
    VEMO_FN("from_str", from_str, "str_point"),
    VEMO_FN("to_token_from_str", to_token_from_str, "str_point"),
    VEMO_FN0("gen_GH", gen_GH),
    VEMO_FN0("gen_r", gen_r),
    VEMO_FN("gen_pb_sk", gen_pb_sk, "gh"),
    VEMO_FN("regen_pb_sk", regen_pb_sk, "gh", "sk"),
    VEMO_FN("to_scalar_from_str", to_scalar_from_str, "str_scalar"),
    VEMO_FN("add_token", add_token, "token_l", "token_r"),
    VEMO_FN("sub_token", sub_token, "token_l", "token_r"),
    VEMO_FN("sub_commit_token", sub_commit_token, "commit_l", "token_r"),
    VEMO_FN("add_commit_token", add_commit_token, "commit_l", "token_r"),
    VEMO_FN("to_token_from_pk", to_token_from_pk, "pk_json_point", "r"),
    VEMO_FN0("curve_name", curve_name),
    VEMO_FN("gen_new_GH", gen_new_GH, "g", "h"),
    VEMO_FN("from_coords", from_coords, "x_", "y_"),
};

struct ClassRow {
  const char* name;
  PyTypeObject* (*type)();
};

const ClassRow kClasses[] = {
    {"Commit", &class_type<CommitV>}, {"rand_r", &class_type<RandR>}, {"GH", &class_type<GHV>},
    {"PbSk", &class_type<PbSkV>},     {"hx", &class_type<HxV>},       {"Token", &class_type<TokenV>},
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
  for (const ClassRow& c : kClasses) {
    PyTypeObject* t = c.type();
    if (!t || !add_to_module(module, c.name, reinterpret_cast<PyObject*>(t))) {
      Py_DECREF(module);
      return nullptr;
    }
  }
  return module;
}

// The six value classes' type objects: Commit, rand_r, GH, PbSk, hx, Token.
//
// Each is a plain type named "builtins.<Name>" holding one C++ value. No
// constructor, read-only properties, no comparison or hashing slots (so
// equality and hashing go by identity), and every method returns a new
// instance. Types holding secrets wipe them when the instance dies. What the
// members compute is src/api/members.cpp; this file only binds them.
#include "classes.hpp"

#include <string>

#include "curve/ct.hpp"
#include "src/api/api.hpp"
#include "src/binding/call.hpp"

namespace vemo::py {

using namespace vemo::api;

namespace {

PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, "No constructor defined");
  return nullptr;
}

template <class V>
void dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  V& v = reinterpret_cast<Box<V>*>(self)->value;
  v.~V();
  vemo::ct::wipe(&v, sizeof(V));  // scalars in rand_r and PbSk are secrets
  tp->tp_free(self);
  Py_DECREF(tp);
}

PyMethodDef method_def(const Row& r) { return PyMethodDef{r.name, r.fn, r.flags, ""}; }

template <auto F>
PyGetSetDef property(const char* name) {
  return PyGetSetDef{name, &getter<F>, nullptr, "", nullptr};
}

template <class V>
PyTypeObject* build_type(const char* qualname, PyMethodDef* methods, PyGetSetDef* getsets) {
  PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(&no_constructor)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&dealloc<V>)},
      {Py_tp_doc, const_cast<char*>("")},
      {Py_tp_methods, methods},
      {Py_tp_getset, getsets},
      {0, nullptr},
  };
  PyType_Spec spec{qualname, (int)sizeof(Box<V>), 0, Py_TPFLAGS_DEFAULT, slots};
  return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

// Method and property tables live for the life of the process, as the
// type objects that point at them do.
PyMethodDef commit_methods[] = {
    method_def(VEMO_METHOD0("is_zero", members::commit_is_zero)),
    method_def(VEMO_METHOD("Commit", "sum", members::commit_sum, "c")),
    method_def(VEMO_METHOD("Commit", "sub", members::commit_sub, "c")),
    method_def(VEMO_METHOD0("to_bytes", members::commit_to_bytes)),
    method_def(VEMO_METHOD("Commit", "from_bytes", members::commit_from_bytes, "a")),
    {nullptr, nullptr, 0, nullptr},
};
PyGetSetDef commit_props[] = {
    property<members::commit_get>("get"),
    property<members::commit_get>("to_str"),
    property<members::commit_x>("x"),
    property<members::commit_y>("y"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef rand_methods[] = {
    method_def(VEMO_METHOD("rand_r", "sum", members::rand_sum, "r")),
    method_def(VEMO_METHOD("rand_r", "sub", members::rand_sub, "r")),
    method_def(VEMO_METHOD0("neg", members::rand_neg)),
    method_def(VEMO_METHOD0("is_zero", members::rand_is_zero)),
    {nullptr, nullptr, 0, nullptr},
};
PyGetSetDef rand_props[] = {
    property<members::rand_get>("get"),
    property<members::rand_get>("to_string"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};
PyGetSetDef no_props[] = {{nullptr, nullptr, nullptr, nullptr, nullptr}};

PyGetSetDef gh_props[] = {
    property<members::gh_h>("h"),
    property<members::gh_g>("g"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyGetSetDef token_props[] = {
    property<members::token_get>("get"),
    property<members::token_get>("to_str"),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef pbsk_methods[] = {
    method_def(VEMO_METHOD_RELEASED("PbSk", "to_token", members::pbsk_to_token, "r")),
    method_def(VEMO_METHOD0("get_sk", members::pbsk_get_sk)),
    method_def(VEMO_METHOD0("get_pk", members::pbsk_get_pk)),
    {nullptr, nullptr, 0, nullptr},
};

template <class V>
bool build(PyMethodDef* methods, PyGetSetDef* getsets) {
  // Built once, under the interpreter lock at import, and kept for the
  // process, as the method tables they point at are.
  // The type keeps a pointer to its name: it lives as long.
  static const std::string qualname = std::string("builtins.") + V::kClass;
  if (!g_class_type<V>) g_class_type<V> = build_type<V>(qualname.c_str(), methods, getsets);
  return g_class_type<V> != nullptr;
}

}  // namespace

bool build_classes() {
  return build<CommitV>(commit_methods, commit_props) && build<RandR>(rand_methods, rand_props) &&
         build<GHV>(no_methods, gh_props) && build<PbSkV>(pbsk_methods, no_props) &&
         build<HxV>(no_methods, no_props) && build<TokenV>(no_methods, token_props);
}

}  // namespace vemo::py

// The six value classes: Commit, rand_r, GH, PbSk, hx, Token.
//
// Each is a plain type named "builtins.<Name>" holding one C++ value. No
// constructor, read-only properties, no comparison or hashing slots (so
// equality and hashing go by identity), and every method returns a new
// instance. Types holding secrets wipe them when the instance dies.
#include <cstring>

#include "binding.hpp"
#include "curve/encoding.hpp"

namespace vemo::py {

using namespace vemo::curve;

namespace members {

// Commit
std::string commit_get(const CommitV& c) { return parse_scep256k1point_to_string(c.p); }
bool commit_is_zero(const CommitV& c) { return c.p.is_zero(); }
CommitV commit_sum(const CommitV& a, const CommitV& b) { return CommitV{a.p.add_point_vartime(b.p)}; }
CommitV commit_sub(const CommitV& a, const CommitV& b) { return CommitV{a.p.sub_point_vartime(b.p)}; }
std::string commit_x(const CommitV& c) { return c.p.x_coord().to_dec(); }
std::string commit_y(const CommitV& c) { return c.p.y_coord().to_dec(); }
ByteList commit_to_bytes(const CommitV& c) {
  auto b = c.p.serialize_uncompressed();
  return ByteList{std::vector<unsigned char>(b.begin(), b.end())};
}
std::string commit_from_bytes(const CommitV&, const Bytes32& a) {
  return Scalar::deserialize(a.b.data(), a.b.size()).value().to_bigint().to_dec();
}

// rand_r
RandR rand_sum(const RandR& a, const RandR& b) { return RandR{a.s.add(b.s)}; }
RandR rand_sub(const RandR& a, const RandR& b) { return RandR{a.s.sub(b.s)}; }
RandR rand_neg(const RandR& a) { return RandR{Scalar::from_u64(0).sub(a.s)}; }
std::string rand_get(const RandR& a) { return parse_scep256k1scalar_to_string(a.s); }
bool rand_is_zero(const RandR& a) { return a.s.eq(Scalar::from_u64(0)); }

// GH
std::string gh_h(const GHV& gh) { return parse_scep256k1point_to_string(gh.h); }
std::string gh_g(const GHV& gh) { return parse_scep256k1point_to_string(gh.g); }

// Token
std::string token_get(const TokenV& t) { return parse_scep256k1point_to_string(t.p); }

// PbSk
TokenV pbsk_to_token(const PbSkV& k, const RandR& r) { return TokenV{k.pk.scalar_mul(r.s)}; }
std::string pbsk_get_sk(const PbSkV& k) { return parse_scep256k1scalar_to_string(k.sk); }
std::string pbsk_get_pk(const PbSkV& k) { return parse_scep256k1point_to_string(k.pk); }

}  // namespace members

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
  ct::wipe(&v, sizeof(V));  // scalars in rand_r and PbSk are secrets
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

}  // namespace

#define VEMO_DEFINE_CLASS(V, NAME, METHODS, PROPS)                                   \
  template <>                                                                        \
  PyTypeObject* class_type<V>() {                                                    \
    /* Built once under the interpreter lock and kept for the process. */           \
    static PyTypeObject* t = nullptr;                                                \
    if (!t) t = build_type<V>("builtins." NAME, METHODS, PROPS);                    \
    return t;                                                                        \
  }                                                                                  \
  template <>                                                                        \
  const char* class_name<V>() {                                                      \
    return NAME;                                                                     \
  }

VEMO_DEFINE_CLASS(CommitV, "Commit", commit_methods, commit_props)
VEMO_DEFINE_CLASS(RandR, "rand_r", rand_methods, rand_props)
VEMO_DEFINE_CLASS(GHV, "GH", no_methods, gh_props)
VEMO_DEFINE_CLASS(PbSkV, "PbSk", pbsk_methods, no_props)
VEMO_DEFINE_CLASS(HxV, "hx", no_methods, no_props)
VEMO_DEFINE_CLASS(TokenV, "Token", no_methods, token_props)

}  // namespace vemo::py

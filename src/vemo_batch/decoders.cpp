#include "decoders.hpp"

#include <string_view>

#include "src/api/api.hpp"
#include "src/binding/convert.hpp"

namespace vemo::py {

namespace {

using namespace vemo::api;

// vemo.from_str and vemo.to_token_from_str end a bad text with
// PanicException and a line on stderr: right for one call, wrong for a
// reader of untrusted bulk data, where a bad text is an ordinary outcome.
// These decode the same way and give vemo's own instances, but a text that
// does not decode raises ValueError with vemo's message and writes nothing.
template <class V, Outcome<V> (*Decode)(std::string_view)>
PyObject* decode_quietly(const char* name, PyObject* arg) {
  if (!PyUnicode_Check(arg)) {
    PyErr_Format(PyExc_TypeError, "%s() argument must be str, not %.200s", name, Py_TYPE(arg)->tp_name);
    return nullptr;
  }
  std::string_view text;
  if (auto e = convert_str(arg, "text", text)) {
    raise_arg_error(*e);
    return nullptr;
  }
  try {
    Outcome<V> r = Decode(text);
    if (!r.ok()) {
      PyErr_SetString(PyExc_ValueError, r.error().message.c_str());
      return nullptr;
    }
    return to_python(r.value());
  } catch (...) {
    raise_from_current_exception(Escape::runtime_error);
    return nullptr;
  }
}

}  // namespace

PyObject* decode_commit(PyObject*, PyObject* arg) {
  return decode_quietly<CommitV, &api::from_str>("decode_commit", arg);
}
PyObject* decode_token(PyObject*, PyObject* arg) {
  return decode_quietly<TokenV, &api::to_token_from_str>("decode_token", arg);
}

}  // namespace vemo::py

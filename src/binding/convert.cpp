#include "convert.hpp"

#include <cstring>
#include <limits>

namespace vemo::py {

namespace {

// The text of the pending Python exception, which is cleared.
std::string take_error_text() {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  std::string text;
  if (value) {
    PyObject* s = PyObject_Str(value);
    if (s) {
      Py_ssize_t n;
      const char* c = PyUnicode_AsUTF8AndSize(s, &n);
      if (c) text.assign(c, (std::size_t)n);
      Py_DECREF(s);
    }
  }
  PyErr_Clear();
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(tb);
  return text;
}

// __index__ of o as a Python int; on failure an ArgError, with the
// parameter's prefix for a TypeError and the interpreter's own error
// otherwise.
PyObject* index_of(PyObject* o, const char* name, std::optional<ArgError>& err) {
  PyObject* idx = PyNumber_Index(o);
  if (idx) return idx;
  if (PyErr_ExceptionMatches(PyExc_TypeError)) {
    err = ArgError{ArgError::Type, std::string("argument '") + name + "': " + take_error_text()};
  } else {
    err = ArgError{ArgError::AlreadySet, {}};
  }
  return nullptr;
}

const char* type_name(PyObject* o) {
  const char* n = Py_TYPE(o)->tp_name;
  const char* dot = std::strrchr(n, '.');
  return dot ? dot + 1 : n;
}

}  // namespace

std::string wrong_type(const char* name, PyObject* o, const char* target) {
  return std::string("argument '") + name + "': '" + type_name(o) + "' object cannot be converted to '" + target + "'";
}

std::optional<ArgError> convert_int32(PyObject* o, const char* name, std::int32_t& out) {
  std::optional<ArgError> err;
  PyObject* idx = index_of(o, name, err);
  if (!idx) return err;
  const long v = PyLong_AsLong(idx);
  Py_DECREF(idx);
  if (v == -1 && PyErr_Occurred()) return ArgError{ArgError::AlreadySet, {}};
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return ArgError{ArgError::Overflow, "out of range integral type conversion attempted"};
  out = (std::int32_t)v;
  return std::nullopt;
}

std::optional<ArgError> convert_uint64(PyObject* o, const char* name, std::uint64_t& out) {
  std::optional<ArgError> err;
  PyObject* idx = index_of(o, name, err);
  if (!idx) return err;
  const unsigned long long v = PyLong_AsUnsignedLongLong(idx);
  Py_DECREF(idx);
  if (v == (unsigned long long)-1 && PyErr_Occurred()) return ArgError{ArgError::AlreadySet, {}};
  out = v;
  return std::nullopt;
}

std::optional<ArgError> convert_str(PyObject* o, const char* name, std::string_view& out) {
  if (!PyUnicode_Check(o)) return ArgError{ArgError::Type, wrong_type(name, o, "PyString")};
  Py_ssize_t n;
  // The UTF-8 buffer is cached on the str object, which the caller's
  // argument tuple keeps alive for the whole call.
  const char* s = PyUnicode_AsUTF8AndSize(o, &n);
  if (!s) return ArgError{ArgError::AlreadySet, {}};
  out = std::string_view(s, (std::size_t)n);
  return std::nullopt;
}

std::optional<ArgError> convert_bytes32(PyObject* o, const char* name, Bytes32& out) {
  if (!PySequence_Check(o)) return ArgError{ArgError::Type, wrong_type(name, o, "Sequence")};
  const Py_ssize_t len = PySequence_Size(o);
  if (len < 0) return ArgError{ArgError::AlreadySet, {}};
  if (len != 32)
    return ArgError{ArgError::Value, "expected a sequence of length 32 (got " + std::to_string(len) + ")"};
  for (Py_ssize_t i = 0; i < 32; ++i) {
    PyObject* item = PySequence_GetItem(o, i);
    if (!item) return ArgError{ArgError::AlreadySet, {}};
    std::optional<ArgError> err;
    PyObject* idx = index_of(item, name, err);
    Py_DECREF(item);
    if (!idx) return err;
    const long v = PyLong_AsLong(idx);
    Py_DECREF(idx);
    if (v == -1 && PyErr_Occurred()) return ArgError{ArgError::AlreadySet, {}};
    if (v < 0 || v > 255) return ArgError{ArgError::Overflow, "out of range integral type conversion attempted"};
    out.b[(std::size_t)i] = (unsigned char)v;
  }
  return std::nullopt;
}

std::optional<ArgError> convert_bytes(PyObject* o, const char* name, Bytes& out) {
  if (!PyBytes_Check(o)) return ArgError{ArgError::Type, wrong_type(name, o, "PyBytes")};
  out = Bytes{std::string_view(PyBytes_AS_STRING(o), (std::size_t)PyBytes_GET_SIZE(o))};
  return std::nullopt;
}

std::optional<ArgError> sequence_items(PyObject* o, const char* name, std::vector<PyObject*>& items) {
  if (!PyList_Check(o) && !PyTuple_Check(o)) return ArgError{ArgError::Type, wrong_type(name, o, "PyList")};
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(o);
  PyObject** at = PySequence_Fast_ITEMS(o);
  items.assign(at, at + n);
  return std::nullopt;
}

PyObject* bytes_to_python(const std::string& s) { return PyBytes_FromStringAndSize(s.data(), (Py_ssize_t)s.size()); }

void raise_strict_error(const vemo::strict::Error& e) {
  PyErr_SetString(PyExc_ValueError, e.message.c_str());
}

PyObject* to_python(const std::string& s) { return PyUnicode_FromStringAndSize(s.data(), (Py_ssize_t)s.size()); }
PyObject* to_python(bool b) { return PyBool_FromLong(b ? 1 : 0); }
PyObject* to_python(std::int32_t v) { return PyLong_FromLong(v); }
PyObject* to_python(const ByteList& v) {
  PyObject* list = PyList_New((Py_ssize_t)v.b.size());
  if (!list) return nullptr;
  for (std::size_t i = 0; i < v.b.size(); ++i) {
    PyObject* item = PyLong_FromLong(v.b[i]);
    if (!item) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, (Py_ssize_t)i, item);
  }
  return list;
}

}  // namespace vemo::py

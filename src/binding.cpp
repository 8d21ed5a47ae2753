#include "binding.hpp"

#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "work.hpp"
#include "write_all.hpp"

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

// Created once per process by prepare_runtime, at import, under the
// interpreter lock and before any call can run.
PyObject* g_panic_type = nullptr;

PyObject* panic_type() {
  PyObject*& type = g_panic_type;
  if (!type) {
    type = PyErr_NewExceptionWithDoc(
        "vemo_runtime.PanicException",
        "The exception raised when vemo's own code fails.\n\n"
        "Like SystemExit, this exception derives from BaseException, so it will usually "
        "propagate through the whole stack and end the interpreter.",
        PyExc_BaseException, nullptr);
  }
  return type;
}

}  // namespace

bool prepare_runtime() { return panic_type() != nullptr; }

std::string wrong_type(const char* name, PyObject* o, const char* target) {
  return std::string("argument '") + name + "': '" + type_name(o) + "' object cannot be converted to '" + target + "'";
}

void raise_arg_error(const ArgError& e) {
  switch (e.kind) {
    case ArgError::Type: PyErr_SetString(PyExc_TypeError, e.message.c_str()); break;
    case ArgError::Overflow: PyErr_SetString(PyExc_OverflowError, e.message.c_str()); break;
    case ArgError::Value: PyErr_SetString(PyExc_ValueError, e.message.c_str()); break;
    case ArgError::AlreadySet: break;
  }
}

void raise_panic(const PanicAt& p) {
  std::fprintf(stderr, "vemo panicked at %s:%u:\n%s\n", p.where.file_name(), (unsigned)p.where.line(), p.message.c_str());
  std::fflush(stderr);
  PyObject* type = panic_type();
  if (!type) return;  // the creation error is already set
  PyObject* msg = PyUnicode_FromStringAndSize(p.message.data(), (Py_ssize_t)p.message.size());
  if (!msg) return;
  PyErr_SetObject(type, msg);
  Py_DECREF(msg);
}

void raise_from_current_exception(Escape as) {
  auto raise = [as](const char* text) {
    if (as == Escape::runtime_error)
      PyErr_SetString(PyExc_RuntimeError, text);
    else
      raise_panic(PanicAt{text, std::source_location::current()});
  };
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise(e.what());
  } catch (...) {
    raise("unknown internal failure");
  }
}

bool match_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** slots) {
  const std::size_t n = sig.n;
  if ((std::size_t)nargs > n) {
    PyErr_Format(PyExc_TypeError, "%s() takes %zu positional arguments but %zd %s given", sig.qualname, n, nargs,
                 nargs == 1 ? "was" : "were");
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t klen;
    const char* kname = PyUnicode_AsUTF8AndSize(key, &klen);
    if (!kname) return false;
    std::size_t idx = n;
    for (std::size_t i = 0; i < n; ++i)
      if (std::string_view(sig.params[i]) == std::string_view(kname, (std::size_t)klen)) idx = i;
    if (idx == n) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.qualname, key);
      return false;
    }
    if (slots[idx]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", sig.qualname, key);
      return false;
    }
    slots[idx] = args[nargs + k];
  }
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < n; ++i)
    if (!slots[i]) missing.push_back(sig.params[i]);
  if (!missing.empty()) {
    std::string list;
    for (std::size_t i = 0; i < missing.size(); ++i) {
      if (i > 0) {
        if (missing.size() == 2)
          list += " and ";
        else
          list += (i + 1 == missing.size()) ? ", and " : ", ";
      }
      list.append("'").append(missing[i]).append("'");
    }
    std::string msg = std::string(sig.qualname) + "() missing " + std::to_string(missing.size()) +
                      " required positional " + (missing.size() == 1 ? "argument" : "arguments") + ": " + list;
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return false;
  }
  return true;
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

namespace work {

void write_stdout(const std::string& text) {
  // A printing call may run with the interpreter lock released between its
  // writes (range_proof_test prints before and after proving); each write
  // takes the lock, so the lines of concurrent calls never interleave.
  const PyGILState_STATE state = PyGILState_Ensure();
  write_all(1, text);
  PyGILState_Release(state);
}

}  // namespace work

}  // namespace vemo::py

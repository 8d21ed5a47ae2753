#include "boundary.hpp"

#include <cstdio>
#include <new>
#include <stdexcept>

namespace vemo::py {

namespace {

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

}  // namespace vemo::py

// Matching a call's positional and keyword arguments to a function's
// parameters: one shared, non-template function that produces every
// matching TypeError text, for every function of both extensions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

namespace vemo::py {

// A function's name as messages give it ("commit", "Commit.sum") and its
// parameter names, in order.
struct Signature {
  const char* qualname;  // "commit" or "Commit.sum": used in messages
  const char* const* params;
  std::size_t n;
};

// Fills slots[0..sig.n) from positional and keyword arguments, or raises
// the matching TypeError and returns false.
bool match_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     PyObject** slots);

}  // namespace vemo::py

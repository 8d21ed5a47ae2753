// The module boundary: the one place where failures become Python
// exceptions. An argument that cannot be converted is an ArgError (a
// TypeError, OverflowError or ValueError); a failure of the work is a
// PanicAt, raised as PanicException after its line on standard error; a C++
// exception escaping the work (allocation, third-party code) is caught by
// every trampoline and raised here.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

#include "src/api/values.hpp"

namespace vemo::py {

using api::PanicAt;

struct ArgError {
  enum Kind { Type, Overflow, Value, AlreadySet } kind;
  std::string message;
};

// Creates the once-per-process runtime objects (the PanicException type);
// called at import, under the interpreter lock. False with an error set.
bool prepare_runtime();

void raise_arg_error(const ArgError& e);
void raise_panic(const PanicAt& p);
// The catch-all for exceptions escaping the work (allocation failure and
// anything thrown by third-party code): MemoryError for allocation, else
// PanicException (vemo) or RuntimeError (vemo_batch, which raises no panics).
enum class Escape { panic, runtime_error };
void raise_from_current_exception(Escape as = Escape::panic);

}  // namespace vemo::py

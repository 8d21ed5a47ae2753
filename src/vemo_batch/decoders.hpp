// vemo_batch's quiet decoders: vemo's point decoders for untrusted bulk
// data, where a bad text is an ordinary outcome (ValueError, nothing on
// standard error) rather than a PanicException.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vemo::py {

PyObject* decode_commit(PyObject* module, PyObject* arg);
PyObject* decode_token(PyObject* module, PyObject* arg);

}  // namespace vemo::py

#include "match.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vemo::py {

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

}  // namespace vemo::py

// write_stdout for the work functions linked without Python (the
// constant-time check and the C++ tests): the module's own version takes
// the interpreter lock around the same writes.
#include "src/work.hpp"
#include "src/write_all.hpp"

namespace vemo::py::work {

void write_stdout(const std::string& text) { write_all(1, text); }

}  // namespace vemo::py::work

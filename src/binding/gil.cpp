#include "gil.hpp"

#include "src/api/output.hpp"

namespace vemo::py {

void write_stdout_holding_lock(const std::string& text) {
  const PyGILState_STATE state = PyGILState_Ensure();
  api::write_all(1, text);
  PyGILState_Release(state);
}

}  // namespace vemo::py

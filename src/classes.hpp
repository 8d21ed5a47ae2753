// vemo's six value classes (api::ValueTypes, in registration order, which
// is also their order in __all__).
#pragma once

#include "src/api/values.hpp"

namespace vemo::py {

// Builds the six type objects (g_class_type); false with an error set.
// Called once at import, under the interpreter lock.
bool build_classes();

}  // namespace vemo::py

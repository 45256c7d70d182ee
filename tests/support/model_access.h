// What tests may see of the model's private state.
#pragma once

#include "model/model_state.h"

// The newest driver entry; the others follow through `next`.
inline const DriverEntry* driver_list_head() {
  return model().drivers.head;
}

// Entry point of tallyrep: everything happens in tallyrep_main.
#include "base/out_buffer.h"
#include "driver/errors.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  out_hold_standard_descriptors();
  install_out_of_memory_handler();
  return tallyrep_main(argc, argv);
}

// Entry point of tallyrep: everything happens in tallyrep_main.
#include "driver/errors.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  return tallyrep_main(argc, argv);
}

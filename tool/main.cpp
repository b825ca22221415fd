#include <iostream>

#include "tool/command.h"

int main(int argc, char** argv) {
  return dorvex::RunCommand(argc, argv, std::cout, std::cerr);
}

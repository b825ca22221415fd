// dorvex-probe: what a run finds in each image, as one JSON object a line,
// for scripts and whole collections. The console program stays as it is;
// this one reads the same reports.

#include <iostream>

int main(int argc, char** argv) {
  (void)argc;
  (void)argv;
  std::cout << "dorvex-probe " DORVEX_VERSION "\n";
  return 0;
}

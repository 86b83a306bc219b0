// quillet-cli: Quillet's shrinking for many pictures, from the command line.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "clicommand.h"
#include "signalcleanup.h"

int main(int argc, char** argv) {
  InstallSignalCleanup();
  return RunQuilletCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                       isatty(STDERR_FILENO) != 0);
}

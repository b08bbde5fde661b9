#include <iostream>

#include "cabledata/posix_file_system.h"
#include "cbltool/cbltool.h"

int main(int argc, char** argv) {
  PosixFileSystem files;
  return RunCbltool(argc, argv, files, std::cout, std::cerr);
}

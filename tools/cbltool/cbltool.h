#pragma once
// cbltool: cable-set files on the command line. The same code runs on Linux and
// Windows; only the entry points and the FileSystem differ.
#include <ostream>

#include "cabledata/file_system.h"

// argv is UTF-8. Returns the exit code: 0 done, 1 failed (or `check` found
// problems), 2 the arguments were wrong, 3 the file to write exists and
// --force was not given.
int RunCbltool(int argc, char** argv, FileSystem& files, std::ostream& out, std::ostream& err);

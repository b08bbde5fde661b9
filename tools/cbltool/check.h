#pragma once
// Validation of a cable-set file as it lies on disk, before the loader's
// repairs hide anything.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ImageReport {
  std::vector<std::string> problems;  // one line each
  std::vector<std::string> notes;     // worth saying, harmless to the program
};

// data holds the first min(fileSize, 45202) bytes of the file.
ImageReport CheckCableImage(const uint8_t* data, size_t available, uint64_t fileSize);

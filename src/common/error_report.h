#pragma once
// Failures the operator must see are reported once, by the operation where they
// happen, as a numeric code; the shell turns the code into a message box.
#include <cstdint>

enum ErrorCode : uint16_t {
  kErrorFileOpen = 768,       // cable-set file cannot be opened or created
  kErrorFileRead = 769,       // cable-set file cannot be read
  kErrorPortName = 1024,
  kErrorPortOpen = 1025,
  kErrorCommMemory = 1026,
  kErrorPortNotOnline = 1027,
  kErrorCommTimeout = 1028,
  kErrorCommDamaged = 1029,  // an answer or a command was damaged or lost on the line
  kErrorNoMasterData = 1280,
};

class ErrorReporter {
 public:
  virtual void ShowError(uint16_t code) = 0;

 protected:
  ~ErrorReporter() = default;
};

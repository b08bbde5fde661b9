// Any bytes as a cable-set file, of any size, with either answer to the old
// layout prompt: the load must either leave the set untouched or produce a set
// whose every text field is terminated.
#include <cstring>

#include "cabledata/cable_file.h"
#include "support/memory_file_system.h"

namespace {

struct FixedPrompt final : ConversionPrompt {
  bool yes = true;
  bool ConfirmOldLayoutConversion() override { return yes; }
};

CableSet set, before;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  RecordingErrors errors;
  FixedPrompt prompt;
  prompt.yes = size % 2 == 0;
  // Sizes near the two layouts are where the interesting cases are; stretch
  // small inputs to land there as well.
  std::vector<uint8_t>& file = fs.files[u"f.cbl"] = std::vector<uint8_t>(data, data + size);
  if (size > 0 && data[0] >= 0xF0) file.resize((data[0] & 1 ? kCableSetFileSize : kOldCableSetFileSize) + size % 3 - 1);
  fs.readChunk = size % 7 == 0 ? 4096 : 0;
  InitCableSet(set);
  before = set;
  const bool ok = LoadCableSetFile({fs, errors, prompt}, u"f.cbl", set);
  if (!ok && std::memcmp(&set, &before, sizeof set) != 0) __builtin_trap();
  if (ok && (!errors.codes.empty() || TerminateAllText(set) != 0)) __builtin_trap();
  if (fs.openHandles != 0) __builtin_trap();
  return 0;
}

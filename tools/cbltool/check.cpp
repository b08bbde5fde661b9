#include "cbltool/check.h"

#include <cstring>
#include <memory>

#include "cabledata/cable_file.h"
#include "cbltool/set_text.h"
#include "common/text.h"

namespace {

bool Terminated(const char16_t* field, size_t capacity) { return TextLength(field, capacity) < capacity; }

std::string Unterminated(const char* what, size_t capacity) {
  return std::string(what) + " has no terminator within " + std::to_string(capacity) + " units";
}

const char* const kInfoLabels[5] = {"Product No.", "Model/Customer", "Block Name", "Cable Type", "Comment"};

void CheckCable(const CableRecord& cable, int number, std::vector<std::string>& problems) {
  const std::string where = "cable " + std::to_string(number);
  for (unsigned p = 0; p < kPinCount; ++p) {
    const std::string pin = where + ", pin " + PinLabel(p) + ": ";
    if (!Terminated(cable.pinNames[p], kPinNameUnits)) problems.push_back(pin + Unterminated("name", kPinNameUnits));
    const unsigned stored = cable.connections[p].pin;
    if (stored != p + 1) {
      problems.push_back(pin + "row pin byte is " + std::to_string(stored) + ", expected " + std::to_string(p + 1));
    }
  }
  if (cable.probeData.reserved != 0) {
    problems.push_back(where + ": probe reserved byte is " + std::to_string(cable.probeData.reserved) + ", expected 0");
  }
  for (int f = 0; f < 5; ++f) {
    const TextField& field = kInfoFields[f];
    if (!Terminated(InfoField(cable, field), field.units)) {
      problems.push_back(where + ": " + Unterminated(kInfoLabels[f], field.units));
    }
  }
  if (cable.selectedPin >= kPinCount && cable.selectedPin != kNoPin) {
    problems.push_back(where + ": selectedPin is " + std::to_string(cable.selectedPin) + ", expected 0..103 or 255");
  }
}

}  // namespace

ImageReport CheckCableImage(const uint8_t* data, size_t available, uint64_t fileSize) {
  ImageReport report;
  if (fileSize == kOldCableSetFileSize) {
    report.problems.push_back("old layout, convert it with 'cbltool convert'");
    return report;
  }
  if (fileSize != kCableSetFileSize) {
    report.problems.push_back("size is " + std::to_string(fileSize) + " bytes, expected " +
                              std::to_string(kCableSetFileSize));
  }
  // A longer file still loads from its first 45202 bytes, so those are worth checking.
  if (available < kCableSetFileSize) return report;

  auto set = std::make_unique<CableSet>();
  std::memcpy(set.get(), data, sizeof(CableSet));
  for (int k = 0; k < kCableCount; ++k) CheckCable(set->cables[k], k + 1, report.problems);

  if (!Terminated(set->tag, kTagUnits)) {
    report.problems.push_back(Unterminated("tag", kTagUnits));
  } else if (std::u16string_view(set->tag) != kCableSetTag) {
    report.notes.push_back("note: tag is '" + Escaped(FieldToUtf8(set->tag, kTagUnits)) +
                           "', not 'VORKEL_DD' (the program does not check it)");
  }
  if (set->currentCable >= kCableCount) {
    report.problems.push_back("currentCable is " + std::to_string(set->currentCable) + ", expected 0..9");
  }
  return report;
}

#pragma once
// The cable set: the document of the program and, byte for byte, the image of a
// cable-set file. Only single bytes and UTF-16LE units, so the layout is the
// same on every compiler; the static_asserts below keep it that way.
#include <cstddef>
#include <cstdint>

using PinIndex = uint8_t;  // 0..49 CN-A, 50..99 CN-B, 100..103 CN-C

inline constexpr int kPinCount = 104;
inline constexpr PinIndex kNoPin = 255;
inline constexpr int kCableCount = 10;
inline constexpr int kPinSetBytes = 13;
inline constexpr int kPinNameUnits = 12;  // 11 characters and the terminator

inline constexpr int kProductNoUnits = 11;
inline constexpr int kModelCustomerUnits = 31;
inline constexpr int kBlockNameUnits = 11;
inline constexpr int kCableTypeUnits = 21;
inline constexpr int kCommentUnits = 201;
inline constexpr int kTagUnits = 10;

struct PinSet {
  uint8_t bytes[kPinSetBytes];
};

struct ConnectionRow {
  uint8_t pin;  // own pin, 1-based
  PinSet bits;
};

struct ProbeData {
  uint8_t reserved;  // always 0
  PinSet pins;
};

struct CableInfo {
  char16_t productNo[kProductNoUnits];
  char16_t modelCustomer[kModelCustomerUnits];
  char16_t blockName[kBlockNameUnits];
  char16_t cableType[kCableTypeUnits];
  char16_t comment[kCommentUnits];  // may hold CR LF
};

struct CableRecord {
  char16_t pinNames[kPinCount][kPinNameUnits];
  ConnectionRow connections[kPinCount];
  ProbeData probeData;
  CableInfo info;
  uint8_t selectedPin;  // 255 = none
  uint8_t alignment;    // no meaning, carried along when records are copied
};

struct CableSet {
  CableRecord cables[kCableCount];
  char16_t tag[kTagUnits];
  uint8_t reserved;
  uint8_t currentCable;
};

static_assert(sizeof(PinSet) == 13);
static_assert(sizeof(ConnectionRow) == 14 && offsetof(ConnectionRow, bits) == 1);
static_assert(sizeof(ProbeData) == 14);
static_assert(sizeof(CableInfo) == 550);
static_assert(offsetof(CableInfo, modelCustomer) == 22 && offsetof(CableInfo, blockName) == 84 &&
              offsetof(CableInfo, cableType) == 106 && offsetof(CableInfo, comment) == 148);
static_assert(sizeof(CableRecord) == 4518);
static_assert(offsetof(CableRecord, connections) == 2496 && offsetof(CableRecord, probeData) == 3952 &&
              offsetof(CableRecord, info) == 3966 && offsetof(CableRecord, selectedPin) == 4516 &&
              offsetof(CableRecord, alignment) == 4517);
static_assert(sizeof(CableSet) == 45202);
static_assert(offsetof(CableSet, tag) == 45180 && offsetof(CableSet, reserved) == 45200 &&
              offsetof(CableSet, currentCable) == 45201);
static_assert(sizeof(char16_t) == 2);

// "A01".."A50", "B01".."B50", "C01".."C04" without a trailing blank; the
// editor's "Initialize Pin Name" and "Pin No." use these, not the 'A01 ' of a
// new set.
struct PinLabelTable {
  char16_t labels[kPinCount][kPinNameUnits];
};
constexpr PinLabelTable MakeDefaultPinLabels() {
  PinLabelTable t{};
  for (int i = 0; i < kPinCount; ++i) {
    const int number = i < 50 ? i + 1 : i < 100 ? i - 49 : i - 99;
    t.labels[i][0] = i < 50 ? u'A' : i < 100 ? u'B' : u'C';
    t.labels[i][1] = static_cast<char16_t>(u'0' + number / 10);
    t.labels[i][2] = static_cast<char16_t>(u'0' + number % 10);
  }
  return t;
}
inline constexpr PinLabelTable kDefaultPinLabelTable = MakeDefaultPinLabels();
inline constexpr const char16_t (&DefaultPinLabels)[kPinCount][kPinNameUnits] = kDefaultPinLabelTable.labels;

// Pins outside 0..103 are never members: the helpers ignore them rather than
// touch a byte outside the set.
bool PinSetHas(const PinSet& set, unsigned pin);
void PinSetAdd(PinSet& set, unsigned pin);
void PinSetRemove(PinSet& set, unsigned pin);
void PinSetClear(PinSet& set);
int PinSetCount(const PinSet& set);

void InitCableSet(CableSet& set);
void InitConnectionRows(ConnectionRow (&rows)[kPinCount]);

inline constexpr char16_t kCableSetTag[kTagUnits] = u"VORKEL_DD";

// Every text field of a record, for code that walks them all (load, checks,
// export). The order is the record's.
struct TextField {
  const char* name;
  size_t offset;  // byte offset in CableRecord
  size_t units;   // capacity, terminator included
};
extern const TextField kInfoFields[5];
char16_t* InfoField(CableRecord& cable, const TextField& field);
const char16_t* InfoField(const CableRecord& cable, const TextField& field);

// Gives every text field of the set a terminator within its capacity.
// Returns how many fields had to be cut.
int TerminateAllText(CableSet& set);

#include "cabledata/cable_set.h"

#include <cstring>

#include "common/text.h"

bool PinSetHas(const PinSet& set, unsigned pin) {
  return pin < kPinCount && (set.bytes[pin / 8] & (1u << (pin % 8))) != 0;
}

void PinSetAdd(PinSet& set, unsigned pin) {
  if (pin < kPinCount) set.bytes[pin / 8] = static_cast<uint8_t>(set.bytes[pin / 8] | (1u << (pin % 8)));
}

void PinSetRemove(PinSet& set, unsigned pin) {
  if (pin < kPinCount) set.bytes[pin / 8] = static_cast<uint8_t>(set.bytes[pin / 8] & ~(1u << (pin % 8)));
}

void PinSetClear(PinSet& set) { std::memset(set.bytes, 0, sizeof set.bytes); }

int PinSetCount(const PinSet& set) {
  int n = 0;
  for (unsigned p = 0; p < kPinCount; ++p) n += PinSetHas(set, p) ? 1 : 0;
  return n;
}

void InitConnectionRows(ConnectionRow (&rows)[kPinCount]) {
  for (int i = 0; i < kPinCount; ++i) {
    rows[i].pin = static_cast<uint8_t>(i + 1);
    PinSetClear(rows[i].bits);
    PinSetAdd(rows[i].bits, static_cast<unsigned>(i));
  }
}

void InitCableSet(CableSet& set) {
  for (CableRecord& cable : set.cables) {
    for (int i = 0; i < kPinCount; ++i) {
      // New sets carry the label with one trailing blank ('A01 ').
      char16_t* name = cable.pinNames[i];
      std::memcpy(name, DefaultPinLabels[i], 3 * sizeof(char16_t));
      name[3] = u' ';
      name[4] = 0;
    }
    InitConnectionRows(cable.connections);
    std::memset(&cable.probeData, 0, sizeof cable.probeData);
    for (const TextField& f : kInfoFields) InfoField(cable, f)[0] = 0;
    cable.selectedPin = 0;
  }
  std::memcpy(set.tag, kCableSetTag, sizeof set.tag);
  set.reserved = 0;
  set.currentCable = 0;
}

const TextField kInfoFields[5] = {
    {"productNo", offsetof(CableRecord, info) + offsetof(CableInfo, productNo), kProductNoUnits},
    {"modelCustomer", offsetof(CableRecord, info) + offsetof(CableInfo, modelCustomer), kModelCustomerUnits},
    {"blockName", offsetof(CableRecord, info) + offsetof(CableInfo, blockName), kBlockNameUnits},
    {"cableType", offsetof(CableRecord, info) + offsetof(CableInfo, cableType), kCableTypeUnits},
    {"comment", offsetof(CableRecord, info) + offsetof(CableInfo, comment), kCommentUnits},
};

char16_t* InfoField(CableRecord& cable, const TextField& field) {
  return reinterpret_cast<char16_t*>(reinterpret_cast<unsigned char*>(&cable) + field.offset);
}

const char16_t* InfoField(const CableRecord& cable, const TextField& field) {
  return reinterpret_cast<const char16_t*>(reinterpret_cast<const unsigned char*>(&cable) + field.offset);
}

int TerminateAllText(CableSet& set) {
  int cut = 0;
  for (CableRecord& cable : set.cables) {
    for (auto& name : cable.pinNames) cut += TerminateText(name, kPinNameUnits) ? 1 : 0;
    for (const TextField& f : kInfoFields) cut += TerminateText(InfoField(cable, f), f.units) ? 1 : 0;
  }
  cut += TerminateText(set.tag, kTagUnits) ? 1 : 0;
  return cut;
}

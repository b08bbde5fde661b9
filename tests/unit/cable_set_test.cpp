#include "cabledata/cable_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::u16string Text(const char16_t* s, size_t cap) { return std::u16string(s, std::char_traits<char16_t>::length(s) < cap ? std::char_traits<char16_t>::length(s) : cap); }

const uint8_t* Bytes(const CableSet& s) { return reinterpret_cast<const uint8_t*>(&s); }

TEST(CableSet, InitGivesTheDefaultImage) {
  static CableSet set;
  std::memset(&set, 0xAB, sizeof set);  // garbage everywhere first
  InitCableSet(set);
  for (const CableRecord& c : set.cables) {
    EXPECT_EQ(Text(c.pinNames[0], 12), u"A01 ");
    EXPECT_EQ(Text(c.pinNames[49], 12), u"A50 ");
    EXPECT_EQ(Text(c.pinNames[50], 12), u"B01 ");
    EXPECT_EQ(Text(c.pinNames[103], 12), u"C04 ");
    for (int i = 0; i < kPinCount; ++i) {
      EXPECT_EQ(c.connections[i].pin, i + 1);
      EXPECT_EQ(PinSetCount(c.connections[i].bits), 1);
      EXPECT_TRUE(PinSetHas(c.connections[i].bits, static_cast<unsigned>(i)));
    }
    for (uint8_t b : {c.probeData.reserved}) EXPECT_EQ(b, 0);
    EXPECT_EQ(PinSetCount(c.probeData.pins), 0);
    for (const TextField& f : kInfoFields) EXPECT_EQ(InfoField(c, f)[0], 0) << f.name;
    EXPECT_EQ(c.selectedPin, 0);
    EXPECT_EQ(c.alignment, 0xAB) << "the alignment byte is not written";
  }
  const uint8_t trailer[22] = {'V', 0, 'O', 0, 'R', 0, 'K', 0, 'E', 0, 'L', 0, '_', 0, 'D', 0, 'D', 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Bytes(set) + 45180, trailer, sizeof trailer), 0);
}

TEST(CableSet, InitLeavesOldCharactersAfterTheNewTerminator) {
  static CableSet set;
  std::memset(&set, 0, sizeof set);
  const char16_t longName[] = u"LONGNAME123";
  std::memcpy(set.cables[2].pinNames[5], longName, sizeof longName);
  InitCableSet(set);
  EXPECT_EQ(Text(set.cables[2].pinNames[5], 12), u"A06 ");
  EXPECT_EQ(set.cables[2].pinNames[5][5], u'A') << "units after the terminator are not cleared";
}

TEST(PinSet, BitPositions) {
  struct Case {
    unsigned pin;
    int rowByte;  // byte within a ConnectionRow
    uint8_t value;
  } cases[] = {{100, 13, 0x10}, {103, 13, 0x80}, {7, 1, 0x80}, {8, 2, 0x01}, {0, 1, 0x01}};
  for (const Case& c : cases) {
    ConnectionRow row{};
    PinSetAdd(row.bits, c.pin);
    const auto* raw = reinterpret_cast<const uint8_t*>(&row);
    EXPECT_EQ(raw[c.rowByte], c.value) << "pin " << c.pin;
    EXPECT_EQ(PinSetCount(row.bits), 1);
    PinSetRemove(row.bits, c.pin);
    EXPECT_EQ(PinSetCount(row.bits), 0);
  }
}

TEST(PinSet, PinsOutsideTheConnectorsAreIgnored) {
  ConnectionRow rows[2]{};
  PinSetAdd(rows[0].bits, 104);
  PinSetAdd(rows[0].bits, 255);
  EXPECT_EQ(PinSetCount(rows[0].bits), 0);
  EXPECT_EQ(rows[1].pin, 0) << "nothing written past the set";
  EXPECT_FALSE(PinSetHas(rows[0].bits, 200));
}

TEST(DefaultPinLabels, HaveNoTrailingBlank) {
  EXPECT_EQ(Text(DefaultPinLabels[0], 12), u"A01");
  EXPECT_EQ(Text(DefaultPinLabels[50], 12), u"B01");
  EXPECT_EQ(Text(DefaultPinLabels[99], 12), u"B50");
  EXPECT_EQ(Text(DefaultPinLabels[100], 12), u"C01");
  EXPECT_EQ(Text(DefaultPinLabels[103], 12), u"C04");
}

TEST(CableSet, TerminateAllTextCutsOnlyUnterminatedFields) {
  static CableSet set;
  InitCableSet(set);
  for (auto& u : set.cables[3].pinNames[7]) u = u'X';
  for (int i = 0; i < kCommentUnits; ++i) set.cables[9].info.comment[i] = u'c';
  for (auto& u : set.tag) u = u'T';
  EXPECT_EQ(TerminateAllText(set), 3);
  EXPECT_EQ(Text(set.cables[3].pinNames[7], 12), u"XXXXXXXXXXX");
  EXPECT_EQ(std::char_traits<char16_t>::length(set.cables[9].info.comment), 200u);
  EXPECT_EQ(TerminateAllText(set), 0);
}

}  // namespace

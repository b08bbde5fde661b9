// The cable set's own operations and the connection matrix over its rows.
#include "cabledata/cable_set.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cabledata/connection_matrix.h"
#include "support/pins.h"

namespace {

using V = std::vector<unsigned>;

TEST(CableSet, InitWritesTheImageOfANewSet) {
  static CableSet set;
  std::memset(&set, 0xAB, sizeof set);
  InitCableSet(set);
  for (const CableRecord& c : set.cables) {
    for (unsigned p : {A(1), A(50), B(1), C(4)}) EXPECT_EQ(c.connections[p].bits, Pins({p}));
    EXPECT_EQ(c.connections[C(4)].pin, 104);
    EXPECT_EQ(std::u16string(c.pinNames[A(1)]) + c.pinNames[A(50)] + c.pinNames[B(1)] + c.pinNames[C(4)],
              u"A01 A50 B01 C04 ");
    EXPECT_EQ(c.pinNames[0][5], 0xABAB) << "units after the terminator stay";
    EXPECT_EQ(c.alignment, 0xAB) << "the alignment byte is not written";
    EXPECT_EQ(c.probeData.reserved + PinSetCount(c.probeData.pins) + c.selectedPin, 0u);
    for (const TextField& f : kInfoFields) EXPECT_EQ(InfoField(c, f)[0], 0) << f.name;
  }
  const uint8_t trailer[22] = {'V', 0, 'O', 0, 'R', 0, 'K', 0, 'E', 0, 'L', 0, '_', 0, 'D', 0, 'D', 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(&set) + 45180, trailer, sizeof trailer), 0);
}

TEST(CableSet, PinBitsSitWhereTheFileHasThemAndTextIsCutOnlyWhereUnterminated) {
  for (auto [pin, rowByte, value] : {std::tuple{0u, 1, 0x01}, {7u, 1, 0x80}, {8u, 2, 0x01}, {103u, 13, 0x80}}) {
    ConnectionRow rows[2]{};
    PinSetAdd(rows[0].bits, pin);
    for (unsigned outside : {104u, 255u}) PinSetAdd(rows[0].bits, outside);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(rows)[rowByte], value) << pin;
    EXPECT_EQ(rows[0].bits, Pins({pin}));
    EXPECT_EQ(PinSetCount(rows[0].bits), 1);
    PinSetRemove(rows[0].bits, pin);
    EXPECT_EQ(PinSetCount(rows[0].bits) + rows[1].pin, 0) << "nothing written past the set";
  }
  static CableSet set;
  InitCableSet(set);
  for (auto& u : set.cables[3].pinNames[7]) u = u'X';
  for (auto& u : set.cables[9].info.comment) u = u'c';
  for (auto& u : set.tag) u = u'T';
  EXPECT_EQ(TerminateAllText(set), 3);
  EXPECT_EQ(std::u16string(set.cables[3].pinNames[7]) + set.cables[9].info.comment[199] + set.tag,
            u"XXXXXXXXXXXcTTTTTTTTT");
  EXPECT_EQ(TerminateAllText(set), 0);
}

TEST(ListConnectedPins, LeavesOutThePinTheRowByteNames) {
  const struct {
    uint8_t pin;
    PinSet bits;
    V listed;
  } cases[] = {
      {6, Pins({A(6)}), {}},
      {6, Pins({A(1), A(6), C(4)}), {A(1), C(4)}},
      {1, Pins({A(1), A(4), A(10)}), {A(4), A(10)}},  // the byte decides, not the row's place
      {104, Pins({A(1), A(2), C(3), C(4)}), {A(1), A(2), C(3)}},
      {0, Pins({A(1), C(4)}), {A(1), C(4)}},  // a damaged byte excludes nothing
  };
  for (const auto& c : cases) {
    uint8_t list[kPinCount];
    EXPECT_EQ(V(list, list + ListConnectedPins({c.pin, c.bits}, list)), c.listed) << int{c.pin};
  }
}

TEST(MirrorAndMerge, OnePassOverTheEditedPin) {
  const struct {
    const char* what;
    Rows rows;
    unsigned edited;
    Rows want;
  } cases[] = {
      {"adding joins two nets", Rows().Measure(0, {0, 1, 2}).Measure(1, {0, 1}).Net({2, 3}), 0,
       Rows().Net({0, 1, 2, 3})},
      {"a removal stays while another row lists both", Rows().Net({0, 1, 2}).Measure(0, {0, 1}), 0,
       Rows().Net({0, 1, 2})},
      {"removal from a two-pin net", Rows().Measure(60, {10, 60}), 10, Rows()},
      {"exactly one pass", Rows().Measure(0, {0, 1}).Measure(1, {1, 2}), 0,
       Rows().Net({0, 1, 2}).Measure(2, {0, 2})},
      {"a pin outside the matrix", Rows().Measure(5, {5, 6}), 104, Rows().Measure(5, {5, 6})},
  };
  for (const auto& c : cases) {
    Rows m = c.rows;  // on its own, so that a read past the rows trips the sanitizer
    MirrorAndMergeConnections(m.rows, c.edited);
    for (unsigned p = 0; p < kPinCount; ++p) EXPECT_EQ(m.Of(p), c.want.Of(p)) << c.what << ", row " << p;
  }
}

}  // namespace

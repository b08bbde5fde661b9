#include "cabledata/connection_matrix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

struct Matrix {
  ConnectionRow rows[kPinCount];
  Matrix() { InitConnectionRows(rows); }
  void Set(unsigned r, std::initializer_list<unsigned> pins) {
    PinSetClear(rows[r].bits);
    for (unsigned p : pins) PinSetAdd(rows[r].bits, p);
  }
  std::vector<unsigned> Members(unsigned r) const {
    std::vector<unsigned> out;
    for (unsigned p = 0; p < kPinCount; ++p)
      if (PinSetHas(rows[r].bits, p)) out.push_back(p);
    return out;
  }
};

using V = std::vector<unsigned>;

std::vector<unsigned> List(const ConnectionRow& row) {
  uint8_t list[kPinCount];
  const uint8_t n = ListConnectedPins(row, list);
  return V(list, list + n);
}

TEST(ListConnectedPins, ExcludesTheStoredOwnPin) {
  ConnectionRow row{};
  row.pin = 6;
  PinSetAdd(row.bits, 5);
  EXPECT_EQ(List(row), V{});
  PinSetAdd(row.bits, 0);
  PinSetAdd(row.bits, 103);
  EXPECT_EQ(List(row), (V{0, 103}));

  // The pin byte decides, not the row's position in the matrix.
  Matrix m;
  m.Set(3, {0, 3, 9});
  m.rows[3].pin = 1;
  EXPECT_EQ(List(m.rows[3]), (V{3, 9}));
}

TEST(ListConnectedPins, FullRowAndDamagedPinBytes) {
  ConnectionRow row{};
  for (unsigned p = 0; p < kPinCount; ++p) PinSetAdd(row.bits, p);
  row.pin = 104;
  EXPECT_EQ(List(row).size(), 103u);
  row.pin = 0;  // own pin 255: nothing excluded, and still no overflow
  EXPECT_EQ(List(row).size(), 104u);
}

TEST(MirrorAndMerge, AddingJoinsTwoNets) {
  Matrix m;
  m.Set(0, {0, 1, 2});
  m.Set(1, {0, 1});
  m.Set(2, {2, 3});
  m.Set(3, {2, 3});
  MirrorAndMergeConnections(m.rows, 0);
  for (unsigned r : {0u, 1u, 2u, 3u}) EXPECT_EQ(m.Members(r), (V{0, 1, 2, 3})) << "row " << r;
  EXPECT_EQ(m.Members(4), V{4});
}

TEST(MirrorAndMerge, RemovalStaysWhileAnotherRowListsBoth) {
  Matrix m;
  for (unsigned r : {0u, 1u, 2u}) m.Set(r, {0, 1, 2});
  m.Set(0, {0, 1});
  MirrorAndMergeConnections(m.rows, 0);
  for (unsigned r : {0u, 1u, 2u}) EXPECT_EQ(m.Members(r), (V{0, 1, 2})) << "row " << r;
}

TEST(MirrorAndMerge, RemovalFromATwoPinNet) {
  Matrix m;
  m.Set(10, {10, 60});
  m.Set(60, {10, 60});
  m.Set(10, {10});
  MirrorAndMergeConnections(m.rows, 10);
  EXPECT_EQ(m.Members(10), V{10});
  EXPECT_EQ(m.Members(60), V{60});
}

TEST(MirrorAndMerge, RunsExactlyOnePass) {
  Matrix m;
  m.Set(0, {0, 1});
  m.Set(1, {1, 2});
  m.Set(2, {2});
  MirrorAndMergeConnections(m.rows, 0);
  EXPECT_EQ(m.Members(0), (V{0, 1, 2}));
  EXPECT_EQ(m.Members(1), (V{0, 1, 2}));
  EXPECT_EQ(m.Members(2), (V{0, 2}));
}

TEST(MirrorAndMerge, PinOutsideTheMatrixChangesNothing) {
  Matrix m;
  m.Set(5, {5, 6});
  const Matrix before = m;
  MirrorAndMergeConnections(m.rows, 104);
  MirrorAndMergeConnections(m.rows, 255);
  EXPECT_EQ(std::memcmp(m.rows, before.rows, sizeof m.rows), 0);
}

TEST(ComparePinValues, SortsCheckedPinsFirst) {
  int32_t values[kPinCount];
  for (auto& v : values) v = 255;
  values[10] = 7;
  values[40] = 2;
  values[90] = 50;
  std::qsort(values, kPinCount, sizeof values[0], ComparePinValues);
  EXPECT_EQ(values[0], 2);
  EXPECT_EQ(values[1], 7);
  EXPECT_EQ(values[2], 50);
  for (int i = 3; i < kPinCount; ++i) EXPECT_EQ(values[i], 255);
}

}  // namespace
